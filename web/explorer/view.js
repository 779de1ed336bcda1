// The explorer's view: one recorded run shown step by step as plain HTML (tables and lists).
// The panes are built once; a step updates what it changed (the current line and instruction,
// the registers, the stack). Every control has a key, active only while the explorer has
// focus. What a step means is asked of queries.js; what an operation does, of machine.js.
import { Run, bytesToText } from '../recording.js';
import { stackCells, topCell } from '../vocabulary.js';
import { faultHint } from './hints.js';
import { operate } from './machine.js';
import { Navigator } from './queries.js';
import { schemeSwitch } from '../scheme.js';

// Okabe and Ito's eight hues, which readers with any common colour blindness can tell apart:
// --line-0 to --line-7 in explorer.css, one shade for each colour scheme.
const paletteSize = 8;
const registerNames = ['pc', 'sp', 'bp', 'ax', 'bx', 'tx'];
const linkLabels = ['static link', 'dynamic link', 'return address'];
const mostStepsListed = 200;

const keys = [
  ['→ / ←', 'forward / back one instruction'],
  ['Shift+→ / Shift+←', 'next / previous source line'],
  ['Home / End', 'first / last step'],
  ['o', 'step over a call'],
  ['u', 'step out of the procedure'],
  ['b', 'breakpoint on the current source line, on or off'],
  ['B', 'breakpoint on the current instruction, on or off'],
  ['n / p', 'run forward / back to the next breakpoint'],
  ['Tab', 'to the line numbers or the addresses: ↑ / ↓ move among them, Enter or Space (or a click) sets or clears a breakpoint'],
  ['g', 'jump to a step number: type it, then Enter (Esc leaves it)'],
  ['l', 'list the steps at which the current line ran'],
  ['?', 'this help; Esc closes it'],
];

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === 'text') node.textContent = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value);
  }
  for (const child of children) node.append(child);
  return node;
}

// `options.name` names the program in the heading; `options.ranToTheEnd` tells that the real
// run went on to its end past a recording cut short by its step cap.
export function mountExplorer(root, recording, options = {}) {
  root.replaceChildren();
  root.classList.add('explorer');
  if (!root.hasAttribute('tabindex')) root.tabIndex = 0;
  const sourceLines = bytesToText(recording.source).split('\n');
  if (sourceLines.length > 1 && sourceLines[sourceLines.length - 1] === '') sourceLines.pop();
  if (recording.error || !recording.run) {
    showError(root, recording, sourceLines, options);
    return { stepCount: () => 0, go: () => {}, state: () => null };
  }
  return new Explorer(root, recording, sourceLines, options).api();
}

function title(options) {
  return options.name ? `PL/0 explorer: ${options.name}` : 'PL/0 explorer';
}

// The source line of byte `offset` of the UTF-8 source (a byte string).
function lineOfByte(source, offset) {
  return source.slice(0, offset).split('\n').length;
}

function showError(root, recording, sourceLines, options) {
  const error = recording.error;
  const message = error ? bytesToText(error.message).trimEnd() : 'nothing was run';
  // A message without a line (the source ended too soon) is about the place the recording found.
  const errorLine = error ? error.line || lineOfByte(recording.source, error.from) : 0;
  root.append(
    element('div', { class: 'title' }, element('h1', { text: title(options) }), ...schemeSwitchIf(options)),
    element('p', { class: 'status fault', id: 'error-message', role: 'alert' },
      `${error ? error.program : ''} stopped: ${message}`),
  );
  if (error?.unclosed) {
    const opening = bytesToText(recording.source.slice(error.from, error.to));
    root.append(element('p', { class: 'status', id: 'error-words',
      text: `The ${error.unclosed} opened on line ${errorLine} with ${opening} is never closed, so the source ends inside it.` }));
  }
  // It scrolls, and holds nothing else to focus: the list itself takes the keys.
  const list = element('ol', { class: 'source', 'aria-label': 'source', tabindex: '0' });
  sourceLines.forEach((text, k) => {
    const line = k + 1;
    const item = element('li', { class: line === errorLine ? 'error-line' : '' },
      element('span', { class: 'number', text: String(line) }), element('code', { text }));
    list.append(item);
  });
  root.append(element('section', { class: 'pane' }, element('h2', { text: 'Source' }), list));
  root.querySelector('.error-line')?.scrollIntoView({ block: 'center' });
}

