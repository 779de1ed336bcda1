// The playground: an editor, the input, Run and Stop, the files of every program in tabs, and
// the explorer's view of the same run. The tool chain runs in a worker (worker.js); the page
// keeps the source and input in the address (Share) and in the browser's storage.
import { EditorView, basicSetup } from 'codemirror';
import { setDiagnostics } from '@codemirror/lint';
import { pl0Language } from './pl0-language.js';
import { mountExplorer } from '../explorer.js';
import { bytesToText } from '../recording.js';

const maxSteps = 1000000;
const storageKey = 'pl0-playground';
const $ = (id) => document.getElementById(id);

const tabs = [
  ['output', 'Output'], ['tokens', 'Token file'], ['code', 'Code'], ['symbols', 'Symbol table'],
  ['opcodes', 'Opcode file'], ['stackFile', 'Stack file'], ['explore', 'Explore'],
];

// UTF-8 text as a byte string (one character a byte), the form the programs read.
function textToBytes(text) {
  const bytes = new TextEncoder().encode(text);
  let result = '';
  for (let i = 0; i < bytes.length; i += 8192) result += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return result;
}

const editor = new EditorView({
  parent: $('editor'),
  extensions: [basicSetup, pl0Language, EditorView.updateListener.of((u) => { if (u.docChanged) remember(); })],
});

// ---- tabs ----
const panels = {};
for (const [key, title] of tabs) {
  const tab = document.createElement('button');
  Object.assign(tab, { type: 'button', id: `tab-${key}`, textContent: title });
  tab.setAttribute('role', 'tab');
  tab.setAttribute('aria-controls', `panel-${key}`);
  tab.addEventListener('click', () => select(key));
  $('tabs').append(tab);
  const panel = document.createElement('div');
  panel.id = `panel-${key}`;
  panel.setAttribute('role', 'tabpanel');
  panel.setAttribute('aria-labelledby', tab.id);
  $('panels').append(panel);
  panels[key] = panel;
}
function select(key) {
  for (const [k] of tabs) {
    $(`tab-${k}`).setAttribute('aria-selected', String(k === key));
    panels[k].hidden = k !== key;
  }
}
select('output');

function showText(key, text, cut) {
  const pre = document.createElement('pre');
  pre.id = `text-${key}`;
  pre.textContent = bytesToText(text);
  panels[key].replaceChildren(pre);
  if (cut) panels[key].append(Object.assign(document.createElement('p'), { className: 'cut', textContent: 'Cut here: the playground keeps only the first part of this file.' }));
}

function showResult(result) {
  const cut = (path) => result.cut?.includes(path);
  showText('tokens', result.tokens);
  showText('code', result.code);
  showText('symbols', result.symbols);
  showText('opcodes', result.opcodes);
  showText('stackFile', result.stackFile, cut('/work/program.stk'));
  panels.output.replaceChildren();
  const part = (title, id, text, isCut) => {
    const heading = Object.assign(document.createElement('h2'), { textContent: title });
    const pre = Object.assign(document.createElement('pre'), { id, textContent: bytesToText(text) });
    panels.output.append(heading, pre);
    if (isCut) panels.output.append(Object.assign(document.createElement('p'), { className: 'cut', id: `${id}-cut`, textContent: 'The output was cut: the playground keeps its first megabyte.' }));
  };
  part('Output', 'program-output', result.output, cut('/work/stdout'));
  if (result.stderr) part('Messages', 'program-messages', result.stderr);
  part('Run file', 'run-file', result.runFile, cut('/work/program.run'));
}

function showDiagnostics(result) {
  const recording = result.recording ? JSON.parse(result.recording) : null;
  const error = recording?.error;
  const diagnostics = [];
  if (error) {
    const doc = editor.state.doc;
    const line = doc.line(Math.min(Math.max(error.line, 1), doc.lines));
    diagnostics.push({ from: line.from, to: line.to, severity: 'error', message: bytesToText(error.message).trimEnd() });
  }
  editor.dispatch(setDiagnostics(editor.state, diagnostics));
  if (recording) window.pl0Explorer = mountExplorer(panels.explore, recording);
}

