// The register operations of translator/register_operations.h, carried out on a copy of the
// machine so that the explorer can say what each of an instruction's operations does. Which
// operations there are, and the line each is written as, come generated from that header
// (vocabulary.js); only what each one does is written here, under the header's name for it.
// The recording's next state is the truth: tests/web/explorer.test.mjs holds these effects
// against it for every step of many runs, and fails for an operation that has none here.
import { divisionByZero, registerOperations, topCell } from '../vocabulary.js';

const wrap = (v) => v | 0;
// Truncated toward zero, as the machine's C++ does; a divisor of -1 needs no rule of its own,
// as wrapping turns INT32_MIN / -1 back into INT32_MIN and a remainder of -0 into 0.
const divide = (a, b) => (b === 0 ? divisionByZero : wrap(Math.trunc(a / b)));
const remainder = (a, b) => (b === 0 ? divisionByZero : wrap(a % b));
const inStack = (i) => i >= 0 && i <= topCell;
const cell = (m, i) => (inStack(i) ? m.cells[i] : NaN);
const toAx = (m, value) => { m.ax = value; return `Ax ← ${m.ax}`; };

// Each operation on the machine `m` and the instruction's `operand`, returning what it did.
export const effects = {
  push_Ax: (m) => { m.sp -= 1; if (inStack(m.sp)) m.cells[m.sp] = m.ax; return `cell ${m.sp} ← ${m.ax}`; },
  pop_Ax: (m) => { m.ax = cell(m, m.sp); m.sp += 1; return `Ax ← ${m.ax}, SP ${m.sp}`; },
  pop_Bx: (m) => { m.bx = cell(m, m.sp); m.sp += 1; return `Bx ← ${m.bx}, SP ${m.sp}`; },
  mov_Bx_Imm: (m, operand) => { m.bx = operand; return `Bx ← ${operand}`; },
  mov_Ax_Bx: (m) => toAx(m, m.bx),
  mov_Tx_Ax: (m) => { m.tx = m.ax; return `Tx ← ${m.tx}`; },
  mov_Bx_Tx: (m) => { m.bx = m.tx; return `Bx ← ${m.bx}`; },
  mov_Ax_PC: (m) => toAx(m, m.pc),
  mov_PC_Ax: (m) => { m.pc = m.ax; return `PC ← ${m.pc}`; },
  mov_Ax_SP: (m) => toAx(m, m.sp),
  mov_SP_Ax: (m) => { m.sp = m.ax; return `SP ← ${m.sp}`; },
  mov_Ax_BP: (m) => toAx(m, m.bp),
  mov_BP_Ax: (m) => { m.bp = m.ax; return `BP ← ${m.bp}`; },
  mov_Ax_at_Ax: (m) => toAx(m, cell(m, m.ax)),
  mov_at_Ax_Bx: (m) => { if (inStack(m.ax)) m.cells[m.ax] = m.bx; return `cell ${m.ax} ← ${m.bx}`; },
  inc_Ax: (m) => toAx(m, wrap(m.ax + 1)),
  dec_Ax: (m) => toAx(m, wrap(m.ax - 1)),
  sub_Ax_Bx: (m) => toAx(m, wrap(m.ax - m.bx)),
  add_Ax_Bx: (m) => toAx(m, wrap(m.ax + m.bx)),
  imul_Ax_Bx: (m) => toAx(m, Math.imul(m.ax, m.bx)),
  idiv_Ax_Bx: (m) => toAx(m, divide(m.ax, m.bx)),
  mod_Ax_Bx: (m) => toAx(m, remainder(m.ax, m.bx)),
  odd_Ax: (m) => toAx(m, m.ax & 1),
  eq_Ax_Bx: (m) => toAx(m, Number(m.ax === m.bx)),
  ne_Ax_Bx: (m) => toAx(m, Number(m.ax !== m.bx)),
  lt_Ax_Bx: (m) => toAx(m, Number(m.ax < m.bx)),
  le_Ax_Bx: (m) => toAx(m, Number(m.ax <= m.bx)),
  gt_Ax_Bx: (m) => toAx(m, Number(m.ax > m.bx)),
  ge_Ax_Bx: (m) => toAx(m, Number(m.ax >= m.bx)),
  jmp: (m, operand) => { m.pc = operand; return `PC ← ${operand}`; },
  jz: (m, operand) => {
    if (m.ax !== 0) return 'Ax is not 0: no jump';
    m.pc = operand;
    return `Ax is 0: PC ← ${operand}`;
  },
  write_Ax: (m) => `writes ${m.ax}`,
  putc_Ax: (m) => `writes the character ${m.ax & 0xff}`,
  read_Ax: () => 'reads a number into Ax',
  getc_Ax: () => 'reads a character into Ax',
};

const byLine = new Map(registerOperations.map(([line, name]) => [line, effects[name]]));

// One line of the opcode file on a copy of the machine, returning what it did in words ('' for
// a line that is no operation). The copy starts from the recorded state before the instruction.
export function operate(m, text, operand) {
  const effect = byLine.get(text.split('\t')[0]);
  return effect ? effect(m, operand) : '';
}
