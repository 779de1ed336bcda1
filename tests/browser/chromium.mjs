// Debian's chromium, headless, as every browser test and measurement here starts it.
import puppeteer from 'puppeteer-core';

export const chromiumPath = process.env.CHROMIUM ?? '/usr/bin/chromium';

export function launchChromium() {
  return puppeteer.launch({
    executablePath: chromiumPath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
}
