// pl0 lsp driven over standard input and output by a real client (vscode-jsonrpc): one
// conversation checks what each request answers, against the Compiler's own files.
//   PL0_BIN=build/bin node --test tests/lsp/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
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

// A server of its own for each group of checks below: open(text) answers with the diagnostics
// that text gets, and every request is about that text.
async function converse(t) {
  const server = spawn(join(bin, 'pl0'), ['lsp']);
  t.after(() => server.kill());
  const connection = rpc.createMessageConnection(new rpc.StreamMessageReader(server.stdout),
    new rpc.StreamMessageWriter(server.stdin));
  let waiting = null;
  connection.onNotification('textDocument/publishDiagnostics', (p) => waiting?.(p.diagnostics));
  connection.listen();
  t.after(() => connection.dispose());
  await connection.sendRequest('initialize', { processId: null, rootUri: null, capabilities: {} });
  let version = 0;
  const open = (text) => new Promise((done) => {
    waiting = done;
    connection.sendNotification(version === 0 ? 'textDocument/didOpen' : 'textDocument/didChange', version === 0
      ? { textDocument: { uri, languageId: 'pl0', version: ++version, text } }
      : { textDocument: { uri, version: ++version }, contentChanges: [{ text }] });
  });
  const ask = (method, params) => connection.sendRequest(method, { textDocument: { uri }, ...params });
  return { open, ask };
}

// The position of the `skip`-th occurrence of `word` on line `line` of `text`.
const where = (text, line, word, skip = 0) => {
  const row = text.split('\n')[line];
  let character = -1;
  for (let k = 0; k <= skip; k++) character = row.indexOf(word, character + 1);
  assert.ok(character >= 0, `${word} on line ${line}`);
  return { line, character };
};
const hanoi = readFileSync(join(import.meta.dirname, '../../examples/hanoi.pl0'), 'utf8');
const lineOf = (locations) => locations.map((l) => l.range.start.line + 1);

test('past the first error: names, outline and colours keep working', async (t) => {
  const { open, ask } = await converse(t);
  const typo = hanoi.replace('    write f;', '    writ f;');
  const [error] = await open(typo);
  assert.match(error.message, /^Error 11 on line 12: .*"writ", undeclared identifier\.$/);
  const later = where(typo, 20, 'moves');
  const hover = await ask('textDocument/hover', { position: later });
  assert.match(hover.contents.value, /variable `moves`, level 0, offset 7/);
  assert.equal((await ask('textDocument/definition', { position: later })).range.start.line, 2);
  const uses = await ask('textDocument/references', { position: later, context: { includeDeclaration: true } });
  assert.deepEqual(lineOf(uses), [3, 13, 13, 19, 21]);
  const renamed = await ask('textDocument/rename', { position: later, newName: 'count' });
  assert.deepEqual(lineOf(renamed.changes[uri].map((e) => ({ range: e.range }))), [3, 13, 13, 19, 21]);

  // A name declared after the Compiler's error has no row in the symbol table file yet.
  const early = 'const c = x;\nvar later;\nbegin later := 1; write later end.';
  await open(early);
  const unlisted = await ask('textDocument/hover', { position: where(early, 2, 'later', 1) });
  assert.match(unlisted.contents.value, /^variable `later`, level 0, offset 3 in its frame\n\nNot in the symbol table file: the Compiler stopped/);

  // A name in a stretch that does not parse: its uses cannot all be known, so no rename.
  const hidden = hanoi.replace('  write moves;', '  writ moves;');
  await open(hidden);
  await assert.rejects(ask('textDocument/rename', { position: where(hidden, 2, 'moves'), newName: 'count' }),
    (e) => /`moves` on line 21 stands where the program does not parse/.test(e.message));

  // The outline: a procedure ends with its own block; a comment folds over its own lines.
  await open(hanoi);
  const [procedure] = (await ask('textDocument/documentSymbol', {})).filter((s) => s.name === 'hanoi');
  assert.deepEqual([procedure.range.start.line, procedure.range.end.line], [4, 15]);
  const folds = (await ask('textDocument/foldingRange', {})).map((f) => [f.startLine, f.endLine, f.kind]);
  assert.deepEqual(folds.find((f) => f[2] === 'comment'), [0, 1, 'comment']);
  const oneLine = await open('{ one line }\nbegin end.\n');
  assert.deepEqual(oneLine, []);
  assert.deepEqual(await ask('textDocument/foldingRange', {}), []);

  // A comment's length counted in UTF-16 units past the Basic Multilingual Plane: 🙂 is two.
  await open('{ é ü 漢 🙂 }\nbegin end.\n');
  const { data } = await ask('textDocument/semanticTokens/full', {});
  assert.deepEqual(data.slice(0, 3), [0, 0, 12]);

  // The procedure's hover says what the table's Address column holds; a long hover is cut.
  await open(hanoi);
  const about = await ask('textDocument/hover', { position: where(hanoi, 4, 'hanoi') });
  assert.match(about.contents.value, /Address column shows 0 for a procedure/);
  const long = `var s[300];\nbegin\n  s := '${'x'.repeat(200)}'\nend.\n`;
  await open(long);
  const code = (await ask("textDocument/hover", { position: { line: 2, character: 5 } })).contents.value;
  assert.ok(code.split('\n').length < 70);
  assert.match(code, /\nand \d+ more lines$/);
});

