// The explorer: one recorded run shown step by step as plain HTML (tables and lists). The page
// is made of views, each owning its part of it (controls.js: the header; source-view.js,
// code-view.js, registers-view.js, stack-view.js, output-view.js: the panes); this controller
// holds what the reader chose (the step, the breakpoints, the selected and the hovered line),
// works out once what a step is, and hands it to each view, which changes only what differs
// from what it shows. Every control has a key, active only while the explorer has focus. What
// a step means is asked of queries.js; what an operation does, of machine.js.
import { Run, bytesToText } from '../recording.js';
import { Controls, titleBar } from './controls.js';
import { CodeView } from './code-view.js';
import { element, idsFor } from './dom.js';
import { OutputView } from './output-view.js';
import { Navigator } from './queries.js';
import { OperationsView, RegistersView } from './registers-view.js';
import { SourceView } from './source-view.js';
import { StackView } from './stack-view.js';

// Okabe and Ito's eight hues, which readers with any common colour blindness can tell apart:
// --line-0 to --line-7 in explorer.css, one shade for each colour scheme.
const paletteSize = 8;

// `options.name` names the program in the heading; `options.ranToTheEnd` tells that the real
// run went on to its end past a recording cut short by its step cap; `options.idPrefix` starts
// every id the explorer gives (by default the root's id and a hyphen, so that several explorers
// can stand on one page).
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

// The source line of byte `offset` of the UTF-8 source (a byte string).
function lineOfByte(source, offset) {
  return source.slice(0, offset).split('\n').length;
}

function showError(root, recording, sourceLines, options) {
  const id = idsFor(root, options.idPrefix);
  const error = recording.error;
  const message = error ? bytesToText(error.message).trimEnd() : 'nothing was run';
  // A message without a line (the source ended too soon) is about the place the recording found.
  const errorLine = error ? error.line || lineOfByte(recording.source, error.from) : 0;
  root.append(
    titleBar(options),
    element('p', { class: 'status fault', id: id('error-message'), role: 'alert' },
      `${error ? error.program : ''} stopped: ${message}`),
  );
  if (error?.unclosed) {
    const opening = bytesToText(recording.source.slice(error.from, error.to));
    root.append(element('p', { class: 'status', id: id('error-words'),
      text: `The ${error.unclosed} opened on line ${errorLine} with ${opening} is never closed, so the source ends inside it.` }));
  }
  // It scrolls, and holds nothing else to focus: the list itself takes the keys.
  const list = element('ol', { class: 'source', 'aria-label': 'source', tabindex: '0' });
  sourceLines.forEach((text, k) => {
    const line = k + 1;
    list.append(element('li', { class: line === errorLine ? 'error-line' : '' },
      element('span', { class: 'number', text: String(line) }), element('code', { text })));
  });
  root.append(element('section', { class: 'pane' }, element('h2', { text: 'Source' }), list));
  root.querySelector('.error-line')?.scrollIntoView({ block: 'center' });
}

class Explorer {
  constructor(root, recording, sourceLines, options) {
    this.root = root;
    this.id = idsFor(root, options.idPrefix);
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
    this.hoveredLine = 0;
    this.lineColour = new Map();
    [...new Set(this.instructions.map((i) => i[3]))].sort((a, b) => a - b)
      .forEach((line, k) => this.lineColour.set(line, `var(--line-${k % paletteSize})`));

    this.controls = new Controls(this);
    this.source = new SourceView(this);
    this.code = new CodeView(this);
    this.registers = new RegistersView(this);
    this.operations = new OperationsView(this);
    this.stack = new StackView(this);
    this.output = new OutputView(this);
    this.views = [this.controls, this.source, this.code, this.registers, this.operations, this.stack, this.output];
    const column = (...panes) => element('div', { class: 'column' }, ...panes);
    root.append(this.controls.header, this.controls.live,
      element('div', { class: 'panes' },
        column(this.source.node, this.output.outputPane, this.output.inputPane),
        column(this.code.node, this.operations.node),
        column(this.registers.node, this.stack.node)),
      this.controls.help);
    root.addEventListener('keydown', (event) => this.key(event));
    this.show();
  }

