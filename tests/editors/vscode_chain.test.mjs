// The packaged extension's WebAssembly tool chain (dist/chain.mjs) as the desktop extension runs
// it, a child process on the IPC channel, with no pl0 on PATH: Run's output and messages as the
// programs write them, whether a program reads (the input is asked for only then), and
// Explore's page with its recording.
//   PL0_EXTENSION=build/editors/unpacked/extension node tests/editors/vscode_chain.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { fork } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { join, resolve } from 'node:path';

const root = resolve(import.meta.dirname, '../..');
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

  // The page names the file, carries its recording and fetches nothing.
  const { page } = await ask({ task: 'explore', source: example('hanoi.pl0'), name: 'hanoi <1>.pl0' });
  assert.match(page, /<title>hanoi &lt;1&gt;\.pl0 — PL\/0 explorer<\/title>/);
  const recording = JSON.parse(/<script type="application\/json" id="recording">(.*?)<\/script>/s.exec(page)[1]);
  assert.equal(recording.source, example('hanoi.pl0'));
  assert.equal(recording.run.end, 'finished');
  assert.equal(recording.run.maxSteps, 1000000);
  assert.doesNotMatch(page, /<script src=|<link rel="stylesheet"/);
});
