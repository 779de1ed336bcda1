// How the explorer copes with the longest runs it records: writes the pages of two programs
// capped at 1,000,000 instructions (a loop that writes once at its end, and recursive calls
// that keep the stack deep and write all along, so that the output grows to hundreds of
// kilobytes) and measures, in headless Chromium, each page's size, the time to write it, the
// time until it is ready, the time of jumps to random steps and of single steps, and how many
// DOM nodes a step touches (every node a MutationObserver's records name, the link arrows
// drawn on the next frame included), which must stay bounded however long the run.
//   node bench/explorer.mjs [BIN_DIR]        (default build/bin)
import { execFileSync } from 'node:child_process';
import { mkdtempSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { launchChromium } from '../tests/browser/chromium.mjs';

const root = resolve(import.meta.dirname, '..');
const bin = resolve(process.argv[2] ?? join(root, 'build/bin'));
const work = mkdtempSync(join(tmpdir(), 'pl0-bench-explorer-'));
const programs = {
  count: 'var i, s;\nbegin\n  i := 0;\n  while i < 200000 do\n  begin\n    s := s + i mod 7;\n    i := i + 1\n  end;\n  write s\nend.\n',
  calls: 'var n;\nprocedure p;\nvar a, b, c;\nbegin\n  if n > 0 then\n  begin\n    a := n; n := n - 1; write a;\n'
    + '    call p;\n    n := a\n  end\nend;\nbegin\n  while 1 = 1 do\n  begin\n    n := 14;\n    call p\n  end\nend.\n',
};

const browser = await launchChromium();
for (const [name, program] of Object.entries(programs)) {
  const source = join(work, `${name}.pl0`);
  writeFileSync(source, program);
  const page = join(work, `${name}.html`);
  let start = performance.now();
  execFileSync(join(bin, 'pl0'), ['explore', source, '-o', page], { stdio: ['ignore', 'ignore', 'pipe'] });
  const writeSeconds = (performance.now() - start) / 1000;

  const tab = await browser.newPage();
  await tab.setViewport({ width: 1400, height: 900 });
  start = performance.now();
  await tab.goto(`file://${page}`);
  await tab.waitForFunction(() => window.pl0Explorer);
  const readySeconds = (performance.now() - start) / 1000;
  const steps = await tab.evaluate(() => window.pl0Explorer.stepCount());
  const finalOutput = await tab.evaluate(() => { window.pl0Explorer.go(Number.MAX_SAFE_INTEGER); return window.pl0Explorer.state().output.length; });

  // Each timing is the page's update for the step made inside go() (the link arrows follow
  // on the next frame).
  const timings = await tab.evaluate((count) => {
    const forwardButton = document.querySelector('[id$="-forward"]') ?? document.getElementById('forward');
    const jumps = [];
    for (let k = 0; k < 200; k++) {
      const n = Math.floor(Math.random() * (count + 1));
      const t = performance.now();
      window.pl0Explorer.go(n);
      jumps.push(performance.now() - t);
    }
    const forward = [];
    window.pl0Explorer.go(Math.floor(count / 2));
    for (let k = 0; k < 200; k++) {
      const t = performance.now();
      forwardButton.click();
      forward.push(performance.now() - t);
    }
    return { jumps, forward };
  }, steps);

  const touched = await tab.evaluate(async (count) => {
    const button = (id) => document.querySelector(`[id$="-${id}"]`) ?? document.getElementById(id);
    const frame = () => new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
    let records = [];
    const observer = new MutationObserver((delivered) => records.push(...delivered));
    observer.observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
    const measure = async (move) => {
      records = [];
      move();
      await frame();
      const nodes = new Set();
      for (const record of [...records, ...observer.takeRecords()]) {
        nodes.add(record.target);
        for (const node of record.addedNodes) nodes.add(node);
        for (const node of record.removedNodes) nodes.add(node);
      }
      return nodes.size;
    };
    window.pl0Explorer.go(Math.floor(count / 2));
    await frame();
    const forward = [];
    const back = [];
    const jumps = [];
    for (let k = 0; k < 100; k++) forward.push(await measure(() => button('forward').click()));
    for (let k = 0; k < 100; k++) back.push(await measure(() => button('back').click()));
    for (let k = 0; k < 50; k++) jumps.push(await measure(() => window.pl0Explorer.go(Math.floor(Math.random() * (count + 1)))));
    observer.disconnect();
    return { forward, back, jumps };
  }, steps);
  await tab.close();

  const sorted = (list) => [...list].sort((a, b) => a - b);
  const time = (list) => `median ${sorted(list)[list.length >> 1].toFixed(1)} ms, slowest ${sorted(list).at(-1).toFixed(1)} ms`;
  const nodes = (list) => `median ${sorted(list)[list.length >> 1]}, most ${sorted(list).at(-1)}`;
  console.log(`${name}:`);
  console.log(`  steps recorded:        ${steps} (output at the end: ${finalOutput} characters)`);
  console.log(`  page size:             ${(statSync(page).size / 1e6).toFixed(1)} MB`);
  console.log(`  pl0 explore:           ${writeSeconds.toFixed(2)} s`);
  console.log(`  page ready:            ${readySeconds.toFixed(2)} s`);
  console.log(`  jump to a random step: ${time(timings.jumps)}`);
  console.log(`  one step forward:      ${time(timings.forward)}`);
  console.log(`  nodes a step touches:  forward ${nodes(touched.forward)}; back ${nodes(touched.back)}`);
  console.log(`  nodes a jump touches:  ${nodes(touched.jumps)}`);
}
await browser.close();
