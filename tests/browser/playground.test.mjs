// The playground in headless Chromium, served on 127.0.0.1 from build-web/site: every example
// gives its .out, errors show as markers with the exact message, Stop ends a loop, share links
// and broken links open, the Explore tab steps, and the console stays free of errors.
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

async function open(hash = '') {
  const page = await browser.newPage();
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  await page.setViewport({ width: 1400, height: 900 });
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
  assert.equal(await page.$eval('.cm-lintRange-error', (e) => e.textContent), '  x := y');
  await page.close();
});

test('Stop ends a looping program and the page still works', async () => {
  const page = await open();
  await page.evaluate(() => {
    window.pl0Playground.setSource('var i; begin while 1 = 1 do i := i + 1 end.');
    window.pl0Playground.run();
  });
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Running…');
  await page.click('#stop');
  assert.match(await page.$eval('#status', (e) => e.textContent), /Stopped/);
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

test('a share link opens with its source and input; a broken one opens empty', async () => {
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
  assert.equal(await page.evaluate(() => document.querySelector('.cm-content').textContent), '');
  await page.close();
});

test('once loaded, the page works offline', async () => {
  let page = await open();
  await page.evaluate(() => navigator.serviceWorker.ready);
  await page.close();
  page = await browser.newPage();
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
  await page.click('#forward');
  await page.click('#forward');
  assert.equal(await page.$eval('#step', (e) => e.textContent), '2');
  await page.click('#last');
  const state = await page.evaluate(() => window.pl0Explorer.state());
  assert.equal(state.output, '9 ');
  await page.close();
});
