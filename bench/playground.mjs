// The playground's figures: the site's size (raw and gzipped), the time from opening the page
// to the first result, and for bench/primes.pl0 and bench/steps.pl0 (3,000,000 instructions)
// the time from Run to the output on the page, against the same WebAssembly module's
// Interpreter run alone in node (no compiling, no page) and the native Interpreter, with the
// longest the page's thread was busy meanwhile.
//   node bench/playground.mjs [SITE_DIR] [BIN_DIR] [WEB_BIN_DIR]
//   (default build-web/site, build/bin, build-web/bin)
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { mkdtempSync, readdirSync, readFileSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launchChromium, serveFolder } from '../tests/browser/chromium.mjs';

const root = resolve(import.meta.dirname, '..');
const site = resolve(process.argv[2] ?? join(root, 'build-web/site'));
const bin = resolve(process.argv[3] ?? join(root, 'build/bin'));
const webBin = resolve(process.argv[4] ?? join(root, 'build-web/bin'));
const programs = ['primes', 'steps'];

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

// Best of 3: seconds from the click on Run to the output on the page, and the longest gap
// between two animation frames meanwhile (how long the page could not answer).
const inPage = {};
for (const name of programs) {
  const source = readFileSync(join(root, `bench/${name}.pl0`), 'utf8');
  const rounds = [];
  for (let round = 0; round < 3; round++) {
    rounds.push(await page.evaluate(async (text) => {
      window.pl0Playground.setSource(text);
      await new Promise((done) => setTimeout(done, 50));
      const output = document.getElementById('program-output');
      if (output) output.textContent = '';
      let last = performance.now();
      let longest = 0;
      let shown = 0;
      const t = performance.now();
      document.getElementById('run').click();
      await new Promise((done) => {
        const frame = () => {
          const now = performance.now();
          longest = Math.max(longest, now - last);
          last = now;
          if (document.getElementById('program-output')?.textContent) {
            shown = (now - t) / 1000;
            done();
          } else {
            requestAnimationFrame(frame);
          }
        };
        requestAnimationFrame(frame);
      });
      return { shown, longest: longest / 1000 };
    }, source));
  }
  inPage[name] = rounds.reduce((a, b) => (a.shown <= b.shown ? a : b));
}
await browser.close();
server.close();

const work = mkdtempSync(join(tmpdir(), 'pl0-bench-playground-'));
const seconds = (command, args) => {
  const times = [];
  for (let round = 0; round < 3; round++) {
    const t = performance.now();
    execFileSync(command, args, { stdio: 'ignore' });
    times.push((performance.now() - t) / 1000);
  }
  return Math.min(...times);
};
// Emscripten's ES module for node still looks for these CommonJS names.
globalThis.__dirname = webBin;
globalThis.require = createRequire(import.meta.url);
const { default: createPl0 } = await import(join(webBin, 'pl0_playground.mjs'));
const { compile, interpret } = await import(join(root, 'web/playground/chain.js'));
const module = await createPl0({ wasmBinary: readFileSync(join(webBin, 'pl0_playground.wasm')) });
const inModule = (source) => {
  const times = [];
  for (let round = 0; round < 3; round++) {
    compile(module, source, '');
    const t = performance.now();
    interpret(module);
    times.push((performance.now() - t) / 1000);
  }
  return Math.min(...times);
};

console.log(`site:                  ${(raw / 1024).toFixed(0)} KiB, ${(gzipped / 1024).toFixed(0)} KiB gzipped`);
console.log(`open to first result:  ${firstResult.toFixed(2)} s`);
for (const name of programs) {
  const code = join(work, `${name}.code`);
  execFileSync(join(bin, 'Tokeniser'), ['-i', join(root, `bench/${name}.pl0`), '-o', join(work, 't')]);
  execFileSync(join(bin, 'Compiler'), ['-i', join(work, 't'), '-o', code]);
  const wasm = inModule(readFileSync(join(root, `bench/${name}.pl0`), 'latin1'));
  const native = seconds(join(bin, 'Interpreter'), ['-i', code]);
  const { shown, longest } = inPage[name];
  const ms = (t) => `${(t * 1000).toFixed(0)} ms`;
  console.log(`bench/${name}: Run to output ${ms(shown)} (${(shown / wasm).toFixed(2)} × the WebAssembly Interpreter's ${ms(wasm)}; native ${ms(native)}); page busy at most ${ms(longest)} at a time`);
}
