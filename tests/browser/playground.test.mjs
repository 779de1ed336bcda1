// The playground in headless Chromium, served on 127.0.0.1 from build-web/site: every example
// gives its .out, errors show as markers with the exact message, Stop ends a loop and keeps all
// it wrote, share links and examples keep the program they replace, the Explore tab steps and
// says when it is stale, the keyboard paths work, and the console stays free of errors.
//   PL0_SITE=build-web/site node --test tests/browser/playground.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readFileSync, readdirSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { launchChromium, serveFolder } from './chromium.mjs';

const root = resolve(import.meta.dirname, '../..');
const site = resolve(process.env.PL0_SITE ?? join(root, 'build-web/site'));
if (!existsSync(join(site, 'index.html'))) {
  console.log(`no site in ${site}: run cmake --workflow --preset web`);
  process.exit(77);  // skipped
}
let browser;
let server;
let base;
const problems = [];

before(async () => {
  ({ server, base } = await serveFolder(site));
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  server?.close();
  assert.deepEqual(problems, [], 'the browser console reported errors');
});

async function open(hash = '', width = 1400) {
  // A context of its own: no storage kept from another test.
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  await page.setViewport({ width, height: 900 });
  await page.goto(base + hash);
  await page.waitForFunction(() => window.pl0Playground);
  return page;
}

const bytes = (text) => Buffer.from(text, 'latin1');

test('every example run gives its .out', async () => {
  const page = await open();
  for (const file of readdirSync(join(root, 'examples')).filter((f) => f.endsWith('.pl0'))) {
    const stdin = join(root, 'examples', file.replace('.pl0', '.stdin'));
    const result = await page.evaluate(async (source, input) => {
      window.pl0Playground.setSource(source);
      window.pl0Playground.setInput(input);
      return window.pl0Playground.run();
    }, readFileSync(join(root, 'examples', file), 'utf8'), existsSync(stdin) ? readFileSync(stdin, 'utf8') : '');
    assert.equal(result.status, 0, file);
    assert.deepEqual(bytes(result.output), readFileSync(join(root, 'examples', file.replace('.pl0', '.out'))), file);
    assert.ok(result.runFile.startsWith('Begin PL/0:\n'), file);
  }
  await page.close();
});

test('a compile error shows its marker and message', async () => {
  const page = await open();
  const result = await page.evaluate(() => {
    window.pl0Playground.setSource('var x;\nbegin\n  x := y\nend.');
    return window.pl0Playground.run();
  });
  assert.equal(result.status, 1);
  assert.equal(result.stderr, 'Error 11 on line 3: After \'becomes\' found \'identifier\' "y", undeclared identifier.\n');
  await page.waitForSelector('.cm-lintRange-error');
  assert.equal(await page.$eval('.cm-lintRange-error', (e) => e.textContent), 'y');
  await page.close();
});

test('Stop ends a looping program and the page still works', async () => {
  const page = await open();
  await page.evaluate(() => {
    window.pl0Playground.setSource('var i; begin while 1 = 1 do i := i + 1 end.');
    window.pl0Playground.run();
  });
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Running…');
  await page.click('#stop');  // Stop waits for the runner's next pulse, which brings the output
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Stopped.');
  const result = await page.evaluate(() => {
    window.pl0Playground.setSource('begin write 6 * 7 end.');
    return window.pl0Playground.run();
  });
  assert.equal(result.output, '42 ');
  await page.close();
});

test('output without end is cut, and the page says so', async () => {
  const page = await open();
  const result = await page.evaluate(() => {
    window.pl0Playground.setSource('var i; begin while 1 = 1 do begin write i; i := i + 1 end end.');
    return window.pl0Playground.run();
  });
  assert.equal(result.status, 1);
  assert.ok(result.output.length <= 1 << 20);
  assert.ok(await page.$('#program-output-cut, .cut'));
  await page.close();
});

test('a share link opens with its source and input; a broken one opens what was there before', async () => {
  let page = await open();
  await page.evaluate(() => {
    window.pl0Playground.setSource('var n; begin read n; write n * 2 end.');
    window.pl0Playground.setInput('21');
  });
  await page.click('#share');
  await page.waitForFunction(() => location.hash.startsWith('#p='));
  const hash = await page.evaluate(() => location.hash);
  await page.close();
  page = await open(hash);
  const result = await page.evaluate(() => window.pl0Playground.run());
  assert.equal(result.output, '42 ');
  assert.equal(await page.$eval('#input', (e) => e.value), '21');
  await page.close();
  page = await open('#p=not-a-program');
  assert.match(await page.$eval('#status', (e) => e.textContent), /could not be read/);
  assert.match(await page.evaluate(() => document.querySelector('.cm-content').textContent), /Your first PL\/0 program/);
  await page.close();
});