  api() {
    return {
      stepCount: () => this.run.steps,
      go: (n) => this.go(n),
      state: () => {
        const s = this.run.state(this.step);
        return { ...s, output: bytesToText(this.run.output.slice(0, this.run.outputLength(this.step))) };
      },
    };
  }

  // ---- what the reader does ----

  go(step) {
    if (!Number.isFinite(step)) return;
    this.step = Math.max(0, Math.min(this.run.steps, Math.trunc(step)));
    this.controls.say('');
    this.show();
  }

  // An empty or unreadable number (a letter typed after g) is no step: it leaves the step as it is.
  // Leaving the field fires a change too, after Enter: the same step again keeps the note.
  jump(value) {
    const text = value.trim();
    if (!/^\d+$/.test(text)) {
      this.controls.jumpBox.value = String(this.step);
      this.controls.say(`A step is a number from 0 to ${this.run.steps}.`);
    } else if (Number(text) !== this.step) {
      this.go(Number(text));
    }
  }

  // With no breakpoint to go to the buttons say so rather than move.
  toBreak(direction) {
    if (this.lineBreaks.size === 0 && this.instructionBreaks.size === 0) {
      this.controls.say('No breakpoints yet: click a line number or an address, or press b.');
      return;
    }
    const breaks = { lines: this.lineBreaks, instructions: this.instructionBreaks };
    const step = this.navigator.findBreak(this.step, direction, breaks);
    this.go(step);
    if (!this.navigator.isBreak(step, breaks)) {
      this.controls.say(direction > 0 ? 'No breakpoint ahead: this is the last step.' : 'No breakpoint before: this is the first step.');
    }
  }

  toggleLineBreak(line) {
    if (!this.lineBreaks.delete(line)) this.lineBreaks.add(line);
    this.source.mark(line);
  }

  toggleInstructionBreak(address) {
    if (!this.instructionBreaks.delete(address)) this.instructionBreaks.add(address);
    this.code.mark(address);
  }

  select(line) {
    const old = this.selectedLine;
    this.selectedLine = old === line ? 0 : line;
    this.source.selected(old, this.selectedLine);
    this.code.markLine(old);
    this.code.markLine(this.selectedLine);
  }

  hover(line) {
    const old = this.hoveredLine;
    if (old === line) return;
    this.hoveredLine = line;
    for (const l of [old, line]) {
      this.source.mark(l);
      this.code.markLine(l);
    }
  }

  key(event) {
    if (event.target instanceof HTMLInputElement && event.key !== 'Escape') return;
    const n = this.navigator;
    const controls = this.controls;
    const actions = {
      ArrowRight: () => this.go(event.shiftKey ? n.nextLine(this.step) : this.step + 1),
      ArrowLeft: () => this.go(event.shiftKey ? n.previousLine(this.step) : this.step - 1),
      Home: () => this.go(0),
      End: () => this.go(this.run.steps),
      o: () => this.go(n.stepOver(this.step)),
      u: () => this.go(n.stepOut(this.step)),
      b: () => { if (n.line(this.step) > 0) this.toggleLineBreak(n.line(this.step)); },
      B: () => { if (this.instructions[n.pcAt(this.step)]) this.toggleInstructionBreak(n.pcAt(this.step)); },
      n: () => this.toBreak(1),
      p: () => this.toBreak(-1),
      g: () => controls.focusJump(),
      l: () => this.select(n.line(this.step)),
      '?': () => controls.toggleHelp(),
      Escape: () => { if (!controls.help.hidden) controls.toggleHelp(); },
    };
    const action = actions[event.key];
    if (!action || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    action();
  }

  // ---- showing a step ----

  // What every view needs of the step, worked out once.
  show() {
    const step = this.step;
    const at = {
      step,
      state: this.run.state(step),
      before: step > 0 ? this.run.state(step - 1) : null,
      pc: this.navigator.pcAt(step),
      line: this.navigator.line(step),
    };
    for (const view of this.views) view.show(at);
  }
}
