// pl0 lsp on a 1,000-line document: the time from a change sent to its diagnostics received
// (the whole document compiled again in-process), median of 30 changes.
//   node bench/lsp.mjs [BIN_DIR]      (default build-release/bin, else build/bin)
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const require = createRequire(import.meta.url);
const rpc = require('vscode-jsonrpc/node');
const root = resolve(import.meta.dirname, '..');
const bin = resolve(process.argv[2] ?? (existsSync(join(root, 'build-release/bin/pl0')) ? join(root, 'build-release/bin') : join(root, 'build/bin')));

// 1,000 lines: procedures of ten statements each, all of them called.
const lines = ['var total, i;'];
let procedures = 0;
while (lines.length < 990) {
  procedures++;
  lines.push(`procedure p${procedures};`, '  var x, y;', 'begin');
  for (let k = 0; k < 8; k++) lines.push(`  x := ${k}; y := x * ${k} + total; total := total + y mod 7;`);
  lines.push('  i := i + 1', 'end;');
}
lines.push('begin');
for (let p = 1; p <= procedures; p++) lines.push(`  call p${p};`);
lines.push('  write total', 'end.');
const text = lines.join('\n');

const server = spawn(join(bin, 'pl0'), ['lsp']);
const connection = rpc.createMessageConnection(new rpc.StreamMessageReader(server.stdout),
  new rpc.StreamMessageWriter(server.stdin));
let arrived = null;
connection.onNotification('textDocument/publishDiagnostics', () => arrived?.());
connection.listen();
await connection.sendRequest('initialize', { processId: null, rootUri: null, capabilities: {} });
const uri = 'file:///bench.pl0';
const checked = () => new Promise((done) => { arrived = done; });
let wait = checked();
connection.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'pl0', version: 1, text } });
await wait;
const times = [];
for (let version = 2; version < 32; version++) {
  wait = checked();
  const start = performance.now();
  connection.sendNotification('textDocument/didChange',
    { textDocument: { uri, version }, contentChanges: [{ text: text.replace('total := total', `total := ${version} + total`) }] });
  await wait;
  times.push(performance.now() - start);
}
times.sort((a, b) => a - b);
console.log(`${lines.length} lines, ${text.length} bytes: change to diagnostics ${times[15].toFixed(1)} ms (median of 30; fastest ${times[0].toFixed(1)}, slowest ${times[29].toFixed(1)})`);
await connection.sendRequest('shutdown');
connection.sendNotification('exit');
connection.dispose();