// ---- the worker ----
let worker;
let pending = null;
function startWorker() {
  worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = ({ data: { phase, result } }) => {
    if (phase === 'compiled') {
      showResult(result);
      showDiagnostics(result);
      $('status').textContent = result.status === 0 ? 'Running…' : 'The program did not compile.';
      return;
    }
    showResult(result);
    finish(result);
  };
}
startWorker();

function finish(result) {
  $('run').disabled = false;
  $('stop').disabled = true;
  if (result) {
    $('status').textContent = result.status === 0 ? 'Finished.' : `Stopped with status ${result.status}.`;
  }
  const done = pending;
  pending = null;
  if (done) {
    const { status, stderr, tokens, code, symbols, opcodes, output, runFile, stackFile } = result ?? {};
    done.resolve(result ? { status, stderr, tokens, code, symbols, opcodes, output, runFile, stackFile } : null);
  }
}

function run() {
  if (pending) stop();
  $('run').disabled = true;
  $('stop').disabled = false;
  $('status').textContent = 'Compiling…';
  const promise = new Promise((resolve) => { pending = { resolve }; });
  worker.postMessage({ source: textToBytes(editor.state.doc.toString()), input: textToBytes($('input').value), maxSteps });
  return promise;
}

// A program that loops never returns: the worker is ended at once and a new one started.
function stop() {
  worker.terminate();
  startWorker();
  finish(null);
  $('status').textContent = 'Stopped: the run was ended.';
}

$('run').addEventListener('click', run);
$('stop').addEventListener('click', stop);

// ---- sharing and remembering ----
function setSource(text) {
  editor.dispatch({ changes: { from: 0, to: editor.state.doc.length, insert: text } });
}
function setInput(text) {
  $('input').value = text;
  remember();
}
function remember() {
  try {
    localStorage.setItem(storageKey, JSON.stringify({ source: editor.state.doc.toString(), input: $('input').value }));
  } catch { /* storage may be off: nothing to keep */ }
}
$('input').addEventListener('input', remember);

async function pack(object) {
  const stream = new Blob([JSON.stringify(object)]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
  return btoa(String.fromCharCode(...bytes)).replaceAll('+', '-').replaceAll('/', '_').replace(/=+$/, '');
}
async function unpack(text) {
  const bytes = Uint8Array.from(atob(text.replaceAll('-', '+').replaceAll('_', '/')), (c) => c.charCodeAt(0));
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
    $('status').textContent = 'The link to this program and its input is in the address bar and the clipboard.';
  } catch {
    $('status').textContent = 'The link to this program and its input is in the address bar.';
  }
});

async function restore() {
  if (location.hash.startsWith('#p=')) {
    try {
      const { source, input } = await unpack(location.hash.slice(3));
      setSource(source);
      setInput(input);
      return 'Opened the shared program.';
    } catch {
      setSource('');
      setInput('');
      return 'The link could not be read (it may be cut short): the editor starts empty.';
    }
  }
  try {
    const kept = JSON.parse(localStorage.getItem(storageKey) ?? 'null');
    if (kept) {
      setSource(kept.source);
      setInput(kept.input);
    }
  } catch { /* nothing kept */ }
  return 'Ready.';
}

// ---- examples ----
const examples = await (await fetch(new URL('./examples.json', import.meta.url))).json();
for (const [name] of examples) {
  $('examples').append(Object.assign(document.createElement('option'), { value: name, textContent: name }));
}
$('examples').addEventListener('change', () => {
  const chosen = examples.find(([name]) => name === $('examples').value);
  if (!chosen) return;
  setSource(chosen[1]);
  setInput(chosen[2]);
});

$('status').textContent = await restore();
window.pl0Playground = { setSource, setInput, run, stop };
if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
