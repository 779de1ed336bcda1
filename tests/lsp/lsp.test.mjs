// pl0 lsp driven over standard input and output by a real client (vscode-jsonrpc): one
// conversation checks what each request answers, against the Compiler's own files.
//   PL0_BIN=build/bin node --test tests/lsp/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const require = createRequire(import.meta.url);
const rpc = require('vscode-jsonrpc/node');
const bin = resolve(process.env.PL0_BIN ?? join(import.meta.dirname, '../../build/bin'));
const uri = 'file:///work/nested.pl0';

// The inner x hides the outer one; a comment with characters beyond ASCII (one of them two
// UTF-16 units) stands before a name, so that columns are counted in UTF-16.
const fixed = [
  'const c = 5;',
  'var x, a[3];',
  'procedure p;',
  '  var x;',
  '  begin (* ünï 𝄞 *) x := c; a[1] := x end;',
  'begin call p; x := a[1] end.',
  '',
].join('\n');
const broken = fixed.replace('x := a[1] end', 'x := a[1] + y end');
const lines = fixed.split('\n');
const at = (line, text, skip = 0) => ({ line, character: lines[line].indexOf(text) + skip });

test('a conversation with pl0 lsp', async (t) => {
  // PL0_LSP_SERVER: the same conversation with the WebAssembly server of the packaged extension.
  const server = process.env.PL0_LSP_SERVER
    ? spawn(process.execPath, [process.env.PL0_LSP_SERVER]) : spawn(join(bin, 'pl0'), ['lsp']);
  t.after(() => server.kill());  // a failed check leaves no server behind
  const exited = new Promise((done) => server.on('exit', (status) => done(status)));
  const connection = rpc.createMessageConnection(new rpc.StreamMessageReader(server.stdout),
    new rpc.StreamMessageWriter(server.stdin));
  const published = [];
  connection.onNotification('textDocument/publishDiagnostics', (p) => published.push(p));
  connection.listen();
  const ask = (method, params) => connection.sendRequest(method, params);
  const document = { textDocument: { uri } };
  const settled = async (count) => {
    while (published.length < count) await new Promise((done) => setTimeout(done, 10));
    return published[count - 1].diagnostics;
  };

  const { capabilities } = await ask('initialize', { processId: null, rootUri: null, capabilities: {} });
  assert.equal(capabilities.hoverProvider, true);
  connection.sendNotification('textDocument/didOpen',
    { textDocument: { uri, languageId: 'pl0', version: 1, text: broken } });
  const [error] = await settled(1);
  assert.equal(error.message, 'Error 11 on line 6: After \'plus\' found \'identifier\' "y", undeclared identifier.');
  assert.equal(error.code, 11);
  const y = broken.split('\n')[5].indexOf('y end');
  assert.deepEqual(error.range, { start: { line: 5, character: y }, end: { line: 5, character: y + 1 } });
  connection.sendNotification('textDocument/didChange',
    { textDocument: { uri, version: 2 }, contentChanges: [{ text: fixed }] });
  assert.deepEqual(await settled(2), []);

  // Hover on the inner x: its row of the symbol table file, then what it is.
  const innerUse = at(4, 'x :=');
  const hover = (await ask('textDocument/hover', { ...document, position: innerUse })).contents.value;
  assert.match(hover, /\n {4}5 x {19}1 {5}1 {7}3 {5}1\n/);
  assert.match(hover, /variable `x`, level 1, offset 3/);
  // Hover on a statement: the code of its line, each instruction with its register operations.
  const code = (await ask('textDocument/hover', { ...document, position: at(5, ':=') })).contents.value;
  assert.match(code, /\n +\d+ +2 +0 +3 ; {2}STO\n\tmov_Ax,BP\n/);

  // Definition, references and rename follow the Compiler's scopes.
  const definition = await ask('textDocument/definition', { ...document, position: innerUse });
  assert.deepEqual(definition.range.start, at(3, 'x'));
  const outer = await ask('textDocument/references',
    { ...document, position: at(1, 'x'), context: { includeDeclaration: true } });
  assert.deepEqual(outer.map((l) => l.range.start), [at(1, 'x'), at(5, 'x :=')]);
  const renamed = await ask('textDocument/rename', { ...document, position: innerUse, newName: 'y' });
  assert.deepEqual(renamed.changes[uri].map((e) => e.range.start),
    [at(3, 'x'), innerUse, at(4, 'x end')]);

  const symbols = await ask('textDocument/documentSymbol', document);
  assert.deepEqual(symbols.map((s) => s.name), ['c', 'x', 'a', 'p']);
  assert.deepEqual(symbols[3].children.map((s) => [s.name, s.kind]), [['x', 13]]);

  // Semantic tokens: the five numbers of each token decoded into kinds at places.
  const legend = capabilities.semanticTokensProvider.legend;
  const { data } = await ask('textDocument/semanticTokens/full', document);
  const kinds = new Map();
  for (let k = 0, line = 0, character = 0; k < data.length; k += 5) {
    line += data[k];
    character = data[k] === 0 ? character + data[k + 1] : data[k + 1];
    const modifiers = legend.tokenModifiers.filter((_, bit) => data[k + 4] & (1 << bit));
    kinds.set(`${line}:${character}`, [legend.tokenTypes[data[k + 3]], ...modifiers].join(' '));
  }
  assert.equal(kinds.get('0:0'), 'keyword');
  assert.equal(kinds.get('0:6'), 'variable readonly declaration');
  assert.equal(kinds.get('0:10'), 'number');
  assert.equal(kinds.get(`1:${lines[1].indexOf('a[')}`), 'variable declaration array');
  assert.equal(kinds.get(`2:${lines[2].indexOf('p;')}`), 'function declaration');
  assert.equal(kinds.get(`4:${lines[4].indexOf('(*')}`), 'comment');
  assert.equal(kinds.get(`${innerUse.line}:${innerUse.character}`), 'variable');

  const completion = await ask('textDocument/completion', { ...document, position: innerUse });
  const labels = completion.map((c) => c.label);
  assert.ok(labels.includes('begin') && labels.includes('p') && labels.includes('c'));
  assert.equal(labels.filter((l) => l === 'x').length, 1);
  const folds = await ask('textDocument/foldingRange', document);
  assert.ok(Array.isArray(folds));

  // Anything else gets the protocol's answer, and the server goes on.
  await assert.rejects(ask('pl0/nothing', {}), (e) => e.code === -32601);
  await assert.rejects(ask('textDocument/hover', { textDocument: { uri: 'file:///none' }, position: { line: 0, character: 0 } }),
    (e) => e.code === -32602);
  await assert.rejects(ask('textDocument/hover', { ...document, position: { line: 1e300, character: 0.5 } }),
    (e) => e.code === -32602);
  const far = await ask('textDocument/hover', { ...document, position: { line: 99, character: 99 } });
  assert.ok(far === null || far.contents);

  await ask('shutdown');
  connection.sendNotification('exit');
  assert.equal(await exited, 0);
  connection.dispose();
});