test('once loaded, the page works offline', async () => {
  let page = await open();
  await page.evaluate(() => navigator.serviceWorker.ready);
  await page.close();
  page = await page.browserContext().newPage();
  page.on('pageerror', (error) => problems.push(error.message));
  await page.setOfflineMode(true);
  await page.goto(base);
  await page.waitForFunction(() => window.pl0Playground);
  const result = await page.evaluate(() => {
    window.pl0Playground.setSource('begin write 1 + 1 end.');
    return window.pl0Playground.run();
  });
  assert.equal(result.output, '2 ');
  await page.close();
});

test('the Explore tab steps through the same run', async () => {
  const page = await open();
  await page.evaluate(() => {
    window.pl0Playground.setSource('var x; begin x := 3; write x * x end.');
    return window.pl0Playground.run();
  });
  await page.click('#tab-explore');
  await page.waitForSelector('#panel-explore-forward');
  await page.click('#panel-explore-forward');
  await page.click('#panel-explore-forward');
  assert.equal(await page.$eval('#panel-explore-step', (e) => e.textContent), '2');
  await page.click('#panel-explore-last');
  const state = await page.evaluate(() => window.pl0Explorer.state());
  assert.equal(state.output, '9 ');
  await page.close();
});

const run = (page, source, input = '') => page.evaluate((s, i) => {
  window.pl0Playground.setSource(s);
  window.pl0Playground.setInput(i);
  return window.pl0Playground.run();
}, source, input);
// The marks in the editor come from the language server's worker, a moment apart from the run's.
const text = async (page, selector) => (await page.waitForSelector(selector)).evaluate((e) => e.textContent);
const loop = 'var i; begin while 1 = 1 do i := i + 1 end.';

test('a Run shows its own results alone: the output first, the rest when asked, partial after Stop', async () => {
  const page = await open();
  await run(page, readFileSync(join(root, 'examples/hello.pl0'), 'utf8'));
  await page.click('#tab-code');
  const leftOver = await page.evaluate((source) => {
    window.pl0Playground.setSource(source);
    window.pl0Playground.run();
    return document.getElementById('panels').textContent;
  }, loop);
  assert.doesNotMatch(leftOver, /Hello|WRITE|PUTC/);
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Running…');
  assert.doesNotMatch(await text(page, '#panel-code'), /PUTC/);
  await page.click('#tab-explore');
  assert.doesNotMatch(await text(page, '#panel-explore'), /finished/);
  await page.click('#stop');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Stopped.');
  await page.click('#tab-output');
  assert.match(await text(page, '#panel-output'), /partial/);

  // Past the recording's million instructions: the run finished, and Explore says so.
  const steps = 'var i; begin while i < 200000 do i := i + 1; write i end.';
  await run(page, steps);
  assert.equal(await text(page, '#status'), 'Finished.');
  await page.click('#tab-explore');
  await page.waitForSelector('#panel-explore-run-status');
  assert.match(await text(page, '#panel-explore-run-status'), /went on and finished/);
  // A stack file of 16 MB comes in pieces.
  await page.click('#tab-stackFile');
  await page.waitForSelector('#text-stackFile', { timeout: 60000 });
  assert.ok(await page.$('#text-stackFile .more'));
  assert.ok((await text(page, '#text-stackFile')).length < 1 << 20);
  await page.close();
});

