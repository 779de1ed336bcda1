// The playground: an editor, the input, Run and Stop, the files of every program in tabs, and
// the explorer's view of the same run. The tool chain runs in workers (worker.js): the runner
// compiles and runs, and nothing else, so that the output comes first; a helper makes the
// recording and the stack file when their tab is opened. The page keeps the source and input
// in the address (Share) and in the browser's storage.
import { EditorView, basicSetup } from 'codemirror';
import { Decoration, WidgetType, keymap } from '@codemirror/view';
import { EditorSelection, Prec, StateEffect, StateField } from '@codemirror/state';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { HighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';
import {
  LSPClient, LSPPlugin, findReferencesKeymap, hoverTooltips, jumpToDefinitionKeymap, renameKeymap,
  serverCompletion, serverDiagnostics,
} from '@codemirror/lsp-client';
import { pl0Language } from './pl0-language.js';
import { faultHint } from '../explorer/hints.js';
import { mountExplorer } from '../explorer/view.js';
import { byteString, bytesToText, textToBytes, toBytes } from '../recording.js';
import { showLarge, showLines } from './views.js';
import { schemeSwitch } from '../scheme.js';
import { maxSteps } from '../vocabulary.js';  // pl0 explore's cap, so both record alike

const storageKey = 'pl0-playground';
const keptKey = 'pl0-playground-kept';  // the program an example or a link replaced
const stopWait = 500;  // milliseconds Stop waits for the runner's next pulse before ending it
const $ = (id) => document.getElementById(id);
const starter = `{ Your first PL/0 program: press Run (or Ctrl+Enter), then open Explore to watch it. }
var i;
begin
  i := 1;
  while i <= 5 do
  begin
    write i * i;
    i := i + 1
  end
end.
`;

const tabs = [
  ['output', 'Output'], ['tokens', 'Token file'], ['code', 'Code'], ['symbols', 'Symbol table'],
  ['opcodes', 'Opcode file'], ['stackFile', 'Stack file'], ['explore', 'Explore'],
];

// ---- the editor, with a line lit from the result tabs ----
const lightLine = StateEffect.define();
const litLine = StateField.define({
  create: () => Decoration.none,
  update(lit, transaction) {
    for (const effect of transaction.effects) {
      if (effect.is(lightLine)) {
        const doc = transaction.state.doc;
        lit = effect.value > 0 && effect.value <= doc.lines
          ? Decoration.set([Decoration.line({ class: 'cm-linked-line' }).range(doc.line(effect.value).from)])
          : Decoration.none;
      }
    }
    return lit.map(transaction.changes);
  },
  provide: (field) => EditorView.decorations.from(field),
});

// An error's message, shown in the editor under its line until the text changes.
class Message extends WidgetType {
  constructor(text) {
    super();
    this.text = text;
  }
  eq(other) { return other.text === this.text; }
  toDOM() {
    return Object.assign(document.createElement('div'), { className: 'cm-error-message', textContent: this.text });
  }
}
const showMessage = StateEffect.define();
const message = StateField.define({
  create: () => Decoration.none,
  update(shown, transaction) {
    if (transaction.docChanged) return Decoration.none;
    for (const effect of transaction.effects) {
      if (effect.is(showMessage)) {
        const { at, text } = effect.value;
        shown = text ? Decoration.set([Decoration.widget({ widget: new Message(text), block: true, side: 1 })
          .range(transaction.state.doc.lineAt(at).to)]) : Decoration.none;
      }
    }
    return shown;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// ---- the language server: pl0 lsp's own code in a worker (language-worker.js) ----
// The editor's error marks are the server's diagnostics, live while typing, and a run's fault
// (until the text changes): one list, so a Run never hides what the server found, nor the
// other way round.
const marks = { server: [], fault: [] };
function showMarks(view) {
  view.dispatch(setDiagnostics(view.state, [...marks.server, ...marks.fault]));
}
const diagnostics = serverDiagnostics();
diagnostics.notificationHandlers = {
  'textDocument/publishDiagnostics': (client, params) => {
    const view = client.workspace.getFile(params.uri)?.getView();
    const plugin = view && LSPPlugin.get(view);
    if (!plugin) return false;
    const at = (position) => plugin.unsyncedChanges.mapPos(plugin.fromPosition(position, plugin.syncedDoc));
    marks.server = params.diagnostics.map((d) => ({
      from: at(d.range.start), to: at(d.range.end), severity: d.severity === 2 ? 'warning' : 'error', message: d.message,
    }));
    showMarks(view);
    return true;
  },
};
const languageWorker = new Worker(new URL('./language-worker.js', import.meta.url), { type: 'module' });
const listeners = new Set();
languageWorker.onmessage = ({ data }) => { for (const listen of listeners) listen(data); };
const languageClient = new LSPClient({
  rootUri: 'file:///playground/',
  extensions: [serverCompletion(), hoverTooltips(), diagnostics,
    keymap.of([...renameKeymap, ...jumpToDefinitionKeymap, ...findReferencesKeymap])],
}).connect({
  send: (message) => languageWorker.postMessage(message),
  subscribe: (listen) => listeners.add(listen),
  unsubscribe: (listen) => listeners.delete(listen),
});

// The editor in the page's colours (explorer.css), light or dark as the page is, with a focus
// ring as plain as the other controls' and long lines wrapped, so that neither a message under
// a line nor a long comment runs past the editor's edge.
const pageTheme = EditorView.theme({
  '&': { color: 'var(--ink)', backgroundColor: 'var(--page)' },
  '&.cm-focused': { outline: '3px solid var(--focus)', outlineOffset: '1px' },
  '.cm-content': { caretColor: 'var(--ink)' },
  '.cm-cursor, .cm-dropCursor': { borderLeftColor: 'var(--ink)' },
  '.cm-gutters': { backgroundColor: 'var(--chip)', color: 'var(--muted)', borderRightColor: 'var(--border)' },
  '.cm-activeLine, .cm-activeLineGutter': { backgroundColor: 'var(--lit)' },
  '.cm-activeLineGutter': { color: 'var(--ink)' },
  '&.cm-focused > .cm-scroller > .cm-selectionLayer .cm-selectionBackground, .cm-selectionBackground':
    { backgroundColor: 'var(--selection)' },
  '.cm-tooltip, .cm-panels': { backgroundColor: 'var(--page)', color: 'var(--ink)', borderColor: 'var(--border)' },
});
const pageHighlight = syntaxHighlighting(HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--syntax-keyword)' },
  { tag: tags.comment, color: 'var(--syntax-comment)', fontStyle: 'italic' },
  { tag: tags.string, color: 'var(--syntax-string)' },
  { tag: tags.number, color: 'var(--syntax-number)' },
]));

// ---- what the editor opens with, known before it is made: a program set after it would be
// checked empty first, and its error mark would flash on line 1 ----
let examples = [];
let example = null;  // [name, source, input] while the editor holds it unchanged
try {
  const response = await fetch(new URL('./examples.json', import.meta.url));
  if (!response.ok) throw new Error(response.statusText);
  examples = await response.json();
  for (const [n] of examples) $('examples').append(Object.assign(document.createElement('option'), { value: n, textContent: n }));
} catch {
  $('examples').disabled = true;
  $('examples').title = 'The examples could not be loaded.';
}

const start = await opened();
const first = start.link ?? start.start;
$('input').value = first.input;

let cursorLine = 0;
const editor = new EditorView({
  doc: first.source,
  parent: $('editor'),
  extensions: [
    Prec.highest(keymap.of([{ key: 'Mod-Enter', run: () => { run(); return true; } }])),
    basicSetup, pl0Language, pageTheme, pageHighlight, EditorView.lineWrapping, lintGutter(), litLine, message,
    EditorView.contentAttributes.of({ 'aria-label': 'PL/0 source' }),
    languageClient.plugin('file:///playground/program.pl0', 'pl0'),
    EditorView.updateListener.of((update) => {
      if (update.docChanged) {
        remember();
        edited();
        markStale();
        showRestore();
        // The server's marks move with the text until it sends new ones; a fault was the old text's.
        marks.server = marks.server.map((d) => ({ ...d, from: update.changes.mapPos(d.from), to: update.changes.mapPos(d.to) }));
        if (marks.fault.length > 0) {
          marks.fault = [];
          queueMicrotask(() => showMarks(editor));
        }
      }
      const line = update.state.doc.lineAt(update.state.selection.main.head).number;
      if (line !== cursorLine) {
        cursorLine = line;
        linkRows(line);
      }
    }),
  ],
});

function goToLine(line, from) {
  const doc = editor.state.doc;
  if (line < 1 || line > doc.lines) return;
  const at = from ?? doc.line(line).from;
  editor.dispatch({ selection: EditorSelection.cursor(at), effects: EditorView.scrollIntoView(at, { y: 'center' }) });
  editor.focus();
}

$('status').before(schemeSwitch());

// ---- tabs: arrow keys move between them ----
const panels = {};
for (const [key, title] of tabs) {
  const tab = document.createElement('button');
  Object.assign(tab, { type: 'button', id: `tab-${key}`, textContent: title, tabIndex: -1 });
  tab.setAttribute('role', 'tab');
  tab.setAttribute('aria-controls', `panel-${key}`);
  tab.addEventListener('click', (event) => {
    select(key);
    // Clicked, Explore takes the keys at once (→ steps); arrowed to, the tab keeps them.
    if (key === 'explore' && event.detail > 0) panels.explore.focus({ focusVisible: false });
  });
  $('tabs').append(tab);
  const panel = document.createElement('div');
  panel.id = `panel-${key}`;
  panel.setAttribute('role', 'tabpanel');
  panel.setAttribute('aria-labelledby', tab.id);
  if (key === 'explore') panel.tabIndex = 0;
  $('panels').append(panel);
  panels[key] = panel;
}
$('tabs').addEventListener('keydown', (event) => {
  const keys = tabs.map(([k]) => k);
  const at = keys.indexOf(selected);
  const to = { ArrowRight: at + 1, ArrowLeft: at - 1, Home: 0, End: keys.length - 1 }[event.key];
  if (to === undefined) return;
  event.preventDefault();
  select(keys[(to + keys.length) % keys.length]);
  $(`tab-${selected}`).focus();
});

let selected = 'output';
function select(key) {
  selected = key;
  for (const [k] of tabs) {
    const tab = $(`tab-${k}`);
    tab.setAttribute('aria-selected', String(k === key));
    tab.tabIndex = k === key ? 0 : -1;
    panels[k].hidden = k !== key;
  }
  document.querySelector('.layout').classList.toggle('exploring', key === 'explore');
  if (key === 'explore') showExplore();
  if (key === 'stackFile') showStackFile();
}
select('output');

// ---- one run and what is known of it ----
let current = null;  // { id, source, input, asked, compiled, ran, stopped, output, recording, stack }
let nextId = 1;

function note(panel, text, className = 'note') {
  panel.replaceChildren(Object.assign(document.createElement('p'), { className, textContent: text }));
}

function clearResults() {
  for (const [key] of tabs) note(panels[key], key === 'output' ? 'Running…' : 'Nothing yet: the program is being compiled.');
  marks.fault = [];
  showMarks(editor);
  editor.dispatch({ effects: showMessage.of({ at: 0, text: '' }) });
  window.pl0Explorer = undefined;
}

function compiledView(result) {
  const { compiled } = result;
  const lineOf = (address) => compiled.instructions[address]?.[3] ?? 0;
  showLines(panels.tokens, 'tokens', result.tokens, (k) => k + 1, compiled.symbolNames);
  // The code file: a heading, then one line an instruction.
  showLines(panels.code, 'code', result.code, (k) => (k > 0 ? lineOf(k - 1) : 0));
  showLines(panels.symbols, 'symbols', result.symbols, () => 0);
  // The opcode file: each instruction's heading "N:" and its operations.
  let group = -1;
  showLines(panels.opcodes, 'opcodes', result.opcodes, (k, text) => {
    if (text !== '' && text[0] !== '\t') group = Number.parseInt(text, 10);
    return lineOf(group);
  });
  for (const panel of [panels.tokens, panels.code, panels.opcodes]) {
    panel.addEventListener('mouseover', (event) => {
      const line = Number(event.target.closest('[data-line]')?.dataset.line ?? 0);
      editor.dispatch({ effects: lightLine.of(line) });
      linkRows(line);
    });
    panel.addEventListener('mouseleave', () => {
      editor.dispatch({ effects: lightLine.of(0) });
      linkRows(cursorLine);
    });
    panel.addEventListener('click', (event) => {
      const line = Number(event.target.closest('[data-line]')?.dataset.line ?? 0);
      if (line > 0) goToLine(line);
    });
  }
  linkRows(cursorLine);
}

// The rows of every file that come from source line `line`.
function linkRows(line) {
  for (const row of document.querySelectorAll('#panels .linked')) row.classList.remove('linked');
  if (line > 0) for (const row of document.querySelectorAll(`#panels [data-line="${line}"]`)) row.classList.add('linked');
}

// The offset in the editor's text of byte `offset` of the UTF-8 source.
function textOffset(source, offset) {
  return bytesToText(source.slice(0, offset)).length;
}

function showCompileError(compiled) {
  const error = compiled.error;
  const message = bytesToText(error.message).trimEnd();
  const doc = editor.state.doc;
  const from = Math.min(textOffset(compiled.source, error.from), doc.length);
  const line = doc.lineAt(from).number;
  const atEnd = error.from === error.to;
  const words = message.replace(/^(Line \d+: |Error \d+ on line \d+: )/, '');
  if (error.unclosed) {
    const opening = bytesToText(compiled.source.slice(error.from, error.to));
    status(`Compile error on line ${line}: the ${error.unclosed} opened here with ${opening} is never closed, so the source ends inside it.`, 'error');
  } else {
    status(atEnd ? 'Compile error: the source ends before its final period.' : `Compile error on line ${line}: ${words}`, 'error');
  }
  const button = Object.assign(document.createElement('button'), {
    type: 'button', id: 'error-message', className: 'message-link', textContent: message,
    title: `go to line ${line} in the editor`,
  });
  button.addEventListener('click', () => goToLine(line, from));
  panels.output.replaceChildren(heading('Compile error'), button);
  editor.dispatch({ effects: [showMessage.of({ at: from, text: message }), EditorView.scrollIntoView(from, { y: 'center' })] });
}

function heading(text) {
  return Object.assign(document.createElement('h2'), { textContent: text });
}

// The output panel: the output (labelled partial when the run was stopped), the messages and
// the run file, with a wrap switch.
function showOutput() {
  const { ran, stopped } = current;
  const output = ran ? ran.output : current.output ?? '';
  const wrap = Object.assign(document.createElement('label'), { className: 'wrap-switch' });
  const box = Object.assign(document.createElement('input'), { type: 'checkbox', id: 'wrap', checked: wrapOutput });
  box.addEventListener('change', () => {
    wrapOutput = box.checked;
    panels.output.classList.toggle('wrapped', wrapOutput);
  });
  wrap.append(box, ' Wrap long lines');
  panels.output.classList.toggle('wrapped', wrapOutput);
  panels.output.replaceChildren(wrap, heading(stopped ? 'Output (partial: the run was stopped)' : 'Output'));
  panels.output.append(Object.assign(document.createElement('pre'), { id: 'program-output', textContent: bytesToText(output) }));
  if (!ran) return;
  const cut = ran.cut.includes('/work/stdout') || ran.cut.includes('/work/program.run');
  if (cut) {
    panels.output.append(Object.assign(document.createElement('p'), { className: 'cut', id: 'program-output-cut',
      textContent: 'Output cut at 1 MB: the playground keeps the first megabyte of output, and ended the run there.' }));
  }
  // A message about the cap would name a file of the page's own: the words above say it.
  const messages = bytesToText(ran.stderr).split('\n')
    .filter((m) => m !== '' && !(cut && m.includes('No space left on device'))).join('\n');
  if (messages) {
    panels.output.append(heading('Messages'), Object.assign(document.createElement('pre'), { id: 'program-messages', textContent: messages }));
  }
  if (current.fault) {
    const explore = Object.assign(document.createElement('button'), { type: 'button', id: 'explore-fault', textContent: 'Explore the fault' });
    explore.addEventListener('click', () => {
      select('explore');
      panels.explore.focus();  // the keys step through the fault's run at once
    });
    panels.output.append(explore);
  }
  panels.output.append(heading('Run file'));
  showLarge(panels.output, 'run-file', ran.runFile);
}
let wrapOutput = false;

// A fault's message without the Interpreter's name and its address, and the source line of the
// instruction it names.
function faultOf(ran, compiled) {
  const match = /^Interpreter: (.*?)(?: at PC (-?\d+))?$/m.exec(bytesToText(ran.stderr));
  if (!match || !/out of range|no instruction/.test(match[1])) return null;
  const pc = match[2] === undefined ? -1 : Number(match[2]);
  const line = compiled.instructions[pc]?.[3] ?? 0;
  return { message: match[1], line, hint: faultHint(match[1], compiled.opcodeNames[compiled.instructions[pc]?.[0]]) };
}

function finishRun() {
  const { ran, compiled } = current;
  current.fault = faultOf(ran, compiled);
  showOutput();
  const cut = ran.cut.includes('/work/stdout') || ran.cut.includes('/work/program.run');
  if (current.fault) {
    const { line, message, hint } = current.fault;
    const words = hint ? ` ${hint}` : '';
    status(line > 0 ? `Run-time fault on line ${line}: ${message}.${words}` : `Run-time fault: ${message}.${words}`, 'error');
    if (line > 0) {
      const doc = editor.state.doc.line(Math.min(line, editor.state.doc.lines));
      marks.fault = [{ from: doc.from, to: doc.to, severity: 'error', message: `Run-time fault: ${message}` }];
      showMarks(editor);
      editor.dispatch({ effects: [showMessage.of({ at: doc.from, text: `Run-time fault: ${message}.${words}` }),
        EditorView.scrollIntoView(doc.from, { y: 'center' })] });
    }
  } else if (cut) {
    status('Output cut at 1 MB.', 'error');
  } else {
    status(ran.status === 0 ? 'Finished.' : `Ended with status ${ran.status}.`);
  }
  done();
}

function status(text, kind = '') {
  $('status').textContent = text;
  $('status').className = `status ${kind}`;
}

// ---- the workers ----
const workers = {};
function startWorker(role) {
  workers[role]?.terminate();
  const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = ({ data: { id, phase, result } }) => {
    if (!current || id !== current.id) return;  // a run since replaced
    handlers[phase](result);
  };
  workers[role] = worker;
}

const handlers = {
  compiled(result) {
    current.compiled = result.compiled;
    compiledView(result);
    if (result.status !== 0) {
      showCompileError(result.compiled);
      note(panels.stackFile, 'The program did not compile: there is no stack file.');
      if (selected === 'explore') showExplore();
      done();
      return;
    }
    status('Running…');
    if (selected === 'explore') showExplore();
  },
  output(text) {
    current.output = text;
    if (current.stopping) endStopped();
    else showOutput();
  },
  pulse() {
    if (current.stopping) endStopped();
  },
  ran(result) {
    current.ran = result;
    finishRun();
    bringOutputIntoView();
  },
  recording(json) {
    current.recording = JSON.parse(json);
    if (selected === 'explore') showExplore();
  },
  trace(result) {
    current.stack = result;
    if (selected === 'stackFile') showStackFile();
  },
};
startWorker('runner');
startWorker('helper');

function request(task) {
  const { id, source, input } = current;
  workers.helper.postMessage({ task, id, source, input, maxSteps });
}

// What the helper makes for the current run on request: `current[key]` once it has come;
// before, null, after asking for it once and saying so in `panel`.
function made(key, task, panel, waiting) {
  if (current[key]) return current[key];
  if (!current.asked.has(task)) {
    current.asked.add(task);
    request(task);
  }
  note(panel, waiting);
  return null;
}

// Whether `panel` is to be drawn for the current run: once, and only after a run.
function due(panel, nothing) {
  if (!current) {
    note(panel, nothing);
    return false;
  }
  return panel.dataset.run !== String(current.id);
}

function showExplore() {
  if (!due(panels.explore, 'Run a program to explore it.')) return;
  const recording = current.compiled?.error ? current.compiled
    : made('recording', 'record', panels.explore, 'Recording the run…');
  if (!recording) return;
  panels.explore.dataset.run = String(current.id);
  const finished = current.ran?.status === 0 && !current.fault;
  window.pl0Explorer = mountExplorer(panels.explore, recording, { ranToTheEnd: finished, commandLine: false });
  if (current.fault && recording.run?.end === 'fault') window.pl0Explorer.go(window.pl0Explorer.stepCount());
}

function showStackFile() {
  if (!due(panels.stackFile, 'Run a program to see its stack file.') || current.compiled?.error) return;
  const stack = made('stack', 'trace', panels.stackFile, 'Tracing the run…');
  if (!stack) return;
  panels.stackFile.dataset.run = String(current.id);
  panels.stackFile.replaceChildren();
  showLarge(panels.stackFile, 'text-stackFile', stack.stackFile);
  if (stack.cut) {
    panels.stackFile.append(Object.assign(document.createElement('p'), { className: 'cut',
      textContent: 'Cut here: the playground keeps the first 16 MB of the stack file, and the traced run ended there.' }));
  }
}

// On a narrow screen the results stand below the editor: bring the output up to the eye.
function bringOutputIntoView() {
  if (window.matchMedia('(max-width: 60rem)').matches && selected === 'output') {
    panels.output.scrollIntoView({ block: 'start' });
  }
}

// Run and Stop stay focusable while they cannot be used (aria-disabled, not disabled), so that
// a run started or stopped from the keyboard leaves the focus where it was.
function busy(running) {
  $('run').setAttribute('aria-disabled', String(running));
  $('stop').setAttribute('aria-disabled', String(!running));
}

let pending = null;
function done() {
  busy(false);
  clearTimeout(current.stopping);
  current.stopping = null;
  const finished = pending;
  pending = null;
  const { compiled, ran } = current;
  const result = compiled?.error
    ? { status: 1, stderr: compiled.error.message, ...compiled.files }
    : ran ? { ...compiled.files, status: ran.status, stderr: ran.stderr, output: ran.output, runFile: ran.runFile } : null;
  finished?.resolve(result);
}

function run() {
  if (pending) endStopped();
  languageClient.sync();  // the server's marks of this very text come with the run's results
  const source = textToBytes(editor.state.doc.toString());
  const input = textToBytes($('input').value);
  // A helper still busy with an old run's recording would hold up this one's.
  if (current && [...current.asked].some((task) => !current[task === 'record' ? 'recording' : 'stack'])) startWorker('helper');
  current = { id: nextId++, source, input, asked: new Set() };
  panels.explore.dataset.run = '';
  panels.stackFile.dataset.run = '';
  current.text = editor.state.doc.toString();
  current.inputText = $('input').value;
  clearResults();
  markStale();
  busy(true);
  status('Compiling…');
  let resolve;
  const promise = new Promise((done) => { resolve = done; });
  pending = { resolve, promise };
  workers.runner.postMessage({ task: 'run', id: current.id, source, input });
  if (selected === 'explore') showExplore();
  if (selected === 'stackFile') showStackFile();
  return promise;
}

// A program that loops never returns: the runner is ended and a new one started. Stop waits for
// the runner's next pulse, a few hundredths of a second away, which brings everything the
// program has written; a runner that sends none (still compiling) is ended all the same. What
// it had written stays, labelled as partial. Resolves once the run has ended.
function stop() {
  if (!pending) return Promise.resolve();
  const ended = pending.promise;
  if (!current.stopping) {
    current.stopping = setTimeout(endStopped, stopWait);
    status('Stopping…');
  }
  return ended.then(() => {});
}
function endStopped() {
  startWorker('runner');
  current.stopped = true;
  showOutput();
  status('Stopped.');
  done();
}

$('run').addEventListener('click', () => { if (!pending) run(); });
$('stop').addEventListener('click', stop);
document.addEventListener('keydown', (event) => {
  if (event.defaultPrevented) return;  // the editor's own Ctrl+Enter, a closed tooltip
  if (event.key === 'Escape' && pending) {
    stop();
  } else if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    run();
  }
});

