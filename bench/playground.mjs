// The playground's figures: the site's size (raw and gzipped), the time from opening the page
// to the first result, and bench/primes.pl0 run in the page against the native Interpreter.
//   node bench/playground.mjs [SITE_DIR] [BIN_DIR]   (default build-web/site, build/bin)
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launchChromium, serveFolder } from '../tests/browser/chromium.mjs';

const root = resolve(import.meta.dirname, '..');
const site = resolve(process.argv[2] ?? join(root, 'build-web/site'));
const bin = resolve(process.argv[3] ?? join(root, 'build/bin'));

let raw = 0;
let gzipped = 0;
for (const file of readdirSync(site)) {
  raw += statSync(join(site, file)).size;
  gzipped += gzipSync(readFileSync(join(site, file)), { level: 9 }).length;
}

const { server, base } = await serveFolder(site);
const browser = await launchChromium();
const page = await browser.newPage();
let start = performance.now();
await page.goto(base);
await page.waitForFunction(() => window.pl0Playground);
await page.evaluate(() => {
  window.pl0Playground.setSource('begin write 42 end.');
  return window.pl0Playground.run();
});
const firstResult = (performance.now() - start) / 1000;

const primes = readFileSync(join(root, 'bench/primes.pl0'), 'utf8');
const inPage = [];
for (let round = 0; round < 3; round++) {
  inPage.push(await page.evaluate(async (source) => {
    window.pl0Playground.setSource(source);
    const t = performance.now();
    await window.pl0Playground.run();
    return (performance.now() - t) / 1000;
  }, primes));
}
await browser.close();
server.close();

const work = mkdtempSync(join(tmpdir(), 'pl0-bench-playground-'));
execFileSync(join(bin, 'Tokeniser'), ['-i', join(root, 'bench/primes.pl0'), '-o', join(work, 'p.tok')]);
execFileSync(join(bin, 'Compiler'), ['-i', join(work, 'p.tok'), '-o', join(work, 'p.code')]);
start = performance.now();
execFileSync(join(bin, 'Interpreter'), ['-i', join(work, 'p.code')], { stdio: 'ignore' });
const native = (performance.now() - start) / 1000;

console.log(`site:                  ${(raw / 1024).toFixed(0)} KiB, ${(gzipped / 1024).toFixed(0)} KiB gzipped`);
console.log(`open to first result:  ${firstResult.toFixed(2)} s`);
console.log(`bench/primes, page:    ${Math.min(...inPage).toFixed(2)} s (best of 3: compile, record 1,000,000 steps, run, traced run)`);
console.log(`bench/primes, native:  ${native.toFixed(2)} s (Interpreter alone)`);