function schemeSwitchIf(options) {
  return options.schemeSwitch ? [schemeSwitch()] : [];
}

// Many buttons, one tab stop: Tab enters at the one last used, and ↑ ↓ Home End PageUp PageDown
// move among them (Home and End then stay inside, rather than going to the first or last step).
function rove(container, buttons) {
  buttons.forEach((button, k) => { button.tabIndex = k === 0 ? 0 : -1; });
  let entry = buttons[0];
  container.addEventListener('focusin', (event) => {
    if (!buttons.includes(event.target) || event.target === entry) return;
    if (entry) entry.tabIndex = -1;
    entry = event.target;
    entry.tabIndex = 0;
  });
  container.addEventListener('keydown', (event) => {
    const k = buttons.indexOf(event.target);
    const to = { ArrowDown: k + 1, ArrowUp: k - 1, Home: 0, End: buttons.length - 1, PageDown: k + 10, PageUp: k - 10 }[event.key];
    if (k < 0 || to === undefined || event.shiftKey || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    event.stopPropagation();
    buttons[Math.max(0, Math.min(buttons.length - 1, to))].focus();
  });
}

class Explorer {
  constructor(root, recording, sourceLines, options) {
    this.root = root;
    this.options = options;
    this.recording = recording;
    this.sourceLines = sourceLines;
    this.instructions = recording.instructions;
    this.names = recording.opcodeNames;
    this.run = new Run(recording.run);
    this.navigator = new Navigator(this.run, this.instructions);
    // A fault is what a student comes to see: open there.
    this.step = this.run.end === 'fault' ? this.run.steps : 0;
    this.lineBreaks = new Set();
    this.instructionBreaks = new Set();
    this.selectedLine = 0;
    this.lineColour = new Map();
    [...new Set(this.instructions.map((i) => i[3]))].sort((a, b) => a - b)
      .forEach((line, k) => this.lineColour.set(line, `var(--line-${k % paletteSize})`));
    this.build();
    this.shown = { line: 0, pc: -1 };
    this.sourceItems.forEach((item, k) => this.markSource(k + 1));
    this.codeRows.forEach((row, address) => this.markCode(address));
    this.show();
  }

  api() {
    return {
      stepCount: () => this.run.steps,
      go: (n) => this.go(n),
      state: () => {
        const s = this.run.state(this.step);
        return { ...s, output: this.outputText(this.step) };
      },
    };
  }

  pcAt(step) {
    return this.navigator.pcAt(step);
  }

  line(step) {
    return this.navigator.line(step);
  }

  outputText(step) {
    return bytesToText(this.run.output.slice(0, this.run.outputLength(step)));
  }

  // ---- building the panes once ----

  build() {
    const r = this.run;
    this.status = element('p', { class: 'status', id: 'run-status' });
    this.live = element('p', { class: 'visually-hidden', 'aria-live': 'polite', id: 'announce' });
    // Each label holds the words the button shows, so that speaking its text finds it.
    const button = (id, text, title, action) =>
      element('button', { id, type: 'button', title, 'aria-label': title, onclick: action }, text);
    this.slider = element('input', {
      type: 'range', min: '0', max: String(r.steps), value: '0', id: 'slider', 'aria-label': 'step',
      oninput: () => this.go(Number(this.slider.value)),
    });
    this.jumpBox = element('input', {
      type: 'number', min: '0', max: String(r.steps), id: 'jump',
      onchange: () => this.jump(),
      onkeydown: (event) => {
        if (event.key !== 'Enter' && event.key !== 'Escape') return;
        event.preventDefault();
        if (event.key === 'Enter') this.jump();
        else this.jumpBox.value = String(this.step);
        this.root.focus();  // the arrow keys step again
      },
    });
    const toolbar = element('div', { class: 'toolbar', role: 'toolbar', 'aria-label': 'steps' },
      button('first', 'first', 'first step (Home)', () => this.go(0)),
      button('back-line', '◀ line', 'previous line (Shift+←)', () => this.go(this.previousLine())),
      button('back', '◀', 'back one instruction (←)', () => this.go(this.step - 1)),
      button('forward', '▶', 'forward one instruction (→)', () => this.go(this.step + 1)),
      button('forward-line', 'line ▶', 'next line (Shift+→)', () => this.go(this.nextLine())),
      button('last', 'last', 'last step (End)', () => this.go(r.steps)),
      button('over', 'over', 'step over a call (o)', () => this.go(this.stepOver())),
      button('out', 'out', 'step out of the procedure (u)', () => this.go(this.stepOut())),
      button('previous-break', '◀ break', 'previous break: back to a breakpoint (p)', () => this.toBreak(-1)),
      button('next-break', 'break ▶', 'next break: forward to a breakpoint (n)', () => this.toBreak(1)),
      button('help-button', '?', 'keyboard shortcuts (?)', () => this.toggleHelp()),
    );
    this.stepOutput = element('output', { id: 'step' });
    const counter = element('span', { class: 'counter' }, 'step ', this.stepOutput, ' of ', element('span', { id: 'step-count', text: String(r.steps) }),
      ' ', element('label', {}, 'go to ', this.jumpBox));
    this.note = element('span', { class: 'hint', id: 'note', role: 'status' });
    this.root.append(
      element('header', {}, element('div', { class: 'title' }, element('h1', { text: title(this.options) }),
        ...schemeSwitchIf(this.options)), this.status, toolbar,
      element('div', { class: 'navigation' }, this.slider, counter, this.note)),
      this.live,
    );

    this.sourceList = element('ol', { class: 'source', 'aria-label': 'source' });
    this.sourceItems = this.sourceLines.map((text, k) => {
      const line = k + 1;
      const colour = this.lineColour.get(line);
      const item = element('li', { 'data-line': String(line) },
        element('button', { class: 'number', type: 'button', text: String(line),
          title: `breakpoint on line ${line}`, 'aria-label': `breakpoint on line ${line}`,
          onclick: () => this.toggle(this.lineBreaks, line) }),
        element('code', { text: text || ' ', onclick: () => this.select(line), onmouseenter: () => this.hover(line),
          onmouseleave: () => this.hover(0) }));
      if (colour) item.style.setProperty('--line-colour', colour);
      this.sourceList.append(item);
      return item;
    });
    this.stepsOfLine = element('div', { class: 'line-steps', id: 'line-steps' });

    this.codeBody = element('tbody');
    this.codeRows = this.instructions.map(([opcode, level, operand, line], address) => {
      const row = element('tr', { 'data-line': String(line), onmouseenter: () => this.hover(line),
        onmouseleave: () => this.hover(0), onclick: () => this.select(line) },
        element('td', {}, element('button', { type: 'button', class: 'number', text: String(address),
          title: `breakpoint at instruction ${address}`, 'aria-label': `breakpoint at instruction ${address}`,
          onclick: (event) => { event.stopPropagation(); this.toggle(this.instructionBreaks, address); } })),
        element('td', { text: this.names[opcode] ?? '?' }), element('td', { text: String(level) }),
        element('td', { text: String(operand) }), element('td', { class: 'line-ref', text: String(line) }));
      const colour = this.lineColour.get(line);
      if (colour) row.style.setProperty('--line-colour', colour);
      this.codeBody.append(row);
      return row;
    });
    rove(this.sourceList, this.sourceItems.map((item) => item.firstChild));
    rove(this.codeBody, this.codeRows.map((row) => row.querySelector('button')));
    const codeTable = element('table', { class: 'code', 'aria-label': 'p-code' },
      element('thead', {}, element('tr', {}, ...['Addr', 'Op', 'Level', 'Operand', 'Line']
        .map((h) => element('th', { scope: 'col', text: h })))), this.codeBody);

    this.registerCells = {};
    const registerTable = element('table', { class: 'registers', 'aria-label': 'registers' },
      element('tbody', {}, ...registerNames.map((name) => {
        const value = element('td', { id: name });
        const old = element('td', { class: 'old' });
        this.registerCells[name] = { value, old };
        return element('tr', {}, element('th', { scope: 'row', text: name === 'pc' || name === 'sp' || name === 'bp'
          ? name.toUpperCase() : name[0].toUpperCase() + name[1] }), value, old);
      })));
    this.operationsHeader = element('p', { class: 'operations-header' });
    this.operationsList = element('ol', { class: 'operations', 'aria-label': 'register operations' });
    this.stackBody = element('tbody');
    this.arrows = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
    this.arrows.setAttribute('class', 'arrows');
    this.arrows.setAttribute('aria-hidden', 'true');
    const stackTable = element('table', { class: 'stack', 'aria-label': `stack, cell ${topCell} down to SP` },
      element('thead', {}, element('tr', {}, ...['Cell', 'Value', 'Meaning']
        .map((h) => element('th', { scope: 'col', text: h })))), this.stackBody);
    // Boxes that scroll with nothing inside to focus take the keys themselves.
    const box = (label) => ({ role: 'region', 'aria-label': label, tabindex: '0' });
    this.outputBox = element('pre', { id: 'output', class: 'output', ...box('output so far') });
    this.inputBox = element('pre', { id: 'input-consumed', class: 'input', ...box('input consumed so far') });

    this.help = element('div', { class: 'help', id: 'help', role: 'dialog', 'aria-label': 'keyboard shortcuts', hidden: '' },
      element('h2', { text: 'Keyboard' }),
      element('dl', {}, ...keys.flatMap(([key, what]) => [element('dt', { text: key }), element('dd', { text: what })])),
      element('button', { type: 'button', onclick: () => this.toggleHelp() }, 'Close'));

    const pane = (kind, heading, ...content) => element('section', { class: `pane ${kind}` },
      typeof heading === 'string' ? element('h2', { text: heading }) : heading, ...content);
    const legend = element('p', { class: 'legend' },
      element('span', { class: 'key static' }), 'static link: to the frame of the block that declares the procedure ',
      element('span', { class: 'key dynamic' }), 'dynamic link: to the caller\'s frame');
    this.stackBox = element('div', { class: 'stack-box', ...box('stack cells') }, stackTable, this.arrows);
    this.root.append(element('div', { class: 'panes' },
      element('div', { class: 'column' }, pane('source-pane', element('h2', {}, 'Source ',
        element('small', { text: '(a line number or an address: breakpoint on or off)' })), this.sourceList, this.stepsOfLine),
        pane('output-pane', 'Output', this.outputBox), pane('input-pane', 'Input consumed', this.inputBox)),
      element('div', { class: 'column' }, pane('code-pane', 'P-code', element('div', { class: 'scroll' }, codeTable)),
        pane('operations-pane', element('h2', {}, 'Register operations ', element('small', { text: '(of the next instruction, still to run)' })),
          this.operationsHeader, this.operationsList)),
      element('div', { class: 'column' },
        pane('registers-pane', element('h2', {}, 'Registers ', element('small', { text: '(“was”: before the last step)' })), registerTable),
        pane('stack-pane', element('h2', {}, 'Stack ', element('small', { text: '(highlighted: changed by the last step)' })),
          legend, this.stackBox))),
      this.help);
    this.root.addEventListener('keydown', (event) => this.key(event));
  }

  // ---- moving ----

  go(step) {
    if (!Number.isFinite(step)) return;
    this.step = Math.max(0, Math.min(this.run.steps, Math.trunc(step)));
    this.note.textContent = '';
    this.show();
  }

  // An empty or unreadable number (a letter typed after g) is no step: it leaves the step as it is.
  // Leaving the field fires a change too, after Enter: the same step again keeps the note.
  jump() {
    const text = this.jumpBox.value.trim();
    if (!/^\d+$/.test(text)) {
      this.jumpBox.value = String(this.step);
      this.note.textContent = `A step is a number from 0 to ${this.run.steps}.`;
    } else if (Number(text) !== this.step) {
      this.go(Number(text));
    }
  }

  // With no breakpoint to go to the buttons say so rather than move.
  toBreak(direction) {
    if (this.lineBreaks.size === 0 && this.instructionBreaks.size === 0) {
      this.note.textContent = 'No breakpoints yet: click a line number or an address, or press b.';
      return;
    }
    const breaks = { lines: this.lineBreaks, instructions: this.instructionBreaks };
    const step = this.navigator.findBreak(this.step, direction, breaks);
    this.go(step);
    if (!this.navigator.isBreak(step, breaks)) {
      this.note.textContent = direction > 0 ? 'No breakpoint ahead: this is the last step.' : 'No breakpoint before: this is the first step.';
    }
  }

  nextLine() {
    return this.navigator.nextLine(this.step);
  }

  previousLine() {
    return this.navigator.previousLine(this.step);
  }

  stepOver() {
    return this.navigator.stepOver(this.step);
  }

  stepOut() {
    return this.navigator.stepOut(this.step);
  }

  toggle(set, key) {
    if (set.has(key)) set.delete(key);
    else set.add(key);
    if (set === this.lineBreaks) this.markSource(key);
    else this.markCode(key);
    this.show();
  }

  select(line) {
    const old = this.selectedLine;
    this.selectedLine = old === line ? 0 : line;
    this.markLine(old);
    this.markLine(this.selectedLine);
    this.show();
  }

  hover(line) {
    for (const item of this.sourceItems) item.classList.toggle('linked', Number(item.dataset.line) === line);
    for (const row of this.codeRows) row.classList.toggle('linked', Number(row.dataset.line) === line);
  }

  toggleHelp() {
    this.help.hidden = !this.help.hidden;
    if (!this.help.hidden) this.help.querySelector('button').focus();
    else this.root.focus();
  }

  key(event) {
    if (event.target instanceof HTMLInputElement && event.key !== 'Escape') return;
    const actions = {
      ArrowRight: () => this.go(event.shiftKey ? this.nextLine() : this.step + 1),
      ArrowLeft: () => this.go(event.shiftKey ? this.previousLine() : this.step - 1),
      Home: () => this.go(0),
      End: () => this.go(this.run.steps),
      o: () => this.go(this.stepOver()),
      u: () => this.go(this.stepOut()),
      b: () => { if (this.line(this.step) > 0) this.toggle(this.lineBreaks, this.line(this.step)); },
      B: () => { if (this.codeRows[this.pcAt(this.step)]) this.toggle(this.instructionBreaks, this.pcAt(this.step)); },
      n: () => this.toBreak(1),
      p: () => this.toBreak(-1),
      g: () => {
        this.jumpBox.focus();
        this.jumpBox.select();  // a number typed now replaces the old one
      },
      l: () => this.select(this.line(this.step)),
      '?': () => this.toggleHelp(),
      Escape: () => { if (!this.help.hidden) this.toggleHelp(); },
    };
    const action = actions[event.key];
    if (!action || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    action();
  }

  // ---- showing a step ----

  show() {
    const r = this.run;
    const step = this.step;
    const state = r.state(step);
    const before = step > 0 ? r.state(step - 1) : null;
    const pc = this.pcAt(step);
    const line = this.line(step);
    this.stepOutput.textContent = String(step);
    this.slider.value = String(step);
    this.jumpBox.value = String(step);
    this.status.textContent = this.statusText(step);
    this.status.classList.toggle('fault', r.end === 'fault' && step === r.steps);

    for (const name of registerNames) {
      const cells = this.registerCells[name];
      cells.value.textContent = String(state[name]);
      const changed = before && before[name] !== state[name];
      cells.value.classList.toggle('changed', Boolean(changed));
      cells.old.textContent = changed ? `was ${before[name]}` : '';
    }

    // Only the rows whose marks can have changed: the line and instruction left and entered.
    const left = this.shown;
    this.shown = { line, pc };
    for (const n of new Set([left.line, line])) this.markSource(n);
    for (const address of new Set([left.pc, pc])) this.markCode(address);
    scrollWithin(this.sourceList, this.sourceItems[line - 1]);
    scrollWithin(this.codeRows[0]?.closest('.scroll'), this.codeRows[pc]);

    this.showOperations(state, pc);
    this.showStack(state, before);
    this.showStepsOfLine();

    const output = this.outputText(step);
    const grew = before && r.outputLength(step) !== r.outputLength(step - 1);
    this.outputBox.textContent = output;
    this.outputBox.classList.toggle('changed', Boolean(grew));
    if (r.outputCut && r.outputLength(step) === r.output.length) {
      this.outputBox.append(element('span', { class: 'note', id: 'output-cut',
        text: `\n[The output is cut here: the recording keeps its first ${r.output.length} bytes.]` }));
    }
    this.inputBox.textContent = bytesToText(this.recording.input.slice(0, r.inputConsumed(step)));

    const name = pc >= 0 && pc < this.instructions.length ? ` ${this.names[this.instructions[pc][0]] ?? '?'}` : '';
    this.live.textContent = `step ${step}: PC ${state.pc}${name}, SP ${state.sp}`;
  }

  markSource(line) {
    const item = this.sourceItems[line - 1];
    if (!item) return;
    const current = line === this.shown.line;
    item.classList.toggle('current', current);
    item.classList.toggle('break', this.lineBreaks.has(line));
    item.firstChild.setAttribute('aria-pressed', String(this.lineBreaks.has(line)));
    item.classList.toggle('selected', line === this.selectedLine);
    if (current) item.setAttribute('aria-current', 'step');
    else item.removeAttribute('aria-current');
  }

  markCode(address) {
    const row = this.codeRows[address];
    if (!row) return;
    const current = address === this.shown.pc;
    row.classList.toggle('current', current);
    row.classList.toggle('break', this.instructionBreaks.has(address));
    row.querySelector('button').setAttribute('aria-pressed', String(this.instructionBreaks.has(address)));
    row.classList.toggle('selected', this.instructions[address][3] === this.selectedLine);
    if (current) row.setAttribute('aria-current', 'step');
    else row.removeAttribute('aria-current');
  }

  // The rows of a line's instructions, for a change of the selected line.
  markLine(line) {
    this.markSource(line);
    this.instructions.forEach((instruction, address) => {
      if (instruction[3] === line) this.markCode(address);
    });
  }

  statusText(step) {
    const r = this.run;
    const where = step === r.steps ? '' : ` Step ${step} of ${r.steps}.`;
    switch (r.end) {
      case 'finished': return `The program ran ${r.steps} instructions and finished.${where}`;
      case 'fault': {
        // A jump to an address without an instruction faults at that address: the jump's line.
        const line = this.line(r.steps) || this.line(Math.max(0, r.steps - 1));
        const hint = faultHint(r.message, this.names[this.instructions[this.pcAt(r.steps)]?.[0]]);
        return `Run-time fault${line ? ` on line ${line}` : ''} after ${r.steps} instructions: ${r.message}.${hint ? ` ${hint}` : ''}${where}`;
      }
      // The playground has no command line: its cap is its own, not a flag's.
      case 'step-cap': return this.options.ranToTheEnd
        ? `The recording stops after ${r.steps} instructions, the most it keeps; the run itself went on and finished.${where}`
        : `Stopped after ${r.steps} instructions: the recording keeps at most ${r.maxSteps}${this.options.commandLine === false ? '' : ' (--max-steps)'}. The program had not finished.${where}`;
      default: return `The output could not be written after ${r.steps} instructions.${where}`;
    }
  }

  showOperations(state, pc) {
    this.operationsList.replaceChildren();
    if (pc < 0 || pc >= this.instructions.length) {
      this.operationsHeader.textContent = pc < 0 ? 'The program has finished.' : `No instruction at ${pc}.`;
      return;
    }
    const [opcode, level, operand] = this.instructions[pc];
    this.operationsHeader.textContent = `${pc}: ${this.names[opcode] ?? '?'} ${level} ${operand}`;
    const machine = { ...state, cells: state.cells.slice(), pc: pc + 1 };
    for (const text of this.recording.operations[pc]) {
      const effect = operate(machine, text, operand);
      this.operationsList.append(element('li', {}, element('code', { text: text.replace('\t', ' ') }),
        element('span', { class: 'effect', text: effect })));
    }
  }

  // Frames from BP outward along the dynamic links, each with the procedure its CAL entered.
  frames(state) {
    const frames = [];
    let base = state.bp;
    for (let guard = 0; guard < stackCells && base >= 0 && base <= topCell; guard++) {
      frames.push({ base, procedure: this.procedureOf(state, base) });
      if (base === topCell) break;
      const caller = state.cells[base - 1];
      if (!(caller > base)) break;
      base = caller;
    }
    return frames;
  }

  procedureOf(state, base) {
    const procedures = this.recording.procedures;
    if (base === topCell) return procedures[0];
    const call = this.instructions[state.cells[base - 2] - 1];
    if (!call) return null;
    return procedures.find((p) => p.body === call[2] || p.jump === call[2]) ?? null;
  }

  showStack(state, before) {
    const meaning = new Map();
    const frameOf = new Map();
    const frames = this.frames(state);
    frames.forEach((frame, k) => {
      const name = frame.procedure ? frame.procedure.name || 'main program' : 'unknown procedure';
      for (let n = 0; n < 3; n++) meaning.set(frame.base - n, linkLabels[n]);
      for (const [variable, offset, cells] of frame.procedure?.variables ?? []) {
        for (let i = 0; i < cells; i++) {
          meaning.set(frame.base - offset - i, cells > 1 ? `${variable}[${i}]` : variable);
        }
      }
      const lowest = k === 0 ? state.sp : frames[k - 1].base + 1;
      for (let c = frame.base; c >= lowest; c--) {
        frameOf.set(c, { k, name });
        if (!meaning.has(c)) meaning.set(c, 'temporary');
      }
    });
    const changed = this.run.changedCells(this.step);
    this.stackBody.replaceChildren();
    const rows = new Map();
    const lowest = Math.max(0, Math.min(state.sp, topCell));
    for (let c = topCell; c >= lowest; c--) {
      const frame = frameOf.get(c);
      if (frame && frames[frame.k].base === c) {
        this.stackBody.append(element('tr', { class: 'frame-header' },
          element('th', { colspan: '3', scope: 'rowgroup', text: `${frame.name}: frame at ${c}` })));
      }
      const value = element('td', { class: 'value', text: String(state.cells[c]) });
      if (changed.has(c) && before) {
        value.classList.add('changed');
        value.append(element('span', { class: 'old', text: ` was ${before.cells[c]}` }));
      }
      const kind = meaning.get(c) ?? '';
      const row = element('tr', { class: `${frame ? `frame-${frame.k % 2}` : ''} ${kind.includes('link') || kind === 'return address' ? 'link' : ''} ${kind === 'temporary' ? 'temporary' : ''}`.trim() },
        element('th', { scope: 'row', text: String(c) }), value, element('td', { text: kind }));
      this.stackBody.append(row);
      rows.set(c, row);
    }
    requestAnimationFrame(() => {
      this.drawArrows(frames, state, rows);
      scrollWithin(this.stackBox, rows.get(lowest));  // the top of the stack, where things happen
    });
  }

  drawArrows(frames, state, rows) {
    const svg = this.arrows;
    const box = svg.parentElement.getBoundingClientRect();
    svg.replaceChildren();
    svg.setAttribute('width', '60');
    svg.setAttribute('height', String(Math.max(1, box.height)));
    const ns = 'http://www.w3.org/2000/svg';
    const defs = document.createElementNS(ns, 'defs');
    for (const kind of ['static', 'dynamic']) {
      const marker = document.createElementNS(ns, 'marker');
      marker.setAttribute('id', `head-${kind}`);
      for (const [name, value] of Object.entries({ viewBox: '0 0 10 10', refX: '9', refY: '5', markerWidth: '6', markerHeight: '6', orient: 'auto-start-reverse' })) marker.setAttribute(name, value);
      const head = document.createElementNS(ns, 'path');
      head.setAttribute('d', 'M0,0 L10,5 L0,10 z');
      head.setAttribute('class', kind);
      marker.append(head);
      defs.append(marker);
    }
    svg.append(defs);
    const middle = (cell) => {
      const row = rows.get(cell);
      if (!row) return null;
      const r = row.getBoundingClientRect();
      return r.top - box.top + r.height / 2;
    };
    // Every dynamic link, each in a lane of its own so that a deep recursion's links stay
    // apart; the static links of the current frame's chain only, the ones its code can follow.
    const chain = new Set();
    for (let base = state.bp, guard = 0; base >= 0 && base < topCell && guard < stackCells; guard++) {
      chain.add(base);
      base = state.cells[base];
    }
    frames.forEach((frame, k) => {
      if (frame.base === topCell) return;
      const links = [['dynamic', frame.base - 1, 30 + (k % 4) * 7]];
      if (chain.has(frame.base)) links.push(['static', frame.base, 8 + (k % 3) * 6]);
      links.forEach(([kind, from, reach]) => {
        const to = state.cells[from];
        const y1 = middle(from);
        const y2 = middle(to);
        if (y1 === null || y2 === null) return;
        const path = document.createElementNS(ns, 'path');
        path.setAttribute('d', `M0,${y1} C${reach},${y1} ${reach},${y2} 2,${y2}`);
        path.setAttribute('class', `arrow ${kind}`);
        path.setAttribute('marker-end', `url(#head-${kind})`);
        svg.append(path);
      });
    });
  }

  showStepsOfLine() {
    const line = this.selectedLine;
    this.stepsOfLine.replaceChildren();
    if (!line) return;
    const all = this.navigator.stepsOfLine(line);
    const total = all.length;
    const steps = all.slice(0, mostStepsListed);
    this.stepsOfLine.append(element('p', { text: `Line ${line} ran ${total} time${total === 1 ? '' : 's'}${total > steps.length ? ` (the first ${steps.length} listed)` : ''}:` }));
    const list = element('ul', { 'aria-label': `steps at which line ${line} ran` });
    for (const s of steps) list.append(element('li', {}, element('button', { type: 'button', class: s === this.step ? 'current' : '', onclick: () => this.go(s) }, String(s))));
    this.stepsOfLine.append(list);
  }
}

// Brings `item` into view inside its scrolling `box` only, so that stepping never scrolls the
// page itself.
function scrollWithin(box, item) {
  if (!box || !item) return;
  const shown = box.getBoundingClientRect();
  const wanted = item.getBoundingClientRect();
  if (wanted.top < shown.top) box.scrollTop -= shown.top - wanted.top;
  else if (wanted.bottom > shown.bottom) box.scrollTop += wanted.bottom - shown.bottom;
}
