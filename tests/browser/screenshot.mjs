// Takes a screenshot of an explorer page at a step, as the README's picture was made:
//   node tests/browser/screenshot.mjs PAGE.html OUT.png [STEP]
import { resolve } from 'node:path';
import { launchChromium } from './chromium.mjs';

const [page, out, step = '0'] = process.argv.slice(2);
const browser = await launchChromium();
const tab = await browser.newPage();
await tab.setViewport({ width: 1400, height: 900 });
await tab.goto(`file://${resolve(page)}`);
await tab.waitForFunction(() => window.pl0Explorer);
await tab.evaluate((n) => window.pl0Explorer.go(n), Number(step));
await new Promise((done) => setTimeout(done, 300));  // the link arrows are drawn on the next frame
await tab.screenshot({ path: out });
await browser.close();
