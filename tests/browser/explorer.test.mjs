// The explorer's page in headless Chromium: the state it shows at any step must be the
// Interpreter's own, as its stack file gives it, and every control must work from the keyboard.
//   PL0_BIN=build/bin node --test tests/browser/
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, existsSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, basename } from 'node:path';
import { launchChromium, chromiumPath, serveFolder } from './chromium.mjs';

const root = resolve(import.meta.dirname, '../..');
const bin = resolve(process.env.PL0_BIN ?? join(root, 'build/bin'));
const work = mkdtempSync(join(tmpdir(), 'pl0-browser-'));
let browser;
let server;
let base;
const problems = [];

before(async () => {
  assert.ok(existsSync(chromiumPath), `no ${chromiumPath}: install Debian's chromium (see README)`);
  ({ server, base } = await serveFolder(work));
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  server?.close();
  assert.deepEqual(problems, [], 'the browser console reported errors');
});

// Writes the page for `source` (with `input`) and returns its name; `options` go to pl0 explore.
function explore(name, source, input = '', options = []) {
  const sourceFile = join(work, `${name}.pl0`);
  const inputFile = join(work, `${name}.stdin`);
  writeFileSync(sourceFile, source);
  writeFileSync(inputFile, input);
  spawnSync(join(bin, 'pl0'), ['explore', sourceFile, '--input', inputFile, ...options], { encoding: 'utf8' });
  return `${name}.html`;
}

// The Interpreter's stack file for the same program and input, as {pc, sp, bp, cells} per line.
function trace(name) {
  const code = join(work, `${name}.code`);
  execFileSync(join(bin, 'Tokeniser'), ['-i', join(work, `${name}.pl0`), '-o', join(work, `${name}.tok`), '-nl']);
  execFileSync(join(bin, 'Compiler'), ['-i', join(work, `${name}.tok`), '-o', code]);
  const stack = join(work, `${name}.stk`);
  spawnSync(join(bin, 'Interpreter'), ['-i', code, '-o', join(work, `${name}.run`), '-s', stack],
    { input: readFileSync(join(work, `${name}.stdin`)) });
  const run = spawnSync(join(bin, 'Interpreter'), ['-i', code, '-o', join(work, `${name}.run`)],
    { input: readFileSync(join(work, `${name}.stdin`)), encoding: 'latin1' });
  const output = run.stdout;
  const lines = readFileSync(stack, 'utf8').split('\n').slice(1).filter((l) => l !== '');
  // After a fault the stack file ends with the line of the instruction that faulted, which is
  // the recording's last state rather than a step it ran.
  const lineCount = lines.length;
  return {
    output,
    ran: run.status === 1 ? lineCount - 1 : lineCount,
    program: readFileSync(code, 'utf8').split('\n').slice(1).filter((l) => l !== '')
      .map((l) => l.trim().split(/\s+/).slice(0, 4).map(Number)),
    steps: lines.map((line) => {
      const [pc, sp, bp] = line.slice(0, 17).trim().split(/\s+/).map(Number);
      return { pc, sp, bp, line };
    }),
  };
}

