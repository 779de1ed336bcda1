// The playground's module in node: for every example, and for programs that fail to tokenise,
// compile or run, every file, the output, the messages and the status must be what the native
// programs write for the same source and input.
//   PL0_BIN=build/bin PL0_WEB_BIN=build-web/bin node --test tests/wasm/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const root = resolve(import.meta.dirname, '../..');
const bin = resolve(process.env.PL0_BIN ?? join(root, 'build/bin'));
const webBin = resolve(process.env.PL0_WEB_BIN ?? join(root, 'build-web/bin'));
const work = mkdtempSync(join(tmpdir(), 'pl0-wasm-'));

// The native chain as pl0 build and the Interpreter run it, with the same file names.
function native(source, input) {
  const file = (name) => join(work, name);
  writeFileSync(file('program.pl0'), source, 'latin1');
  const run = (program, args, stdin = '') => spawnSync(join(bin, program), args, { cwd: work, input: Buffer.from(stdin, 'latin1'), encoding: 'latin1' });
  const read = (name) => (existsSync(file(name)) ? readFileSync(file(name), 'latin1') : '');
  const result = { stderr: '', output: '' };
  const steps = [
    ['Tokeniser', ['-i', 'program.pl0', '-o', 'program.tok', '-nl']],
    ['Compiler', ['-i', 'program.tok', '-o', 'program.code', '-t', 'program.sym']],
    ['Translator', ['-i', 'program.code', '-o', 'program.ops']],
    ['Interpreter', ['-i', 'program.code', '-o', 'program.run', '-s', 'program.stk'], input],
  ];
  result.status = 0;
  for (const [program, args, stdin] of steps) {
    for (const name of ['program.run', 'program.stk']) writeFileSync(file(name), '');
    const done = run(program, args, stdin);
    result.stderr += done.stderr;
    result.output += done.stdout;
    result.status = done.status;
    if (done.status !== 0) break;
  }
  Object.assign(result, {
    tokens: read('program.tok'), code: read('program.code'), symbols: read('program.sym'),
    opcodes: read('program.ops'), runFile: read('program.run'), stackFile: read('program.stk'),
  });
  for (const name of ['program.tok', 'program.code', 'program.sym', 'program.ops', 'program.run', 'program.stk']) writeFileSync(file(name), '');
  return result;
}

test('the module writes what the native programs write', { skip: !existsSync(join(webBin, 'pl0_playground.mjs')) && 'no WebAssembly build' }, async () => {
  // Emscripten's ES module for node still looks for these CommonJS names.
  globalThis.__dirname = webBin;
  globalThis.require = createRequire(import.meta.url);
  const { default: createPl0 } = await import(join(webBin, 'pl0_playground.mjs'));
  const { compile, interpret, record, trace } = await import(join(root, 'web/playground/chain.js'));
  const module = await createPl0({ wasmBinary: readFileSync(join(webBin, 'pl0_playground.wasm')) });

  const programs = readdirSync(join(root, 'examples')).filter((f) => f.endsWith('.pl0')).map((f) => {
    const stdin = join(root, 'examples', f.replace('.pl0', '.stdin'));
    return [f, readFileSync(join(root, 'examples', f), 'latin1'), existsSync(stdin) ? readFileSync(stdin, 'latin1') : ''];
  });
  programs.push(['tokeniser error', 'var x; begin x := 1 $ end.', ''],
    ['compiler error', 'var x;\nbegin\n  x := y\nend.', ''],
    ['run-time fault', 'var a[2], i; begin i := 500; a[i] := 1 end.', ''],
    ['high bytes', "var s[9]; begin s := '\u00e9t\u00e9'; putc s[1]; putc 200; write s[0] end.", '']);
  for (const [name, source, input] of programs) {
    const compiled = compile(module, source, input);
    let got = { output: '', runFile: '', stackFile: '', ...compiled };
    if (compiled.status === 0) {
      const ran = interpret(module);
      got = { ...compiled, ...ran, stderr: compiled.stderr + ran.stderr, ...trace(module) };
    }
    const want = native(source, input);
    for (const key of ['status', 'stderr', 'tokens', 'code', 'symbols', 'opcodes', 'output', 'runFile', 'stackFile']) {
      assert.equal(got[key], want[key], `${name}: ${key}`);
    }
    const recording = JSON.parse(record(module, 100000));  // of what compile() compiled
    assert.equal(recording.files.code, want.code, `${name}: the recording's code file`);
    assert.equal(compiled.compiled.instructions.length, recording.instructions.length, name);
  }
});