test('rename refuses what would change the program', async (t) => {
  const { open, ask } = await converse(t);
  // The procedure reads the outer x: an inner y renamed x would hide it, and so would a
  // constant's name.
  const program = [
    'const ten = 10;',
    'var x;',
    'procedure p;',
    '  var y;',
    'begin y := ten; write x + y end;',
    'begin x := 12; call p end.',
  ].join('\n');
  await open(program);
  const y = where(program, 3, 'y');
  const refused = async (newName, pattern) => assert.rejects(ask('textDocument/rename', { position: y, newName }),
    (e) => e.code === -32803 && pattern.test(e.message));
  await refused('begin', /`begin` is a keyword/);
  await refused('2 bad', /`2 bad` is not a name/);
  await refused('x', /`x` on line 5 means the variable declared on line 2; after the rename it would mean the variable declared on line 4/);
  await refused('ten', /`ten` on line 5 means the constant declared on line 1; after the rename it would mean the variable declared on line 4/);
  await assert.rejects(ask('textDocument/rename', { position: where(program, 1, 'x'), newName: 'y' }),
    (e) => /the use of `x` on line 5 would then mean the variable declared on line 4 instead/.test(e.message));
  await open(program.replace('  var y;', '  var y, z;'));
  await refused('z', /`z` is already declared in the same block, on line 4/);
  const fine = await ask('textDocument/rename', { position: y, newName: 'step' });
  assert.equal(fine.changes[uri].length, 3);

  // prepareRename: a name, and nothing on a keyword, a number, a string or a comment.
  const words = "var x; begin x := 5; x := 'a' { note } end.";
  await open(words);
  const prepared = await ask('textDocument/prepareRename', { position: where(words, 0, 'x', 1) });
  assert.deepEqual([prepared.placeholder, prepared.range.start.character], ['x', words.indexOf('x :=')]);
  for (const word of ['begin', '5', "'a'", 'note']) {
    assert.equal(await ask('textDocument/prepareRename', { position: where(words, 0, word) }), null, word);
  }
});

test('errors where the student acts, their quick fixes, and the warnings', async (t) => {
  const { open, ask } = await converse(t);
  const range = (d) => [d.range.start.line, d.range.start.character, d.range.end.line, d.range.end.character];
  let [d] = await open('var x;\n{ forgot to close\nbegin x := 1 end.\n');
  assert.equal(d.message, 'Unexpected end of source file\nthe comment opened here is never closed');
  assert.deepEqual(range(d), [1, 0, 1, 1]);
  [d] = await open('begin write "abc end.');
  assert.equal(d.message, 'Unexpected end of source file\nthe string opened here is never closed');
  assert.deepEqual(range(d), [0, 12, 0, 13]);
  [d] = await open('');
  assert.match(d.message, /^Unexpected end of source file\nthe file is empty/);

  // Each quick fix applied to the text, and the text then compiles.
  const fixed = async (text, title) => {
    const [error] = await open(text);
    const actions = await ask('textDocument/codeAction', { range: error.range, context: { diagnostics: [error] } });
    const action = actions.find((a) => title.test(a.title));
    assert.ok(action, `${title} among ${actions.map((a) => a.title)}`);
    const edits = action.edit.changes[uri];
    assert.equal(edits.length, 1);
    const lines = text.split('\n');
    const offset = (p) => lines.slice(0, p.line).join('\n').length + (p.line > 0 ? 1 : 0) + p.character;
    const mended = text.slice(0, offset(edits[0].range.start)) + edits[0].newText + text.slice(offset(edits[0].range.end));
    assert.deepEqual((await open(mended)).filter((x) => x.severity === 1), [], mended);
    return { error, mended };
  };
  const missingPeriod = await fixed('var x;\nbegin x := 1; write x end\n', /final period/);
  assert.equal(missingPeriod.error.message, 'Unexpected end of source file\nthe program must end with a period');
  assert.deepEqual(range(missingPeriod.error), [1, 22, 1, 25]);
  const total = 'var total;\nbegin totl := 1; write total end.';
  assert.equal((await fixed(total, /Did you mean `total`\?/)).mended, 'var total;\nbegin total := 1; write total end.');
  await fixed('var total;\nprocedure p;\nbegin count := 1 end;\nbegin call p; write total end.', /Declare `count`/);
  const semicolon = await fixed('var x;\nbegin x := 1\n  write x end.', /missing ';'/);
  assert.match(semicolon.error.message, /^Error 10 on line 3: .*\na ';' must separate two statements$/);
  await fixed('var x, y;\nbegin x := 1\n  y := 2 end.', /missing ';'/);
  await fixed('var x;\nbegin x = 1; write x end.', /`:=` for `=`/);
  const declaration = await fixed('var x\nbegin x := 1; write x end.', /missing ';'/);
  assert.match(declaration.error.message, /^Error 5 on line 2: .*\na ';' must end the declaration$/);
  await fixed('procedure p;\nbegin write 1 end\nbegin call p end.', /missing ';'/);

  // The warnings: few, each where it is true.
  const warned = (await open([
    'var a[4], unused, never, i;',
    'begin a[10] := 7; a[4] := 1; a[-1] := 2; write never; i := 0; write a[i] end.',
  ].join('\n'))).map((w) => [w.severity, w.code, w.range.start.line, w.range.start.character]);
  assert.deepEqual(warned, [[2, 'index-outside', 1, 8], [2, 'index-outside', 1, 31],
    [2, 'never-used', 0, 10], [2, 'never-assigned', 1, 47]]);
  for (const name of readdirSync(join(import.meta.dirname, '../../examples')).filter((f) => f.endsWith('.pl0'))) {
    const text = readFileSync(join(import.meta.dirname, '../../examples', name), 'utf8');
    assert.deepEqual(await open(text), [], name);
  }
});
