// The source pane: the program's lines, each with its breakpoint toggle, marked as the current
// line, a breakpoint, the selected line or the line under the pointer; below them, the steps
// at which the selected line ran. A step remarks the line it left and the one it entered.
import { element, rove, scrollWithin, setAttribute, noted, pane } from './dom.js';

const mostStepsListed = 200;

export class SourceView {
  // `explorer`: the controller (view.js), whose state the marks show and whose actions the
  // clicks call.
  constructor(explorer) {
    this.explorer = explorer;
    this.list = element('ol', { class: 'source', 'aria-label': 'source' });
    this.items = explorer.sourceLines.map((text, k) => {
      const line = k + 1;
      const item = element('li', { 'data-line': String(line) },
        element('button', { class: 'number', type: 'button', text: String(line),
          title: `breakpoint on line ${line}`, 'aria-label': `breakpoint on line ${line}`,
          onclick: () => explorer.toggleLineBreak(line) }),
        element('code', { text: text || ' ', onclick: () => explorer.select(line), onmouseenter: () => explorer.hover(line),
          onmouseleave: () => explorer.hover(0) }));
      const colour = explorer.lineColour.get(line);
      if (colour) item.style.setProperty('--line-colour', colour);
      this.list.append(item);
      return item;
    });
    rove(this.list, this.items.map((item) => item.firstChild));
    this.steps = new LineSteps(explorer);
    this.shown = 0;
    this.items.forEach((item, k) => this.mark(k + 1));
    this.node = pane('source-pane', noted('Source', '(a line number or an address: breakpoint on or off)'),
      this.list, this.steps.node);
  }

  mark(line) {
    const item = this.items[line - 1];
    if (!item) return;
    const e = this.explorer;
    const current = line === this.shown;
    item.classList.toggle('current', current);
    item.classList.toggle('break', e.lineBreaks.has(line));
    setAttribute(item.firstChild, 'aria-pressed', String(e.lineBreaks.has(line)));
    item.classList.toggle('selected', line === e.selectedLine);
    item.classList.toggle('linked', line === e.hoveredLine);
    setAttribute(item, 'aria-current', current ? 'step' : null);
  }

  show(at) {
    const left = this.shown;
    this.shown = at.line;
    this.mark(left);
    this.mark(at.line);
    scrollWithin(this.list, this.items[at.line - 1]);
    this.steps.show(at);
  }

  selected(old, line) {
    this.mark(old);
    this.mark(line);
    this.steps.list(line);
  }
}

// The steps at which the selected line started to run, each a button that goes there; the one
// of the current step is marked.
class LineSteps {
  constructor(explorer) {
    this.explorer = explorer;
    this.node = element('div', { class: 'line-steps', id: explorer.id('line-steps') });
    this.buttons = new Map();
    this.current = null;
  }

  list(line) {
    this.node.replaceChildren();
    this.buttons.clear();
    this.current = null;
    if (!line) return;
    const e = this.explorer;
    const all = e.navigator.stepsOfLine(line);
    const total = all.length;
    const steps = all.slice(0, mostStepsListed);
    this.node.append(element('p', { text: `Line ${line} ran ${total} time${total === 1 ? '' : 's'}${total > steps.length ? ` (the first ${steps.length} listed)` : ''}:` }));
    const list = element('ul', { 'aria-label': `steps at which line ${line} ran` });
    for (const s of steps) {
      const button = element('button', { type: 'button', onclick: () => e.go(s) }, String(s));
      this.buttons.set(s, button);
      list.append(element('li', {}, button));
    }
    this.node.append(list);
    this.show({ step: e.step });
  }

  show(at) {
    const button = this.buttons.get(at.step) ?? null;
    if (button === this.current) return;
    this.current?.classList.remove('current');
    button?.classList.add('current');
    this.current = button;
  }
}
