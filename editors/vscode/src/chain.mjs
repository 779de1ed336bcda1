// Run and Explore without pl0: the tool chain compiled to WebAssembly (the playground's module,
// web/wasm/playground.cpp) run on the editor's text, the Interpreter's input given whole before
// the run as the playground gives it. The desktop extension runs this in a child process
// (chain-process.mjs), the web extension in its own worker; both answer the same task.
import { compile, interpret, record } from '../../../web/playground/chain.js';
import { bytesToText, textToBytes } from '../../../web/recording.js';
import explorerHtml from '../../../web/explorer.html';
import explorerCss from '../../../web/explorer.css';
import explorerScript from '../../../web/explorer.bundle.js';

export const maxSteps = 1000000;  // as `pl0 explore`'s default

// Whether the compiled program reads its input (a READ or GETC in its code file), so that the
// extension asks for an input only then.
export function reads(module, source) {
  const { status, code } = compile(module, textToBytes(source), '');
  return status === 0 && /;\s+(READ|GETC)\s*$/m.test(code);
}

// `run`: the output and the messages as the Interpreter writes them on the console (the
// Tokeniser's or Compiler's message instead, when it fails), and the status.
// `explore`: the explorer's page of the run, as `pl0 explore` writes it.
export function perform(module, { task, source, input = '', name = 'program' }) {
  const compiled = compile(module, textToBytes(source), textToBytes(input));
  if (task === 'explore') {
    return { status: compiled.status, page: explorerPage(bytesToText(record(module, maxSteps)), name) };
  }
  if (compiled.status !== 0) return { status: compiled.status, output: '', stderr: bytesToText(compiled.stderr) };
  const ran = interpret(module);
  return { status: ran.status, output: bytesToText(ran.output), stderr: bytesToText(ran.stderr) };
}

const escaped = (text) => text.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);

// web/explorer.html with its style, its script and the recording inlined: what driver/page.cpp
// makes of the same files. The recording's JSON comes from the same C++ and is safe inside a
// script element; a replacement is a function so that `$` in it is taken literally.
export function explorerPage(recordingJson, name) {
  const swap = (page, what, by) => {
    if (!page.includes(what)) throw new Error(`the page template lacks ${what}`);
    return page.replace(what, () => by);
  };
  let page = swap(explorerHtml, '<title>PL/0 explorer</title>', `<title>${escaped(name)} — PL/0 explorer</title>`);
  page = swap(page, '<main id="explorer"', `<main id="explorer" data-name="${escaped(name)}"`);
  page = swap(page, '<link rel="stylesheet" href="explorer.css">', `<style>\n${explorerCss}</style>`);
  page = swap(page, '<script type="application/json" id="recording">null</script>',
    `<script type="application/json" id="recording">${recordingJson}</script>`);
  return swap(page, '<script src="explorer.bundle.js"></script>', `<script>\n${explorerScript}</script>`);
}