async function open(name, via = 'http') {
  const page = await browser.newPage();
  page.on('pageerror', (error) => problems.push(`${name}: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(`${name}: ${message.text()}`);
  });
  await page.setViewport({ width: 1300, height: 900 });
  await page.goto(via === 'file' ? `file://${join(work, name)}` : `${base}${name}`);
  await page.waitForFunction(() => window.pl0Explorer || document.getElementById('error-message'));
  return page;
}

const text = (page, selector) => page.$eval(selector, (e) => e.textContent);

// The page's state at its current step against one line of the stack file.
async function expectStep(page, trace, step, label) {
  const want = trace.steps[step];
  const shown = await page.evaluate(() => ({
    state: window.pl0Explorer.state(),
    pc: document.getElementById('pc').textContent,
    sp: document.getElementById('sp').textContent,
    bp: document.getElementById('bp').textContent,
  }));
  const { state } = shown;
  assert.equal(Number(shown.pc), want.pc, `${label}: #pc`);
  assert.equal(Number(shown.sp), want.sp, `${label}: #sp`);
  assert.equal(Number(shown.bp), want.bp, `${label}: #bp`);
  assert.deepEqual([state.pc, state.sp, state.bp], [want.pc, want.sp, want.bp], `${label}: state()`);
  assert.equal(traceLine(state, trace.program), want.line, `${label}: the trace line`);
}

// The stack-file line of a state, as the Interpreter formats it.
const opcodeNames = ['LIT', 'LOD', 'STO', 'CAL', 'INT', 'JMP', 'JPC', 'RTN', 'WRITE', 'READ', 'PUTC', 'GETC', 'LDT',
  'STT', 'NEG', 'ADD', 'MIN', 'MUL', 'DIV', 'ODD', 'EQU', 'NEQ', 'LES', 'LEQ', 'GTR', 'GEQ', 'MOD'];
function traceLine(state, program) {
  const pad = (value, width) => String(value).padStart(width);
  const [, opcode, level, operand] = program[state.pc];
  let line = `${pad(state.pc, 5)} ${pad(state.sp, 5)} ${pad(state.bp, 5)} ${pad(opcodeNames[opcode], 6)} ` +
    `${pad(level, 5)} ${pad(operand, 7)} `;
  for (let c = 100; c >= Math.max(state.bp + 1, 0); c--) line += pad(state.cells[c], 4);
  if (state.bp >= 0 && state.bp <= 100) line += `|${pad(state.cells[state.bp], 3)}`;
  for (let c = Math.min(state.bp - 1, 100); c >= Math.max(state.sp, 0); c--) line += pad(state.cells[c], 4);
  return line;
}

// Examples and golden programs, each with its standard input when it has one.
const programs = [
  ...['hanoi', 'bubble_sort', 'counted_string', 'gcd_lcm', 'sentinel', 'shout'].map((name) =>
    [name, join(root, 'examples', `${name}.pl0`), join(root, 'examples', `${name}.stdin`)]),
  ...['compiler/recursion_and_levels', 'compiler/scopes_and_hiding', 'interpreter/read_signs_and_wrapping']
    .map((name) => [basename(name), join(root, 'tests/golden', name, 'in/prog.pl0'), join(root, 'tests/golden', name, 'stdin')]),
];

test('examples and golden programs step forward, back and by jumps as the stack file says', async () => {
  for (const [example, source, stdin] of programs) {
    const name = explore(example, readFileSync(source), existsSync(stdin) ? readFileSync(stdin) : '');
    const want = trace(example);
    const page = await open(name);
    await page.evaluate(() => window.pl0Explorer.go(0));  // a fault's page opens at the fault
    assert.equal(await page.evaluate(() => window.pl0Explorer.stepCount()), want.ran);
    assert.equal(Number(await text(page, '#step-count')), want.ran);
    for (let s = 0; s < Math.min(30, want.steps.length); s++) {
      assert.equal(Number(await text(page, '#step')), s);
      await expectStep(page, want, s, `${example} forward to ${s}`);
      await page.click('#forward');
    }
    for (let k = 0; k < 5; k++) {
      await page.click('#back');
    }
    await expectStep(page, want, Math.min(30, want.steps.length) - 5, `${example} back`);
    for (const s of [want.steps.length - 1, 0, Math.floor(want.steps.length / 2), 7]) {
      await page.evaluate((n) => window.pl0Explorer.go(n), s);
      await expectStep(page, want, s, `${example} go(${s})`);
    }
    await page.click('#last');
    const state = await page.evaluate(() => window.pl0Explorer.state());
    assert.equal(state.step, want.ran);
    assert.equal(await text(page, '#output'), Buffer.from(want.output, 'latin1').toString('utf8'));
    await page.click('#first');
    assert.equal(Number(await text(page, '#step')), 0);
    await page.close();
  }
});

test('a program with arrays and nested procedures, opened from file://', async () => {
  const source = `var a[3], i;
procedure outer;
  var x;
  procedure inner;
  begin x := x + a[i]; i := i + 1 end;
begin x := 0; while i < 3 do call inner; write x end;
begin a[0] := 1; a[1] := 2; a[2] := 4; i := 0; call outer end.
`;
  const name = explore('nested', source);
  const want = trace('nested');
  const page = await open(name, 'file');
  for (let s = 0; s < want.steps.length; s += 3) {
    await page.evaluate((n) => window.pl0Explorer.go(n), s);
    await expectStep(page, want, s, `nested ${s}`);
  }
  // Inside inner: its frame, the static link to outer's frame and the variable names.
  const inInner = want.steps.findIndex((w, k) => k > 0 && w.bp < 90);
  await page.evaluate((n) => window.pl0Explorer.go(n), inInner + 2);
  const stack = await text(page, '.stack');
  for (const words of ['outer: frame at', 'inner: frame at', 'static link', 'return address', 'a[2]', 'x']) {
    assert.ok(stack.includes(words), `the stack shows "${words}"`);
  }
  // Two links for each of the two procedure frames, drawn on the next animation frame.
  await page.waitForFunction(() => document.querySelectorAll('.arrows path.arrow').length === 4);
  await page.close();
});

test('breakpoints, step over and step out', async () => {
  const name = explore('hanoi2', readFileSync(join(root, 'examples', 'hanoi.pl0')));
  const want = trace('hanoi2');
  const page = await open(name);
  // A breakpoint on line 13 (moves := moves + 1): run to it, twice, and back.
  await page.click('li[data-line="13"] .number');
  await page.click('#next-break');
  const first = Number(await text(page, '#step'));
  assert.equal(await text(page, '.source li.current .number'), '13');
  await page.click('#next-break');
  const second = Number(await text(page, '#step'));
  assert.ok(second > first);
  await page.click('#previous-break');
  assert.equal(Number(await text(page, '#step')), first);
  // Step over the first call of the main program: back in the main frame, on the next line.
  const main = want.steps[0].pc === 0 ? want.program[0][3] : 0;
  const calls = want.program.filter(([address, opcode]) => opcode === 3 && address > main);
  const call = want.steps.findIndex((w) => w.bp === 100 && w.pc === calls[0][0]);
  assert.ok(call > 0);
  await page.evaluate((n) => window.pl0Explorer.go(n), call);
  await page.click('#over');
  const afterCall = await page.evaluate(() => window.pl0Explorer.state());
  assert.equal(afterCall.bp, 100);
  assert.equal(afterCall.pc, want.steps[call].pc + 1);
  // Step out of a procedure: the first step after it returned.
  const inside = want.steps.findIndex((w) => w.bp < 100);
  await page.evaluate((n) => window.pl0Explorer.go(n), inside + 3);
  await page.click('#out');
  const out = await page.evaluate(() => window.pl0Explorer.state());
  assert.ok(out.bp > want.steps[inside + 3].bp);
  await expectStep(page, want, out.step, 'after step out');
  // The steps at which a chosen line ran.
  await page.click('li[data-line="13"] code');
  assert.match(await text(page, '#line-steps'), /Line 13 ran 7 times/);
  await page.close();
});

test('the keyboard alone moves through the run', async () => {
  const name = explore('keys', readFileSync(join(root, 'examples', 'gcd_lcm.pl0')));
  const want = trace('keys');
  const page = await open(name);
  // The keys work from the start, with no focus frame round the whole page.
  assert.deepEqual(await page.evaluate(() => [document.activeElement.id, document.activeElement.matches(':focus-visible')]),
    ['explorer', false]);
  for (let k = 0; k < 3; k++) await page.keyboard.press('ArrowRight');
  assert.equal(Number(await text(page, '#step')), 3);
  await page.keyboard.press('ArrowLeft');
  assert.equal(Number(await text(page, '#step')), 2);
  await page.keyboard.down('Shift');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.up('Shift');
  assert.ok(Number(await text(page, '#step')) > 2);
  await page.keyboard.press('l');
  assert.match(await text(page, '#line-steps'), /^Line \d+ ran \d+ times?/);
  await page.keyboard.press('End');
  assert.equal(Number(await text(page, '#step')), want.ran);
  await page.keyboard.press('Home');
  assert.equal(Number(await text(page, '#step')), 0);
  await page.keyboard.press('?');
  assert.equal(await page.$eval('#help', (e) => e.hidden), false);
  await page.keyboard.press('Escape');
  assert.equal(await page.$eval('#help', (e) => e.hidden), true);
  assert.match(await text(page, '#announce'), /^step 0: PC 0 JMP, SP 98$/);
  // g selects the field, so the number typed replaces the old one; Enter jumps and hands the
  // keys back to the explorer.
  for (let k = 0; k < 5; k++) await page.keyboard.press('ArrowRight');
  await page.keyboard.press('g');
  await page.keyboard.type('20');
  await page.keyboard.press('Enter');
  assert.equal(Number(await text(page, '#step')), 20);
  await page.keyboard.press('ArrowRight');
  assert.equal(Number(await text(page, '#step')), 21);
  // Tab reaches the buttons, and Enter presses them.
  await page.focus('#forward');
  await page.keyboard.press('Enter');
  assert.equal(Number(await text(page, '#step')), 22);
  await page.close();
});

test('a compile error shows the message and the line, and no machine', async () => {
  const name = explore('broken', 'var x;\nbegin\n  x := y\nend.\n');
  const page = await open(name);
  assert.equal(await text(page, '#error-message'),
    'Compiler stopped: Error 11 on line 3: After \'becomes\' found \'identifier\' "y", undeclared identifier.');
  assert.equal(await text(page, '.error-line code'), '  x := y');
  assert.equal(await page.$('.stack'), null);
  await page.close();

  // The Tokeniser's message names no line: the page says what is left open, and where.
  const unclosed = await open(explore('unclosed', 'var x;\nbegin\n  (* set x\n  x := 1\nend.\n'));
  assert.equal(await text(unclosed, '#error-message'), 'Tokeniser stopped: Unexpected end of source file');
  assert.equal(await text(unclosed, '#error-words'), 'The comment opened on line 3 with (* is never closed, so the source ends inside it.');
  assert.equal(await text(unclosed, '.error-line code'), '  (* set x');
  await unclosed.close();
});

test('a fault page opens at the fault and names its line; deep recursions stay readable', async () => {
  const source = 'var n, a[3];\nprocedure down;\nbegin\n  if n > 0 then begin n := n - 1; call down end\n' +
    '  else a[n - 9] := 1\nend;\nbegin n := 12; call down end.\n';
  const page = await open(explore('fault', source));
  const steps = await page.evaluate(() => window.pl0Explorer.stepCount());
  assert.equal(Number(await text(page, '#step')), steps);
  assert.match(await text(page, '#run-status'), /^Run-time fault on line 5 after \d+ instructions: stack cell 105 out of range at PC \d+/);
  assert.equal(await text(page, '.source .current code'), '  else a[n - 9] := 1');
  // Thirteen frames: a dynamic link each, and static links only along the current frame's chain.
  await page.waitForSelector('.arrow.dynamic');
  assert.equal(await page.$$eval('.arrow.dynamic', (a) => a.length), 13);
  assert.equal(await page.$$eval('.arrow.static', (a) => a.length), 1);
  assert.match(await text(page, '.legend'), /static link.*dynamic link/);
  // The top of the stack is in view in its box, and the controls stay in view on scrolling.
  const top = await page.evaluate(() => {
    const box = document.querySelector('.stack-box').getBoundingClientRect();
    const rows = [...document.querySelectorAll('.stack tbody tr:not(.frame-header)')];
    const row = rows.at(-1).getBoundingClientRect();
    return { inBox: row.top >= box.top && row.bottom <= box.bottom + 1, inWindow: row.bottom <= innerHeight };
  });
  assert.deepEqual(top, { inBox: true, inWindow: true });
  await page.evaluate(() => window.scrollTo(0, 2000));
  assert.ok(await page.$eval('#forward', (b) => b.getBoundingClientRect().top >= 0));
  await page.close();

  const loop = explore('loop', 'var i; begin while 1 = 1 do begin i := i + 1; write i end end.', '', ['--max-steps', '5000']);
  const capped = await open(loop);
  assert.equal(await capped.evaluate(() => window.pl0Explorer.stepCount()), 5000);
  assert.match(await text(capped, '#run-status'), /Stopped after 5000 instructions/);
  await capped.close();
});

test('a loop\'s instructions stand on its line, long lines keep their indentation, the title names the program', async () => {
  const long = `  x := x + 1${' + 1'.repeat(60)}`;
  const page = await open(explore('lines', `var x;\nbegin\n  while 1 = 1 do\n${long}\nend.\n`, '', ['--max-steps', '40']));
  assert.equal(await page.title(), 'lines.pl0 — PL/0 explorer');
  for (let s = 3; s < 40; s++) {
    await page.evaluate((n) => window.pl0Explorer.go(n), s);
    const line = Number(await page.$eval('.source li.current', (li) => li.dataset.line));
    assert.ok(line === 3 || line === 4, `step ${s} is on line ${line}`);
  }
  const numbers = await page.$$eval('.source .number', (all) => all.map((b) => [b.getBoundingClientRect().width, getComputedStyle(b).fontSize]));
  const code = await page.$eval('.source code', (c) => getComputedStyle(c).fontSize);
  assert.equal(new Set(numbers.map(([w]) => w)).size, 1, 'every line number is as wide');
  assert.ok(numbers.every(([, size]) => size === code), 'line numbers are as large as the code');
  await page.close();
});

test('at 420 px the stack follows the registers within the first screen', async () => {
  const page = await open(explore('narrow', readFileSync(join(root, 'examples/hanoi.pl0'))));
  await page.setViewport({ width: 420, height: 900 });
  await page.evaluate((n) => window.pl0Explorer.go(n), 60);
  const top = await page.$eval('.stack-pane', (p) => p.getBoundingClientRect().top);
  assert.ok(top < 900, `the stack starts at ${top} px`);
  const heights = await page.$$eval('.toolbar button', (all) => all.map((b) => b.getBoundingClientRect().height));
  assert.ok(heights.every((h) => h >= 40), `buttons ${heights}`);
  await page.close();
});

test('line numbers and addresses are one tab stop each, and the breakpoint keys say what they did', async () => {
  const page = await open(explore('hanoi_keys', readFileSync(join(root, 'examples/hanoi.pl0'))));
  // Tab goes through the controls, not through every line and address.
  const stops = await page.$$eval('button, input, select, [tabindex]', (all) => all.filter((e) => e.tabIndex >= 0 && !e.disabled
    && !e.closest('[hidden]')).length);
  assert.ok(stops < 30, `${stops} tab stops`);
  // Inside the line numbers the arrows move and Enter sets a breakpoint; Home and End stay there.
  await page.focus('li[data-line="1"] .number');
  for (let k = 0; k < 3; k++) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  assert.equal(await page.$eval('li[data-line="4"]', (li) => li.classList.contains('break')), true);
  await page.keyboard.press('End');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), await page.$eval('.source li:last-child .number', (b) => b.textContent));
  assert.equal(Number(await text(page, '#step')), 0);
  assert.ok(await page.$eval('li[data-line="2"] .number', (b) => getComputedStyle(b).backgroundColor !== 'rgba(0, 0, 0, 0)'),
    'a line number looks like a button before it is hovered');
  await page.click('li[data-line="4"] .number');  // off again
  await page.focus('#explorer');
  // No breakpoint left: "break ▶" stays where it is and says why.
  await page.click('#next-break');
  assert.equal(Number(await text(page, '#step')), 0);
  assert.match(await text(page, '#note'), /No breakpoints/);
  // B: a breakpoint on the current instruction, which n then reaches.
  await page.keyboard.press('ArrowRight');
  const address = Number(await text(page, '#pc'));
  await page.keyboard.press('B');
  await page.keyboard.press('Home');
  await page.keyboard.press('n');
  assert.equal(Number(await text(page, '#pc')), address);
  assert.equal(await text(page, '#note'), '');
  // g then letters: no step 0, the step stays.
  await page.keyboard.press('g');
  await page.keyboard.type('end');
  await page.keyboard.press('Enter');
  assert.equal(Number(await text(page, '#step')), 1);
  assert.match(await text(page, '#note'), /^A step is a number/);
  await page.keyboard.press('?');
  const help = await text(page, '#help');
  for (const key of ['b', 'B', 'n / p', 'Enter or Space']) assert.ok(help.includes(key), `the help names ${key}`);
  await page.close();
});

