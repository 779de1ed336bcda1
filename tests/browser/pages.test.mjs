// Both pages as a reader meets them: axe-core's WCAG 2.1 A and AA rules in every state and in
// both colour schemes, the marks (line colours, link arrows) at 3:1 against the page, the
// scheme switch kept, and the layouts at 420 px, 960 px and 200 % zoom measured from element
// boxes. The playground's cases are skipped without the WebAssembly site.
//   PL0_BIN=build/bin PL0_SITE=build-web/site node --test tests/browser/pages.test.mjs
import { test, before, beforeEach, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { launchChromium, serveFolder } from './chromium.mjs';

const root = resolve(import.meta.dirname, '../..');
const bin = resolve(process.env.PL0_BIN ?? join(root, 'build/bin'));
const site = resolve(process.env.PL0_SITE ?? join(root, 'build-web/site'));
const noSite = existsSync(join(site, 'index.html')) ? false : `no site in ${site}: run cmake --workflow --preset web`;
const axeSource = readFileSync(join(root, 'node_modules/axe-core/axe.min.js'), 'utf8');
const work = mkdtempSync(join(tmpdir(), 'pl0-pages-'));
const hanoi = readFileSync(join(root, 'examples/hanoi.pl0'), 'utf8');
const faulty = 'var n, a[3];\nprocedure down;\nbegin\n  if n > 0 then begin n := n - 1; call down end\n' +
  '  else a[n - 9] := 1\nend;\nbegin n := 12; call down end.\n';
const broken = 'var x;\nbegin\n  x := y\nend.\n';
let browser;
let server;
let base;
const problems = [];

before(async () => {
  if (!noSite) ({ server, base } = await serveFolder(site));
});

// A browser of its own for each test: after a few dozen playgrounds (each with its workers and
// service worker) one browser began to refuse new pages ("Session with given id not found").
beforeEach(async () => {
  await browser?.close();
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  server?.close();
  assert.deepEqual(problems, [], 'the browser console reported errors');
});

// The explorer's page for `source`, written by pl0 explore; its file:// address.
function explorerPage(name, source) {
  writeFileSync(join(work, `${name}.pl0`), source);
  spawnSync(join(bin, 'pl0'), ['explore', join(work, `${name}.pl0`)]);
  return `file://${join(work, `${name}.html`)}`;
}

// The system's scheme switched under a page that is already open: the colours are CSS's alone
// (light-dark() under color-scheme), so each state is loaded once and read in both schemes.
const schemes = ['light', 'dark'];
const useScheme = (page, scheme) => page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);

// A page that starts with empty storage (a first visit), `zoom` 2 standing for 200 %: the same
// screen holds half as many CSS pixels each way.
async function open(address, { width = 1400, height = 900, zoom = 1, scheme = 'light' } = {}) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(() => localStorage.clear());
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  await useScheme(page, scheme);
  await page.setViewport({ width: Math.round(width / zoom), height: Math.round(height / zoom), deviceScaleFactor: zoom });
  await page.goto(address);
  await page.waitForFunction(() => window.pl0Explorer || window.pl0Playground || document.getElementById('error-message'));
  return page;
}