test('errors stand where the eye is: the symbol, the line, the status, in words', async () => {
  const page = await open();
  const source = `var x;\nbegin\n${'  x := 1;\n'.repeat(40)}  x := y\nend.`;
  await run(page, source);
  assert.match(await text(page, '#status'), /^Compile error on line 43: After 'becomes' found 'identifier' "y", undeclared identifier\.$/);
  assert.equal(await text(page, '.cm-lintRange-error'), 'y');
  assert.ok(await page.waitForSelector('.cm-lint-marker-error'));
  assert.match(await text(page, '.cm-error-message'), /^Error 11 on line 43: /);
  const inView = await page.$eval('.cm-lintRange-error', (e) => {
    const box = document.querySelector('.cm-scroller').getBoundingClientRect();
    const at = e.getBoundingClientRect();
    return at.top >= box.top && at.bottom <= box.bottom;
  });
  assert.ok(inView, 'the error is scrolled into view');
  await page.click('#error-message');
  assert.equal(await text(page, '.cm-activeLine'), '  x := y');

  await run(page, 'begin write 1 end');
  assert.match(await text(page, '#status'), /ends before its final period/);
  assert.ok(await page.waitForSelector('.cm-lint-marker-error'));

  await run(page, 'var a[2], i;\nbegin i := 500;\n  a[i] := 1\nend.');
  assert.match(await text(page, '#status'), /^Run-time fault on line 3: stack cell -?\d+ out of range\./);
  assert.ok(await page.$('.cm-lint-marker-error'));
  await page.click('#explore-fault');
  await page.waitForSelector('#panel-explore-run-status');
  assert.equal(await page.evaluate(() => window.pl0Explorer.state().step), await page.evaluate(() => window.pl0Explorer.stepCount()));

  await page.click('#tab-output');
  await run(page, 'var i; begin while 1 = 1 do begin write i; i := i + 1 end end.');
  assert.equal(await text(page, '#status'), 'Output cut at 1 MB.');
  assert.doesNotMatch(await page.$eval('#panel-output', (p) => p.innerText.slice(-2000)), /\/work\/|No space/);
  await page.close();
});

test('keys: Ctrl+Enter runs, the arrow keys move between tabs', async () => {
  const page = await open();
  await page.evaluate(() => window.pl0Playground.setSource('begin write 6 * 7 end.'));
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('Enter');
  await page.keyboard.up('Control');
  await page.waitForFunction(() => document.getElementById('program-output')?.textContent === '42 ');
  assert.equal(await page.evaluate(() => window.pl0Playground.setSource && document.querySelector('.cm-content').textContent), 'begin write 6 * 7 end.');
  await page.focus('#tab-output');
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'tab-tokens');
  assert.equal(await page.$eval('#tab-tokens', (t) => t.getAttribute('aria-selected')), 'true');
  assert.match(await text(page, "#text-tokens"), /^23begin 33write 2number 6 /);
  await page.close();
});

test('a first visit, the examples, and the layout at 1024 and 420 px', async () => {
  let page = await open('', 1024);
  assert.match(await text(page, '.cm-content'), /Your first PL\/0 program/);
  assert.equal(await page.$eval('#examples', (s) => s.options[1].value), 'hello');
  await page.select('#examples', 'hanoi');
  assert.equal(await page.title(), 'hanoi.pl0 — PL/0 playground');
  await page.evaluate(() => window.pl0Playground.run());
  await page.click('#tab-explore');
  await page.waitForSelector('.stack-pane');
  await page.evaluate(() => window.pl0Explorer.go(100));
  const right = await page.$$eval('.registers-pane, .stack-pane, .code-pane', (all) => Math.max(...all.map((p) => p.getBoundingClientRect().right)));
  assert.ok(right <= 1024, `Explore reaches ${right} px`);
  await page.close();

  page = await open('', 420);
  await page.evaluate(() => window.pl0Playground.run());
  await page.waitForFunction(() => document.getElementById('panel-output').getBoundingClientRect().top < innerHeight);
  const heights = await page.$$eval('.bar button:not([hidden])', (all) => all.map((b) => b.getBoundingClientRect().height));
  assert.ok(heights.every((h) => h >= 40), `buttons ${heights}`);
  await page.close();
});

test('the language server marks an error while it is typed, and a hover shows what a line became', async () => {
  const page = await open();
  await page.evaluate(() => window.pl0Playground.setSource('var x;\nbegin\n  x := 1\nend.'));
  await page.click('.cm-line:nth-child(3)');
  await page.keyboard.press('End');
  await page.keyboard.type(' + y');
  await page.waitForSelector('.cm-lintRange-error');
  assert.equal(await text(page, '.cm-lintRange-error'), 'y');
  assert.equal(await text(page, '#status'), 'Ready: a first program is in the editor. Press Run (Ctrl+Enter), or choose an example.');
  // The same mark a Run makes, with the Compiler's own message.
  await page.hover('.cm-lint-marker-error');
  await page.waitForSelector('.cm-diagnostic');
  assert.equal(await text(page, '.cm-diagnostic'),
    'Error 11 on line 3: After \'plus\' found \'identifier\' "y", undeclared identifier.');

  for (let k = 0; k < 4; k++) await page.keyboard.press('Backspace');
  await page.waitForFunction(() => !document.querySelector('.cm-lintRange-error'));
  const becomes = await page.evaluate(() => {
    const line = [...document.querySelectorAll('.cm-line')][2];
    const range = document.createRange();
    range.setStart(line.firstChild, line.textContent.indexOf(':='));
    const box = range.getBoundingClientRect();
    return { x: box.left + 3, y: box.top + box.height / 2 };
  });
  await page.mouse.move(becomes.x, becomes.y);
  await page.waitForSelector('.cm-lsp-hover-tooltip');
  assert.match(await text(page, '.cm-lsp-hover-tooltip'), /;  LIT\s+mov_Bx,Imm\s+1[\s\S]*;  STO\s+mov_Ax,BP/);
  await page.close();
});