// Results of a text that has changed since: every tab says so, Explore above all, since below
// 1,500 px the editor is out of sight while it is open.
function markStale() {
  const stale = Boolean(current) && (current.text !== editor.state.doc.toString() || current.inputText !== $('input').value);
  $('stale').hidden = !stale;
}
$('stale-run').addEventListener('click', () => run());

// ---- sharing and remembering ----
function setSource(text) {
  editor.dispatch({ changes: { from: 0, to: editor.state.doc.length, insert: text } });
}
function setInput(text) {
  $('input').value = text;
  remember();
  markStale();
  showRestore();
}
function remember() {
  try {
    localStorage.setItem(storageKey, JSON.stringify({ source: editor.state.doc.toString(), input: $('input').value }));
  } catch { /* storage may be off: nothing to keep */ }
}
$('input').addEventListener('input', () => {
  remember();
  edited();
  markStale();
});

// ---- the program one step back ----
// An example or a shared link never asks and never destroys: the program it replaces, when
// it is the student's own (not empty, not the first program, not an example as it came), is
// kept in the browser's storage, and "Back to my program" puts it back (keeping the other in
// its place, so that nothing is lost either way).
function ownWork(source, input) {
  return source.trim() !== '' && source !== starter
    && !examples.some(([, s, i]) => s === source && i === input);
}
function readKept() {
  try {
    const kept = JSON.parse(localStorage.getItem(keptKey) ?? 'null');
    return typeof kept?.source === 'string' && typeof kept?.input === 'string' ? kept : null;
  } catch {
    return null;
  }
}
function writeKept(kept) {
  try {
    if (kept) localStorage.setItem(keptKey, JSON.stringify(kept));
    else localStorage.removeItem(keptKey);
  } catch { /* storage may be off */ }
  showRestore();
}
function showRestore() {
  const kept = readKept();
  $('restore').hidden = !kept || (kept.source === editor.state.doc.toString() && kept.input === $('input').value);
}
// Replaces the program in the editor, keeping it one step back when it is the student's own.
function replaceProgram(source, input) {
  const old = { source: editor.state.doc.toString(), input: $('input').value };
  if (old.source === source && old.input === input) return;
  if (ownWork(old.source, old.input)) writeKept(old);
  setSource(source);
  setInput(input);
  showRestore();
}
$('restore').addEventListener('click', () => {
  const kept = readKept();
  if (!kept) return;
  const now = { source: editor.state.doc.toString(), input: $('input').value };
  setSource(kept.source);
  setInput(kept.input);
  writeKept(ownWork(now.source, now.input) ? now : null);
  editor.focus();
  status('Your program is back in the editor.');
});

