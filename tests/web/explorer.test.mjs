// The explorer's modules in node, without a page: the queries over a run, and the register
// operations' effects held against the C++ machine's recorded states.
//   PL0_BIN=build/bin node --test tests/web/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, existsSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { Run } from '../../web/recording.js';
import { Navigator } from '../../web/explorer/queries.js';
import { effects, operate } from '../../web/explorer/machine.js';
import { registerOperations } from '../../web/vocabulary.js';

const root = resolve(import.meta.dirname, '../..');
const bin = resolve(process.env.PL0_BIN ?? join(root, 'build/bin'));
const work = mkdtempSync(join(tmpdir(), 'pl0-web-'));

function record(source, input = '', steps = 20000) {
  const file = join(work, 'p.pl0');
  writeFileSync(file, source);
  writeFileSync(join(work, 'in'), input);
  const made = spawnSync(join(bin, 'pl0'), ['explore', file, '--json', '--input', join(work, 'in'),
    '--max-steps', String(steps), '-o', join(work, 'p.json')]);
  assert.ok(existsSync(join(work, 'p.json')), String(made.stderr));
  return JSON.parse(readFileSync(join(work, 'p.json'), 'utf8'));
}

// Lines:            1       2              3           4           5                6
const program = 'var i;\nprocedure p;\nbegin\n  i := i + 1\nend;\nbegin i := 0; call p; call p; write i end.\n';

test('navigation over a run with two calls', () => {
  const r = record(program);
  const run = new Run(r.run);
  const go = new Navigator(run, r.instructions);
  const lines = Array.from({ length: run.steps + 1 }, (_, s) => go.line(s));
  const first = (line, from = 0) => lines.indexOf(line, from);
  const callLine = 6;
  // Over: from the main block's line the calls run through, so no step of line 4 is stopped at.
  const inMain = first(callLine);
  assert.ok(inMain >= 0);
  assert.notEqual(go.line(go.stepOver(inMain)), 4);
  // Into the procedure with the next line, and out of it to the caller's frame.
  const inProcedure = first(4);
  assert.ok(inProcedure > inMain);
  assert.ok(run.bp(go.stepOut(inProcedure)) > run.bp(inProcedure));
  // Line 4 starts to run once per call; a breakpoint there stops at each start.
  const starts = go.stepsOfLine(4);
  assert.equal(starts.length, 2);
  const breaks = { lines: new Set([4]), instructions: new Set() };
  assert.equal(go.findBreak(0, 1, breaks), starts[0]);
  assert.equal(go.findBreak(starts[0], 1, breaks), starts[1]);
  assert.equal(go.findBreak(starts[1], -1, breaks), starts[0]);
  assert.equal(go.findBreak(starts[1], 1, breaks), run.steps);
  // The steps of every line, from one pass, are exactly where the line changes.
  for (const line of new Set(lines)) {
    const expected = lines.flatMap((l, s) => (l === line && (s === 0 || lines[s - 1] !== line) ? [s] : []));
    assert.deepEqual(go.stepsOfLine(line), expected);
  }
  assert.notEqual(go.line(go.nextLine(0)), go.line(0));
  assert.equal(go.pcAt(run.steps), -1);  // finished
});

// Every step's operations, carried out by machine.js from the state before it, must give the
// state the C++ machine recorded after it (steps that read input are left out: the effect of
// reading is not known to the page).
test('register operations do what the machine did', () => {
  const programs = readdirSync(join(root, 'examples')).filter((f) => f.endsWith('.pl0'))
    .map((f) => join(root, 'examples', f));
  let checked = 0;
  for (const file of programs) {
    const stdin = file.replace(/\.pl0$/, '.stdin');
    const r = record(readFileSync(file, 'latin1'), existsSync(stdin) ? readFileSync(stdin, 'latin1') : '');
    const run = new Run(r.run);
    for (let s = 0; s < run.steps; s++) {
      const before = run.state(s);
      const after = run.state(s + 1);
      const operations = r.operations[before.pc];
      if (operations.some((o) => o.startsWith('read_Ax') || o.startsWith('getc_Ax'))) continue;
      const machine = { ...before, cells: before.cells.slice(), pc: before.pc + 1 };
      for (const text of operations) operate(machine, text, r.instructions[before.pc][2]);
      for (const register of ['pc', 'sp', 'bp', 'ax', 'bx', 'tx']) {
        assert.equal(machine[register], after[register], `${file} step ${s}: ${register}`);
      }
      assert.deepEqual(machine.cells, after.cells, `${file} step ${s}: cells`);
      checked++;
    }
  }
  assert.ok(checked > 10000, `only ${checked} steps checked`);
});

test('every register operation the Translator writes has its effect', () => {
  // The list is generated from the header; the effects are written by hand.
  assert.ok(registerOperations.length > 30);
  for (const [line, name] of registerOperations) {
    const machine = { pc: 1, sp: 90, bp: 95, ax: 1, bx: 2, tx: 3, cells: new Array(101).fill(0) };
    assert.ok(effects[name], `the explorer does not know ${name}`);
    assert.notEqual(operate(machine, line, 0), '', `the explorer does not know ${line}`);
  }
  // The division rules at their edges, as interpreter/machine_detail.h has them.
  const divide = (ax, bx, op) => {
    const machine = { ax, bx };
    operate(machine, op, 0);
    return machine.ax;
  };
  const min = -2147483648;
  assert.deepEqual([divide(7, 0, 'idiv_Ax,Bx'), divide(min, -1, 'idiv_Ax,Bx'), divide(-7, 2, 'idiv_Ax,Bx')], [min, min, -3]);
  assert.deepEqual([divide(7, 0, 'mod_Ax,Bx'), divide(min, -1, 'mod_Ax,Bx'), divide(-7, 2, 'mod_Ax,Bx'), divide(-6, 3, 'mod_Ax,Bx')], [min, 0, -1, 0]);
});
