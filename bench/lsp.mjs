// pl0 lsp on large documents: the time from a change sent to its diagnostics received (the
// whole document tokenised, compiled and parsed again in-process), and of the semantic tokens
// asked after it, median of 30 changes. Three documents: 1,000 lines of procedures; 5,000 such
// lines (past the code buffer, so the Compiler stops early and the server's own parse goes on
// alone); and one line of 50 KB, once of statements and once of 5,000 nested `begin`s.
//   node bench/lsp.mjs [BIN_DIR]      (default build-release/bin, else build/bin)
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const require = createRequire(import.meta.url);
const rpc = require('vscode-jsonrpc/node');
const root = resolve(import.meta.dirname, '..');
const bin = resolve(process.argv[2] ?? (existsSync(join(root, 'build-release/bin/pl0')) ? join(root, 'build-release/bin') : join(root, 'build/bin')));

// Procedures of ten statements each, all of them called.
function procedures(count) {
  const lines = ['var total, i;'];
  let made = 0;
  while (lines.length < count - 10) {
    made++;
    lines.push(`procedure p${made};`, '  var x, y;', 'begin');
    for (let k = 0; k < 8; k++) lines.push(`  x := ${k}; y := x * ${k} + total; total := total + y mod 7;`);
    lines.push('  i := i + 1', 'end;');
  }
  lines.push('begin');
  for (let p = 1; p <= made; p++) lines.push(`  call p${p};`);
  lines.push('  write total', 'end.');
  return lines.join('\n');
}
const documents = [
  ['1,000 lines', procedures(1000)],
  ['5,000 lines', procedures(5000)],
  ['one 50 KB line of statements', `var total; begin ${'total := total + 1; '.repeat(2500)}write total end.`],
  ['one line of 5,000 nested begins', `var x; ${'begin '.repeat(5000)}x := 1${' end'.repeat(5000)}.`],
];

const server = spawn(join(bin, 'pl0'), ['lsp']);
const connection = rpc.createMessageConnection(new rpc.StreamMessageReader(server.stdout),
  new rpc.StreamMessageWriter(server.stdin));
let arrived = null;
connection.onNotification('textDocument/publishDiagnostics', () => arrived?.());
connection.listen();
await connection.sendRequest('initialize', { processId: null, rootUri: null, capabilities: {} });
const median = (times) => times.sort((a, b) => a - b)[Math.floor(times.length / 2)];
const checked = () => new Promise((done) => { arrived = done; });
for (const [index, [name, text]] of documents.entries()) {
  const uri = `file:///bench${index}.pl0`;
  let wait = checked();
  connection.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'pl0', version: 1, text } });
  await wait;
  const diagnostics = [], tokens = [];
  for (let version = 2; version < 32; version++) {
    wait = checked();
    let start = performance.now();
    connection.sendNotification('textDocument/didChange',
      { textDocument: { uri, version }, contentChanges: [{ text: text.replace('x := 1', `x := ${version}`).replace('total + 1', `total + ${version}`) }] });
    await wait;
    diagnostics.push(performance.now() - start);
    start = performance.now();
    await connection.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri } });
    tokens.push(performance.now() - start);
  }
  console.log(`${name} (${text.length} bytes): change to diagnostics ${median(diagnostics).toFixed(1)} ms, semantic tokens ${median(tokens).toFixed(1)} ms (medians of 30)`);
}
await connection.sendRequest('shutdown');
connection.sendNotification('exit');
connection.dispose();
