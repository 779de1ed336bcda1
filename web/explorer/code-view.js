// The p-code pane: one row per instruction, with its breakpoint toggle, marked as the current
// instruction, a breakpoint, or one of the selected line's or the hovered line's. A step
// remarks the row it left and the one it entered; a line's rows are found through a map.
import { element, rove, scrollWithin, setAttribute, pane } from './dom.js';

export class CodeView {
  constructor(explorer) {
    this.explorer = explorer;
    this.body = element('tbody');
    this.addressesOf = new Map();  // line -> its instructions' addresses
    this.rows = explorer.instructions.map(([opcode, level, operand, line], address) => {
      const row = element('tr', { 'data-line': String(line), onmouseenter: () => explorer.hover(line),
        onmouseleave: () => explorer.hover(0), onclick: () => explorer.select(line) },
        element('td', {}, element('button', { type: 'button', class: 'number', text: String(address),
          title: `breakpoint at instruction ${address}`, 'aria-label': `breakpoint at instruction ${address}`,
          onclick: (event) => { event.stopPropagation(); explorer.toggleInstructionBreak(address); } })),
        element('td', { text: explorer.names[opcode] ?? '?' }), element('td', { text: String(level) }),
        element('td', { text: String(operand) }), element('td', { class: 'line-ref', text: String(line) }));
      const colour = explorer.lineColour.get(line);
      if (colour) row.style.setProperty('--line-colour', colour);
      if (!this.addressesOf.has(line)) this.addressesOf.set(line, []);
      this.addressesOf.get(line).push(address);
      this.body.append(row);
      return row;
    });
    rove(this.body, this.rows.map((row) => row.querySelector('button')));
    this.shown = -1;
    this.rows.forEach((row, address) => this.mark(address));
    this.scroller = element('div', { class: 'scroll' }, element('table', { class: 'code', 'aria-label': 'p-code' },
      element('thead', {}, element('tr', {}, ...['Addr', 'Op', 'Level', 'Operand', 'Line']
        .map((h) => element('th', { scope: 'col', text: h })))), this.body));
    this.node = pane('code-pane', 'P-code', this.scroller);
  }

  mark(address) {
    const row = this.rows[address];
    if (!row) return;
    const e = this.explorer;
    const current = address === this.shown;
    const line = e.instructions[address][3];
    row.classList.toggle('current', current);
    row.classList.toggle('break', e.instructionBreaks.has(address));
    setAttribute(row.firstChild.firstChild, 'aria-pressed', String(e.instructionBreaks.has(address)));
    row.classList.toggle('selected', line === e.selectedLine);
    row.classList.toggle('linked', line === e.hoveredLine);
    setAttribute(row, 'aria-current', current ? 'step' : null);
  }

  markLine(line) {
    for (const address of this.addressesOf.get(line) ?? []) this.mark(address);
  }

  show(at) {
    const left = this.shown;
    this.shown = at.pc;
    this.mark(left);
    this.mark(at.pc);
    scrollWithin(this.scroller, this.rows[at.pc]);
  }
}