async function violations(page) {
  if (!await page.evaluate(() => 'axe' in window)) await page.addScriptTag({ content: axeSource });
  return page.evaluate(async () => {
    const result = await window.axe.run(document, { runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] } });
    return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).slice(0, 3).join(', ')}`);
  });
}


// The lowest contrast of the line colours and the link arrows against the page's background.
function lowestMarkContrast(page) {
  return page.evaluate(() => {
    const rgb = (colour) => colour.match(/[\d.]+/g).slice(0, 3).map(Number);
    const luminance = (colour) => {
      const [r, g, b] = rgb(colour).map((v) => v / 255).map((v) => (v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4));
      return 0.2126 * r + 0.7152 * g + 0.0722 * b;
    };
    const ratio = (a, b) => {
      const [x, y] = [luminance(a), luminance(b)].sort((p, q) => q - p);
      return (x + 0.05) / (y + 0.05);
    };
    const ground = getComputedStyle(document.documentElement).backgroundColor;
    const marks = [...document.querySelectorAll('.source li[style], .code tr[style]')].map((e) => getComputedStyle(e).borderLeftColor)
      .concat([...document.querySelectorAll('.arrow')].map((e) => getComputedStyle(e).stroke));
    return { count: new Set(marks).size, lowest: Math.min(...marks.map((m) => ratio(m, ground))) };
  });
}

test('the explorer\'s pages pass axe-core in both schemes, with their marks at 3:1', async () => {
  for (const [name, source] of [['hanoi', hanoi], ['fault', faulty], ['broken', broken]]) {
    const page = await open(explorerPage(name, source));
    if (name === 'hanoi') await page.evaluate(() => window.pl0Explorer.go(60));
    await page.waitForFunction(() => !document.querySelector('.stack-box') || document.querySelector('.arrow'));
    for (const scheme of schemes) {
      await useScheme(page, scheme);
      assert.deepEqual(await violations(page), [], `${name}, ${scheme}`);
      if (name === 'hanoi') {
        const marks = await lowestMarkContrast(page);
        assert.ok(marks.count >= 8, `${marks.count} colours`);
        assert.ok(marks.lowest >= 3, `${scheme}: a mark at ${marks.lowest.toFixed(2)}:1`);
      }
    }
    await page.close();
  }
});

test('the scheme switch overrides the system\'s and is kept, from file:// too', async () => {
  const address = explorerPage('switch', 'begin write 1 end.\n');
  const page = await open(address, { scheme: 'light' });
  const ground = (tab) => tab.evaluate(() => getComputedStyle(document.documentElement).backgroundColor);
  const light = await ground(page);
  await page.select('#scheme', 'dark');
  assert.notEqual(await ground(page), light);
  // The choice reaches another page's process a moment after the change, and a busy machine
  // may start the second page first (it then showed the system's scheme): it is opened again
  // until the choice has arrived, a second at most.
  const again = await browser.newPage();
  let kept = '';
  for (let tries = 0; kept !== 'dark' && tries < 10; tries++) {
    if (tries > 0) await new Promise((done) => setTimeout(done, 100));
    await again.goto(address);
    kept = await again.$eval('#scheme', (s) => s.value);
  }
  assert.equal(kept, 'dark');
  assert.notEqual(await ground(again), light);
  await again.evaluate(() => localStorage.clear());
  await again.close();
  await page.close();
});

// The sticky explorer header and whatever stands above it: not over each other, and together
// not half the window.
async function expectRoomToRead(page, label) {
  await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
  const boxes = await page.evaluate(() => [document.querySelector('header.bar'), document.querySelector('.explorer header')]
    .filter(Boolean).map((e) => e.getBoundingClientRect()).filter((r) => r.bottom > 0)
    .map((r) => ({ top: r.top, bottom: Math.min(r.bottom, innerHeight) })).concat({ height: innerHeight }));
  const height = boxes.pop().height;
  const shown = boxes.reduce((sum, b) => sum + b.bottom - b.top, 0);
  assert.ok(shown <= height / 2, `${label}: ${shown} of ${height} px held by the headers`);
  for (let k = 1; k < boxes.length; k++) assert.ok(boxes[k].top >= boxes[k - 1].bottom - 1, `${label}: the headers overlap`);
}

test('the explorer\'s header leaves room to read at 420 px and at 200 %', async () => {
  const address = explorerPage('hanoi_narrow', hanoi);
  for (const view of [{ width: 420 }, { zoom: 2 }]) {
    const page = await open(address, view);
    await expectRoomToRead(page, JSON.stringify(view));
    await page.close();
  }
});

// The playground with `source` run and the tab `tab` open.
async function playground(view, source, tab = '') {
  const page = await open(base, view);
  if (source) {
    await page.evaluate((text) => {
      window.pl0Playground.setSource(text);
      return window.pl0Playground.run();
    }, source);
  }
  if (tab) {
    await page.click(`#tab-${tab}`);
    await page.waitForFunction((key) => (key === 'explore' ? window.pl0Explorer || document.getElementById('panel-explore-error-message')
      : document.querySelector(`#panel-${key} pre`)), {}, tab);
  }
  return page;
}

test('the playground passes axe-core in every state and both schemes', { skip: noSite }, async () => {
  const states = [['first visit'], ['a run', hanoi], ['a compile error', broken], ['Explore', hanoi, 'explore'],
    ['Explore of a fault', faulty, 'explore'], ...['tokens', 'code', 'opcodes', 'stackFile'].map((tab) => [tab, hanoi, tab])];
  for (const [state, source, tab] of states) {
    const page = await playground({}, source, tab);
    for (const scheme of schemes) {
      await useScheme(page, scheme);
      assert.deepEqual(await violations(page), [], `${state}, ${scheme}`);
    }
    await page.close();
  }
});

test('the playground at 420 px, 960 px and 200 %: headers apart, rows one line high, nothing cut', { skip: noSite }, async () => {
  for (const view of [{ width: 420 }, { zoom: 2 }]) {
    const page = await playground(view, hanoi, 'explore');
    await expectRoomToRead(page, JSON.stringify(view));
    await page.close();
  }
  const page = await playground({ width: 960 }, hanoi, 'explore');
  const rows = await page.$$eval('.source li', (all) => all.map((li) => {
    const number = li.querySelector('.number').getBoundingClientRect();
    const code = li.querySelector('code').getBoundingClientRect();
    return { height: li.getBoundingClientRect().height, beside: number.top < code.bottom && code.left >= number.right - 1 };
  }));
  assert.ok(rows.every((r) => r.height < 30 && r.beside), `rows ${JSON.stringify(rows[0])}`);
  await page.close();
  // The starter's comment, and an error's message under its line, stay inside the editor.
  const long = `var x;\nbegin\n  x := 1 + ${'1 + '.repeat(40)}y\nend.\n`;
  for (const width of [1400, 1024, 420]) {
    for (const [source, selector] of [['', '.cm-line'], [long, '.cm-error-message']]) {
      const shown = await playground({ width }, source);
      const cut = await shown.$eval(selector, (e) => {
        const [editor, box] = [e.closest('.cm-scroller').getBoundingClientRect(), e.getBoundingClientRect()];
        return Math.max(box.right - editor.right, editor.left - box.left);
      });
      assert.ok(cut <= 1, `${width} px: ${selector} runs ${cut} px past the editor`);
      await shown.close();
    }
  }
});

test('the editor\'s focus ring is plain to see in both schemes', { skip: noSite }, async () => {
  for (const scheme of schemes) {
    const page = await playground({ scheme });
    await page.focus('.cm-content');
    await page.waitForSelector('.cm-editor.cm-focused');
    const ring = await page.$eval('.cm-editor', (e) => ({ width: parseFloat(getComputedStyle(e).outlineWidth), style: getComputedStyle(e).outlineStyle }));
    assert.ok(ring.width >= 2 && ring.style === 'solid', `${scheme}: ${JSON.stringify(ring)}`);
    await page.close();
  }
});
