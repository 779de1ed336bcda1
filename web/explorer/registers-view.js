// The registers pane (each register's value, and what it was where the last step changed it)
// and the register operations pane (the next instruction's operations, each with what it will
// do, worked out by machine.js on a copy of the state). Both are a few fixed rows; a step
// rewrites only the texts that differ.
import { element, setText, noted, pane } from './dom.js';
import { operate } from './machine.js';

const registerNames = ['pc', 'sp', 'bp', 'ax', 'bx', 'tx'];

export class RegistersView {
  constructor(explorer) {
    this.cells = {};
    const table = element('table', { class: 'registers', 'aria-label': 'registers' },
      element('tbody', {}, ...registerNames.map((name) => {
        const value = element('td', { id: explorer.id(name) });
        const old = element('td', { class: 'old' });
        this.cells[name] = { value, old };
        return element('tr', {}, element('th', { scope: 'row', text: name === 'pc' || name === 'sp' || name === 'bp'
          ? name.toUpperCase() : name[0].toUpperCase() + name[1] }), value, old);
      })));
    this.node = pane('registers-pane', noted('Registers', '(“was”: before the last step)'), table);
  }

  show({ state, before }) {
    for (const name of registerNames) {
      const { value, old } = this.cells[name];
      const changed = before !== null && before[name] !== state[name];
      setText(value, String(state[name]));
      value.classList.toggle('changed', changed);
      setText(old, changed ? `was ${before[name]}` : '');
    }
  }
}

export class OperationsView {
  constructor(explorer) {
    this.explorer = explorer;
    this.header = element('p', { class: 'operations-header' });
    this.list = element('ol', { class: 'operations', 'aria-label': 'register operations' });
    this.items = [];  // {item, code, effect}, reused from step to step
    this.node = pane('operations-pane', noted('Register operations', '(of the next instruction, still to run)'),
      this.header, this.list);
  }

  show({ state, pc }) {
    const e = this.explorer;
    if (pc < 0 || pc >= e.instructions.length) {
      setText(this.header, pc < 0 ? 'The program has finished.' : `No instruction at ${pc}.`);
      this.fill([]);
      return;
    }
    const [opcode, level, operand] = e.instructions[pc];
    setText(this.header, `${pc}: ${e.names[opcode] ?? '?'} ${level} ${operand}`);
    const machine = { ...state, cells: state.cells.slice(), pc: pc + 1 };
    this.fill(e.recording.operations[pc].map((text) => [text.replace('\t', ' '), operate(machine, text, operand)]));
  }

  // Lines of [operation, effect]: the items there are kept and rewritten, the rest added or
  // taken away.
  fill(lines) {
    while (this.items.length > lines.length) this.items.pop().item.remove();
    while (this.items.length < lines.length) {
      const code = element('code');
      const effect = element('span', { class: 'effect' });
      const item = element('li', {}, code, effect);
      this.list.append(item);
      this.items.push({ item, code, effect });
    }
    lines.forEach(([operation, effect], k) => {
      setText(this.items[k].code, operation);
      setText(this.items[k].effect, effect);
    });
  }
}