test('two explorers on one page: every id is unique, and stepping one leaves the other as it was', async () => {
  // The modules themselves, served beside the page, mount two recordings of the same program.
  cpSync(join(root, 'web'), join(work, 'web'), { recursive: true, filter: (f) => !f.includes('wasm') });
  const source = join(work, 'two.pl0');
  writeFileSync(source, readFileSync(join(root, 'examples/hanoi.pl0')));
  execFileSync(join(bin, 'pl0'), ['explore', source, '--json', '-o', join(work, 'two.json')]);
  writeFileSync(join(work, 'two.html'), `<!doctype html><html lang="en"><title>two</title>
<link rel="stylesheet" href="web/explorer.css"><main><div id="left"></div><div id="right"></div></main>
<script type="module">
import { mountExplorer } from './web/explorer/view.js';
const recording = await (await fetch('two.json')).json();
window.left = mountExplorer(document.getElementById('left'), recording, { name: 'left' });
window.right = mountExplorer(document.getElementById('right'), recording, { name: 'right' });
</script>`);
  const page = await browser.newPage();
  page.on('pageerror', (error) => problems.push(`two: ${error.message}`));
  await page.goto(`${base}two.html`);
  await page.waitForFunction(() => window.right);
  const ids = await page.$$eval('[id]', (all) => all.map((e) => e.id));
  assert.deepEqual(ids.filter((id, k) => ids.indexOf(id) !== k), []);
  const right = () => page.$eval('#right', (r) => r.innerHTML);
  await new Promise((done) => setTimeout(done, 100));  // the link arrows are drawn on the next frame
  const before = await right();
  for (let k = 0; k < 40; k++) await page.click('#left-forward');
  await page.focus('#left');
  await page.keyboard.press('End');
  await page.keyboard.press('b');
  await page.click('#left li[data-line="3"] code');
  await new Promise((done) => setTimeout(done, 100));
  assert.equal(Number(await text(page, '#left-step')), await page.evaluate(() => window.left.stepCount()));
  assert.notEqual(await text(page, '#left-output'), '');
  assert.equal(await text(page, '#right-step'), '0');
  assert.equal(await right(), before);
  // The arrow heads each explorer draws are its own.
  assert.ok(await page.$eval('#right .arrows', (svg) => [...svg.querySelectorAll('path.arrow')]
    .every((p) => p.getAttribute('marker-end').startsWith('url(#right-'))));
  await page.close();
});

test('the output shown step by step is the output so far decoded whole, split characters and stray bytes too', async () => {
  // € written a byte at a time, a stray byte, an incomplete character cut by a letter.
  const bytes = [226, 130, 172, 65, 255, 66, 240, 159, 152, 128, 226, 130, 67, 195, 169];
  const page = await open(explore('bytes', `begin ${bytes.map((b) => `putc ${b}`).join('; ')} end.`));
  const steps = await page.evaluate(() => window.pl0Explorer.stepCount());
  const order = [...Array(steps + 1).keys()];
  for (const s of [...order, ...order.reverse(), 3, steps, 7, 0, steps, 11, 12, 5]) {
    const [shown, whole] = await page.evaluate((n) => {
      window.pl0Explorer.go(n);
      return [document.getElementById('output').textContent, window.pl0Explorer.state().output];
    }, s);
    assert.equal(shown, whole, `step ${s}`);
  }
  await page.close();
});
