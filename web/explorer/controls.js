// The explorer's header and its dialogs: the title, the run's status, the toolbar, the slider,
// the step counter with its "go to" field, the note, the words a screen reader announces at
// each step, and the keyboard help. A step rewrites the few texts that changed.
import { element, setText } from './dom.js';
import { faultHint } from './hints.js';
import { schemeSwitch } from '../scheme.js';

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

export function title(options) {
  return options.name ? `PL/0 explorer: ${options.name}` : 'PL/0 explorer';
}

export function titleBar(options) {
  return element('div', { class: 'title' }, element('h1', { text: title(options) }),
    ...(options.schemeSwitch ? [schemeSwitch()] : []));
}

export class Controls {
  constructor(explorer) {
    const e = explorer;
    const id = e.id;
    const steps = e.run.steps;
    this.explorer = e;
    this.status = element('p', { class: 'status', id: id('run-status') });
    this.live = element('p', { class: 'visually-hidden', 'aria-live': 'polite', id: id('announce') });
    // Each label holds the words the button shows, so that speaking its text finds it.
    const button = (name, text, label, action) =>
      element('button', { id: id(name), type: 'button', title: label, 'aria-label': label, onclick: action }, text);
    this.slider = element('input', {
      type: 'range', min: '0', max: String(steps), value: '0', id: id('slider'), class: 'slider', 'aria-label': 'step',
      oninput: () => e.go(Number(this.slider.value)),
    });
    this.jumpBox = element('input', {
      type: 'number', min: '0', max: String(steps), id: id('jump'), class: 'jump',
      onchange: () => e.jump(this.jumpBox.value),
      onkeydown: (event) => {
        if (event.key !== 'Enter' && event.key !== 'Escape') return;
        event.preventDefault();
        if (event.key === 'Enter') e.jump(this.jumpBox.value);
        else this.jumpBox.value = String(e.step);
        e.root.focus();  // the arrow keys step again
      },
    });
    const toolbar = element('div', { class: 'toolbar', role: 'toolbar', 'aria-label': 'steps' },
      button('first', 'first', 'first step (Home)', () => e.go(0)),
      button('back-line', '◀ line', 'previous line (Shift+←)', () => e.go(e.navigator.previousLine(e.step))),
      button('back', '◀', 'back one instruction (←)', () => e.go(e.step - 1)),
      button('forward', '▶', 'forward one instruction (→)', () => e.go(e.step + 1)),
      button('forward-line', 'line ▶', 'next line (Shift+→)', () => e.go(e.navigator.nextLine(e.step))),
      button('last', 'last', 'last step (End)', () => e.go(steps)),
      button('over', 'over', 'step over a call (o)', () => e.go(e.navigator.stepOver(e.step))),
      button('out', 'out', 'step out of the procedure (u)', () => e.go(e.navigator.stepOut(e.step))),
      button('previous-break', '◀ break', 'previous break: back to a breakpoint (p)', () => e.toBreak(-1)),
      button('next-break', 'break ▶', 'next break: forward to a breakpoint (n)', () => e.toBreak(1)),
      button('help-button', '?', 'keyboard shortcuts (?)', () => this.toggleHelp()),
    );
    this.stepOutput = element('output', { id: id('step') });
    const counter = element('span', { class: 'counter' }, 'step ', this.stepOutput, ' of ',
      element('span', { id: id('step-count'), text: String(steps) }), ' ', element('label', {}, 'go to ', this.jumpBox));
    this.note = element('span', { class: 'hint', id: id('note'), role: 'status' });
    this.header = element('header', {}, titleBar(e.options), this.status, toolbar,
      element('div', { class: 'navigation' }, this.slider, counter, this.note));
    this.help = element('div', { class: 'help', id: id('help'), role: 'dialog', 'aria-label': 'keyboard shortcuts', hidden: '' },
      element('h2', { text: 'Keyboard' }),
      element('dl', {}, ...keys.flatMap(([key, what]) => [element('dt', { text: key }), element('dd', { text: what })])),
      element('button', { type: 'button', onclick: () => this.toggleHelp() }, 'Close'));
  }

  show({ step, state, pc }) {
    const e = this.explorer;
    const run = e.run;
    setText(this.stepOutput, String(step));
    if (this.slider.value !== String(step)) this.slider.value = String(step);
    if (this.jumpBox.value !== String(step)) this.jumpBox.value = String(step);
    setText(this.status, this.statusText(step));
    this.status.classList.toggle('fault', run.end === 'fault' && step === run.steps);
    const name = pc >= 0 && pc < e.instructions.length ? ` ${e.names[e.instructions[pc][0]] ?? '?'}` : '';
    setText(this.live, `step ${step}: PC ${state.pc}${name}, SP ${state.sp}`);
  }

  say(text) {
    setText(this.note, text);
  }

  toggleHelp() {
    this.help.hidden = !this.help.hidden;
    if (!this.help.hidden) this.help.querySelector('button').focus();
    else this.explorer.root.focus();
  }

  focusJump() {
    this.jumpBox.focus();
    this.jumpBox.select();  // a number typed now replaces the old one
  }

  statusText(step) {
    const e = this.explorer;
    const r = e.run;
    const where = step === r.steps ? '' : ` Step ${step} of ${r.steps}.`;
    switch (r.end) {
      case 'finished': return `The program ran ${r.steps} instructions and finished.${where}`;
      case 'fault': {
        // A jump to an address without an instruction faults at that address: the jump's line.
        const line = e.navigator.line(r.steps) || e.navigator.line(Math.max(0, r.steps - 1));
        const hint = faultHint(r.message, e.names[e.instructions[e.navigator.pcAt(r.steps)]?.[0]]);
        return `Run-time fault${line ? ` on line ${line}` : ''} after ${r.steps} instructions: ${r.message}.${hint ? ` ${hint}` : ''}${where}`;
      }
      // The playground has no command line: its cap is its own, not a flag's.
      case 'step-cap': return e.options.ranToTheEnd
        ? `The recording stops after ${r.steps} instructions, the most it keeps; the run itself went on and finished.${where}`
        : `Stopped after ${r.steps} instructions: the recording keeps at most ${r.maxSteps}${e.options.commandLine === false ? '' : ' (--max-steps)'}. The program had not finished.${where}`;
      default: return `The output could not be written after ${r.steps} instructions.${where}`;
    }
  }
}