async function pack(object) {
  const stream = new Blob([JSON.stringify(object)]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
  return btoa(byteString(bytes)).replaceAll('+', '-').replaceAll('/', '_').replace(/=+$/, '');
}
async function unpack(text) {
  const bytes = toBytes(atob(text.replaceAll('-', '+').replaceAll('_', '/')));
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
  const object = JSON.parse(await new Response(stream).text());
  if (typeof object.source !== 'string' || typeof object.input !== 'string') throw new Error('not a program');
  return object;
}

$('share').addEventListener('click', async () => {
  const link = `${location.origin}${location.pathname}#p=${await pack({ source: editor.state.doc.toString(), input: $('input').value })}`;
  history.replaceState(null, '', link);
  try {
    await navigator.clipboard.writeText(link);
    status('The link to this program and its input is in the address bar and the clipboard.');
  } catch {
    status('The link to this program and its input is in the address bar.');
  }
});

// What the editor opens with: the program saved in this browser (or the first program), then a
// shared link's over it. The address is then made plain again, so that a reload shows the
// student's own copy rather than the link's program over it once more; a link that cannot be
// read changes nothing and stays, to be looked at.
function saved() {
  try {
    const kept = JSON.parse(localStorage.getItem(storageKey) ?? 'null');
    if (typeof kept?.source === 'string') return { source: kept.source, input: String(kept.input ?? ''), words: 'Ready.' };
  } catch { /* nothing kept */ }
  return { source: starter, input: '', words: 'Ready: a first program is in the editor. Press Run (Ctrl+Enter), or choose an example.' };
}
async function opened() {
  const start = saved();
  if (!location.hash.startsWith('#p=')) return { start };
  try {
    const link = await unpack(location.hash.slice(3));
    history.replaceState(null, '', location.pathname + location.search);
    return { start, link };
  } catch {
    return { start: { ...start, words: 'The link could not be read (it may be cut short): nothing was changed.' } };
  }
}
// The editor opened with the link's program: the one saved before it is kept one step back.
function restore({ start, link }) {
  if (!link) return start.words;
  if ((start.source === link.source && start.input === link.input) || !ownWork(start.source, start.input)) {
    return 'Opened the shared program.';
  }
  writeKept({ source: start.source, input: start.input });
  return 'Opened the shared program. Yours is kept: “Back to my program” brings it back.';
}

// ---- examples, and the name of what is in the editor ----
function edited() {
  if (!example || (editor.state.doc.toString() === example[1] && $('input').value === example[2])) return;
  example = null;
  $('examples').value = '';
  name();
}
function name() {
  document.title = example ? `${example[0]}.pl0 — PL/0 playground` : 'PL/0 playground';
}

// Arrowing through the closed list opens each example in turn, asking nothing: the student's
// own program is kept one step back the first time.
$('examples').addEventListener('change', () => {
  const chosen = examples.find(([n]) => n === $('examples').value);
  if (!chosen) return;
  replaceProgram(chosen[1], chosen[2]);
  example = chosen;
  $('examples').value = chosen[0];
  name();
});

status(restore(start));
remember();
showRestore();
example = examples.find(([, s, i]) => s === editor.state.doc.toString() && i === $('input').value) ?? null;
if (example) $('examples').value = example[0];
name();
note(panels.output, 'Press Run (Ctrl+Enter) to compile and run the program.');
for (const [key] of tabs.slice(1)) note(panels[key], 'Run a program to see this.');
window.pl0Playground = { setSource, setInput, run, stop };
if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
