// How the explorer copes with the longest run it records: writes the page of a program capped
// at 1,000,000 instructions and measures its size, the time to write it, the time until the page
// is ready, and the time of jumps to random steps and of single steps, in headless Chromium.
//   node bench/explorer.mjs [BIN_DIR]        (default build/bin)
import { execFileSync } from 'node:child_process';
import { mkdtempSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { launchChromium } from '../tests/browser/chromium.mjs';

const root = resolve(import.meta.dirname, '..');
const bin = resolve(process.argv[2] ?? join(root, 'build/bin'));
const work = mkdtempSync(join(tmpdir(), 'pl0-bench-explorer-'));
const source = join(work, 'count.pl0');
writeFileSync(source, 'var i, s;\nbegin\n  i := 0;\n  while i < 200000 do\n  begin\n    s := s + i mod 7;\n    i := i + 1\n  end;\n  write s\nend.\n');
const page = join(work, 'count.html');

let start = performance.now();
execFileSync(join(bin, 'pl0'), ['explore', source, '-o', page], { stdio: ['ignore', 'ignore', 'pipe'] });
const writeSeconds = (performance.now() - start) / 1000;

const browser = await launchChromium();
const tab = await browser.newPage();
await tab.setViewport({ width: 1400, height: 900 });
start = performance.now();
await tab.goto(`file://${page}`);
await tab.waitForFunction(() => window.pl0Explorer);
const readySeconds = (performance.now() - start) / 1000;
const steps = await tab.evaluate(() => window.pl0Explorer.stepCount());

// Each measurement includes the page's whole update for the step (its DOM is rebuilt
// synchronously inside go()).
const timings = await tab.evaluate((count) => {
  const jumps = [];
  for (let k = 0; k < 200; k++) {
    const n = Math.floor(Math.random() * (count + 1));
    const t = performance.now();
    window.pl0Explorer.go(n);
    jumps.push(performance.now() - t);
  }
  const forward = [];
  const button = document.getElementById('forward');
  window.pl0Explorer.go(Math.floor(count / 2));
  for (let k = 0; k < 200; k++) {
    const t = performance.now();
    button.click();
    forward.push(performance.now() - t);
  }
  return { jumps, forward };
}, steps);
await browser.close();

const summary = (list) => {
  const sorted = [...list].sort((a, b) => a - b);
  return `median ${sorted[sorted.length >> 1].toFixed(1)} ms, slowest ${sorted[sorted.length - 1].toFixed(1)} ms`;
};
console.log(`steps recorded:        ${steps}`);
console.log(`page size:             ${(statSync(page).size / 1e6).toFixed(1)} MB`);
console.log(`pl0 explore:           ${writeSeconds.toFixed(2)} s`);
console.log(`page ready:            ${readySeconds.toFixed(2)} s`);
console.log(`jump to a random step: ${summary(timings.jumps)}`);
console.log(`one step forward:      ${summary(timings.forward)}`);
