// The packaged extension's WebAssembly tool chain (dist/chain.mjs) as the desktop extension runs
// it, a child process on the IPC channel, with no pl0 on PATH: Run's output and messages as the
// programs write them, whether a program reads (the input is asked for only then), and
// Explore's page, the very page `pl0 explore` writes.
//   PL0_EXTENSION=build/editors/unpacked/extension node tests/editors/vscode_chain.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { fork, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const root = resolve(import.meta.dirname, '../..');
const bin = resolve(process.env.PL0_BIN ?? join(root, 'build/bin'));
const extension = resolve(process.env.PL0_EXTENSION ?? join(root, 'build/editors/unpacked/extension'));
if (!existsSync(join(extension, 'dist/chain.mjs'))) {
  console.log(`no unpacked extension in ${extension}: run the editors/vscode_package test first`);
  process.exit(77);  // skipped
}
const example = (name) => readFileSync(join(root, 'examples', name), 'utf8');

function startChain() {
  const child = fork(join(extension, 'dist/chain.mjs'), [], { env: { PATH: '/usr/bin:/bin' } });
  let next = 0;
  const waiting = new Map();
  child.on('message', ({ id, result, error }) => waiting.get(id)(error ?? result));
  return {
    child,
    ask: (task) => new Promise((done) => { waiting.set(++next, done); child.send({ id: next, ...task }); }),
  };
}

test('Run and Explore through the WebAssembly chain', async (t) => {
  const { child, ask } = startChain();
  t.after(() => child.kill());

  assert.equal(await ask({ task: 'reads', source: example('hello.pl0') }), false);
  assert.equal(await ask({ task: 'reads', source: example('sentinel.pl0') }), true);
  assert.equal(await ask({ task: 'reads', source: 'var x; begin x := y end.' }), false);

  const hello = await ask({ task: 'run', source: example('hello.pl0') });
  assert.deepEqual(hello, { status: 0, output: example('hello.out'), stderr: '' });
  const sentinel = await ask({ task: 'run', source: example('sentinel.pl0'), input: example('sentinel.stdin') });
  assert.equal(sentinel.output, example('sentinel.out'));

  const wrong = await ask({ task: 'run', source: 'var x;\nbegin\n  x := 1 + y\nend.\n' });
  assert.deepEqual(wrong, { status: 1, output: '',
    stderr: 'Error 11 on line 3: After \'plus\' found \'identifier\' "y", undeclared identifier.\n' });
  const fault = await ask({ task: 'run', source: 'var a[2]; begin a[500] := 1 end.' });
  assert.equal(fault.status, 1);
  assert.match(fault.stderr, /^Interpreter: stack cell -?\d+ out of range at PC \d+\n$/);

  // The page is the one `pl0 explore` writes (pl0 from PL0_BIN, not on PATH), byte for byte.
  const folder = mkdtempSync(join(tmpdir(), 'pl0-explore-'));
  t.after(() => rmSync(folder, { recursive: true, force: true }));
  const name = 'hanoi <1> & "2".pl0';
  writeFileSync(join(folder, name), example('hanoi.pl0'));
  const { page } = await ask({ task: 'explore', source: example('hanoi.pl0'), name });
  assert.match(page, /<title>hanoi &lt;1&gt; &amp; &quot;2&quot;\.pl0 — PL\/0 explorer<\/title>/);
  const native = spawnSync(join(bin, 'pl0'), ['explore', join(folder, name), '-o', join(folder, 'page.html')]);
  assert.equal(native.status, 0, String(native.stderr));
  assert.ok(page === readFileSync(join(folder, 'page.html'), 'utf8'), 'the page differs from pl0 explore\'s');
});