// What a program wrote before Stop: on the page while it runs, and all of it after, before "partial".
test('output written before an endless loop shows while it runs and stays, whole, after Stop', async () => {
  const page = await open();
  const output = () => page.evaluate(() => document.getElementById('program-output')?.textContent);
  await page.evaluate(() => {
    window.pl0Playground.setSource('begin write 42; putc 10; while 1 = 1 do end.');
    window.pl0Playground.run();
  });
  await page.waitForFunction(() => document.getElementById('program-output')?.textContent === '42 \n');
  await page.click('#stop');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Stopped.');
  assert.equal(await output(), '42 \n');
  const order = await page.$eval('#panel-output', (p) => [...p.querySelectorAll('h2, #program-output')].map((e) => e.textContent));
  assert.deepEqual(order.slice(0, 2), ['Output (partial: the run was stopped)', '42 \n']);

  // A number now and then from inside a long loop.
  await page.evaluate(() => {
    window.pl0Playground.setSource('var i, j; begin while 1 = 1 do begin j := 0; while j < 30000 do j := j + 1; write i; i := i + 1 end end.');
    window.pl0Playground.run();
  });
  await page.waitForFunction(() => /^0 1 2 /.test(document.getElementById('program-output')?.textContent));
  const before = await output();
  await page.click('#stop');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Stopped.');
  const after = await output();
  assert.ok(after.startsWith(before) && /^(\d+ )+$/.test(after), `before Stop ${before.length} bytes, after ${after.length}`);
  await page.close();
});

test('a share link or an example never destroys the program in the editor; a broken link changes nothing', async () => {
  const page = await open();
  await page.evaluate(() => {
    window.pl0Playground.setSource('var n; begin read n; write n * 2 end.');
    window.pl0Playground.setInput('21');
  });
  await page.click('#share');
  await page.waitForFunction(() => location.hash.startsWith('#p='));
  const hash = await page.evaluate(() => location.hash);
  const mine = 'begin write 1 end.';
  await page.evaluate((source) => {
    window.pl0Playground.setSource(source);
    window.pl0Playground.setInput('7');
  }, mine);
  const source = (p) => p.evaluate(() => document.querySelector('.cm-content').innerText.trim());
  // The same browser: the program kept from the page above.
  const context = page.browserContext();
  const shared = await context.newPage();
  await shared.goto(base + hash);
  await shared.waitForFunction(() => window.pl0Playground);
  assert.equal(await source(shared), 'var n; begin read n; write n * 2 end.');
  await shared.click('#restore');
  assert.equal(await source(shared), mine);
  assert.equal(await shared.$eval('#input', (e) => e.value), '7');
  await shared.close();

  const broken = await context.newPage();
  await broken.goto(`${base}#p=${hash.slice(3, 20)}`);
  await broken.waitForFunction(() => window.pl0Playground);
  assert.match(await text(broken, '#status'), /could not be read/);
  assert.equal(await source(broken), mine);
  await broken.close();

  // Arrowing through the closed example list asks nothing, and the program is one step back.
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  await page.evaluate(() => window.pl0Playground.setSource('begin write 2 end.'));
  await page.focus('#examples');
  for (let k = 0; k < 3; k++) await page.keyboard.press('ArrowDown');
  assert.deepEqual(dialogs, []);
  assert.notEqual(await source(page), 'begin write 2 end.');
  await page.click('#restore');
  assert.equal(await source(page), 'begin write 2 end.');
  await page.close();
});

test('Explore after an edit says that it shows an earlier version', async () => {
  const page = await open('', 1024);
  await run(page, 'begin write 1 end.');
  await page.evaluate(() => window.pl0Playground.setSource('begin write 2 end.'));
  await page.click('#tab-explore');
  await page.waitForSelector('#panel-explore-forward');
  assert.match(await text(page, '#stale'), /earlier version/);
  await page.click('#stale button');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Finished.');
  await page.waitForSelector('#panel-explore-forward');
  assert.equal(await page.$('#stale:not([hidden])'), null);
  assert.equal(await page.evaluate(() => { window.pl0Explorer.go(99); return window.pl0Explorer.state().output; }), '2 ');
  await page.close();
});

