// The register operations of translator/register_operations.h, carried out on a copy of the
// machine so that the explorer can say what each of an instruction's operations does. The
// recording's next state is the truth; tests/web/explorer.test.mjs holds these effects
// against it for every step of many runs, and fails for an operation the Translator writes
// that is missing here.
import { topCell } from '../vocabulary.js';

// One register operation on a copy of the machine, returning what it did in words. The copy
// starts from the recorded state before the instruction; the recording's next state is the truth.
export function operate(m, text, operand) {
  const [name] = text.split('\t');
  const inStack = (i) => i >= 0 && i <= topCell;
  const cell = (i) => (inStack(i) ? m.cells[i] : NaN);
  const wrap = (v) => v | 0;
  switch (name) {
    case 'push_Ax': m.sp -= 1; if (inStack(m.sp)) m.cells[m.sp] = m.ax; return `cell ${m.sp} ← ${m.ax}`;
    case 'pop_Ax': m.ax = cell(m.sp); m.sp += 1; return `Ax ← ${m.ax}, SP ${m.sp}`;
    case 'pop Bx': m.bx = cell(m.sp); m.sp += 1; return `Bx ← ${m.bx}, SP ${m.sp}`;
    case 'mov_Bx,Imm': m.bx = operand; return `Bx ← ${operand}`;
    case 'mov_Ax,Bx': m.ax = m.bx; return `Ax ← ${m.ax}`;
    case 'mov_Tx,Ax': m.tx = m.ax; return `Tx ← ${m.tx}`;
    case 'mov_Bx,Tx': m.bx = m.tx; return `Bx ← ${m.bx}`;
    case 'mov_Ax,PC': m.ax = m.pc; return `Ax ← ${m.ax}`;
    case 'mov_PC,Ax': m.pc = m.ax; return `PC ← ${m.pc}`;
    case 'mov_Ax,SP': m.ax = m.sp; return `Ax ← ${m.ax}`;
    case 'mov_SP,Ax': m.sp = m.ax; return `SP ← ${m.sp}`;
    case 'mov_Ax,BP': m.ax = m.bp; return `Ax ← ${m.ax}`;
    case 'mov_BP,Ax': m.bp = m.ax; return `BP ← ${m.bp}`;
    case 'mov_Ax,[Ax]': m.ax = cell(m.ax); return `Ax ← ${m.ax}`;
    case 'mov_[Ax],Bx': if (inStack(m.ax)) m.cells[m.ax] = m.bx; return `cell ${m.ax} ← ${m.bx}`;
    case 'inc_Ax': m.ax = wrap(m.ax + 1); return `Ax ← ${m.ax}`;
    case 'dec_Ax': m.ax = wrap(m.ax - 1); return `Ax ← ${m.ax}`;
    case 'sub_Ax,Bx': m.ax = wrap(m.ax - m.bx); return `Ax ← ${m.ax}`;
    case 'add_Ax,Bx': m.ax = wrap(m.ax + m.bx); return `Ax ← ${m.ax}`;
    case 'imul_Ax,Bx': m.ax = Math.imul(m.ax, m.bx); return `Ax ← ${m.ax}`;
    case 'idiv_Ax,Bx': m.ax = m.bx === 0 ? -2147483648 : m.bx === -1 ? wrap(-m.ax) : wrap(Math.trunc(m.ax / m.bx)); return `Ax ← ${m.ax}`;
    case 'mod_Ax,Bx': m.ax = m.bx === 0 ? -2147483648 : m.bx === -1 ? 0 : wrap(m.ax % m.bx); return `Ax ← ${m.ax}`;
    case 'odd_Ax': m.ax &= 1; return `Ax ← ${m.ax}`;
    case 'eq_Ax,Bx': m.ax = Number(m.ax === m.bx); return `Ax ← ${m.ax}`;
    case 'ne_Ax,Bx': m.ax = Number(m.ax !== m.bx); return `Ax ← ${m.ax}`;
    case 'lt_Ax,Bx': m.ax = Number(m.ax < m.bx); return `Ax ← ${m.ax}`;
    case 'le_Ax,Bx': m.ax = Number(m.ax <= m.bx); return `Ax ← ${m.ax}`;
    case 'gt_Ax,Bx': m.ax = Number(m.ax > m.bx); return `Ax ← ${m.ax}`;
    case 'ge_Ax,Bx': m.ax = Number(m.ax >= m.bx); return `Ax ← ${m.ax}`;
    case 'jmp': m.pc = operand; return `PC ← ${operand}`;
    case 'jz': if (m.ax === 0) { m.pc = operand; return `Ax is 0: PC ← ${operand}`; } return 'Ax is not 0: no jump';
    case 'write_Ax': return `writes ${m.ax}`;
    case 'putc_Ax': return `writes the character ${m.ax & 0xff}`;
    case 'read_Ax': return 'reads a number into Ax';
    case 'getc_Ax': return 'reads a character into Ax';
    default: return '';
  }
}