test('an unclosed comment or string is named, and the line where it opens is marked', async () => {
  const page = await open();
  await run(page, 'var x;\nbegin\n  { set x\n  x := 1\nend.\n');
  assert.equal(await text(page, '#status'), 'Compile error on line 3: the comment opened here with { is never closed, so the source ends inside it.');
  assert.equal(await text(page, '#error-message'), 'Unexpected end of source file');
  assert.equal(await text(page, '.cm-lintRange-error'), '{');
  await page.click('#tab-explore');
  assert.equal(await text(page, '.error-line code'), '  { set x');
  assert.match(await text(page, '#panel-explore'), /comment opened on line 3 with \{ is never closed/);
  await page.click('#tab-output');
  await run(page, "var s[9];\nbegin\n  s := 'abc;\nend.\n");
  assert.equal(await text(page, '#status'), "Compile error on line 3: the string opened here with ' is never closed, so the source ends inside it.");
  await run(page, 'begin write 1 end');
  assert.equal(await text(page, '#status'), 'Compile error: the source ends before its final period.');
  await page.close();
});

test('a run-time fault says what it probably is, on the page and in Explore; Explore after Stop names no flag', async () => {
  const page = await open();
  await run(page, 'procedure p;\n  call p;\nbegin call p end.');
  assert.match(await text(page, '#status'), /^Run-time fault on line 2: stack cell -\d+ out of range\. .*recursion too deep/);
  await page.click('#explore-fault');
  await page.waitForSelector('#panel-explore-run-status');
  assert.match(await text(page, '#panel-explore-run-status'), /recursion too deep/);
  await page.click('#tab-output');
  await run(page, 'var a[2], i;\nbegin i := 500;\n  a[i] := 1\nend.');
  assert.match(await text(page, '#status'), /^Run-time fault on line 3: stack cell -?\d+ out of range\. .*index outside its array/);

  await page.evaluate((source) => {
    window.pl0Playground.setSource(source);
    window.pl0Playground.run();
  }, loop);
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Running…');
  await page.click('#stop');
  await page.click('#tab-explore');
  await page.waitForSelector('#panel-explore-run-status', { timeout: 60000 });
  assert.doesNotMatch(await text(page, '#panel-explore-run-status'), /--max-steps/);
  await page.close();
});

test('keys: → steps after a click on Explore, focus stays useful, Escape stops, Ctrl+Enter runs from the input', async () => {
  const page = await open();
  const focused = () => page.evaluate(() => document.activeElement.id || document.activeElement.closest('[id]')?.id || document.activeElement.tagName);
  await run(page, 'var x; begin x := 3; write x * x end.');
  await page.click('#tab-explore');
  await page.waitForSelector('#panel-explore-forward');
  await page.keyboard.press('ArrowRight');
  assert.equal(await text(page, '#panel-explore-step'), '1');
  assert.equal(await page.$eval('#tab-explore', (t) => t.getAttribute('aria-selected')), 'true');

  await page.click('#tab-output');
  await run(page, 'var a[2];\nbegin a[500] := 1 end.');
  await page.focus('#explore-fault');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#panel-explore-run-status');
  assert.equal(await focused(), 'panel-explore');

  await page.click('#tab-output');
  await page.evaluate((source) => window.pl0Playground.setSource(source), loop);
  await page.focus('#run');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Running…');
  assert.equal(await focused(), 'run');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Stopped.');
  assert.equal(await focused(), 'run');

  await page.evaluate(() => window.pl0Playground.setSource('var n; begin read n; write n end.'));
  await page.focus('#input');
  await page.keyboard.type('5');
  await page.keyboard.down('Control');
  await page.keyboard.press('Enter');
  await page.keyboard.up('Control');
  await page.waitForFunction(() => document.getElementById('program-output')?.textContent === '5 ');
  assert.equal(await page.$eval('#input', (e) => e.value), '5');
  await page.close();
});

test('no error mark flashes while the page loads', async () => {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.evaluateOnNewDocument(() => {
    new MutationObserver(() => {
      if (document.querySelector('.cm-lint-marker-error, .cm-lintRange-error')) window.marked = true;
    }).observe(document, { subtree: true, childList: true });
  });
  await page.goto(base);
  await page.waitForFunction(() => window.pl0Playground);
  await new Promise((done) => setTimeout(done, 1500));  // the language server has answered
  assert.equal(await page.evaluate(() => window.marked ?? false), false);
  await page.close();
});
