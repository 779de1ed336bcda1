// The web extension's workers (dist/web/ of the packaged extension) in headless Chromium, served
// on 127.0.0.1: the language server answers the protocol's messages posted as objects, as VS
// Code's browser client posts them, and the tool chain's worker runs a program; neither fetches
// anything beside itself; and the extension's entry loads requiring nothing but vscode. Skipped (77)
// without the unpacked .vsix (the editors/vscode_package test makes it).
//   PL0_EXTENSION=build/editors/unpacked/extension node tests/browser/vscode_web.test.mjs
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { launchChromium, serveFolder } from './chromium.mjs';

const root = resolve(import.meta.dirname, '../..');
const web = join(resolve(process.env.PL0_EXTENSION ?? join(root, 'build/editors/unpacked/extension')), 'dist/web');
if (!existsSync(join(web, 'server-worker.js'))) {
  console.log(`no web extension in ${web}: run the editors/vscode_package test first`);
  process.exit(77);  // skipped
}
// The workers beside a blank page of the same origin.
const folder = mkdtempSync(join(tmpdir(), 'pl0-web-extension-'));
for (const file of ['server-worker.js', 'chain-worker.js', 'extension.js']) copyFileSync(join(web, file), join(folder, file));
writeFileSync(join(folder, 'index.html'), '<!doctype html><link rel="icon" href="data:,"><title>workers</title>');
const { server, base } = await serveFolder(folder);
const browser = await launchChromium();
after(async () => {
  await browser.close();
  server.close();
  rmSync(folder, { recursive: true, force: true });
});

test('the web extension\'s workers', async () => {
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  const fetched = [];
  page.on('request', (request) => { if (!request.url().startsWith('blob:')) fetched.push(new URL(request.url()).pathname); });
  await page.goto(base);
  const source = 'var x;\nbegin\n  x := 1 + y\nend.\n';
  const replies = await page.evaluate((text) => new Promise((done) => {
    const uri = 'file:///broken.pl0';
    const worker = new Worker('server-worker.js');
    const got = [];
    worker.onmessage = ({ data }) => {
      got.push(data);
      if (data.id === 2) done(got);
    };
    const send = (message) => worker.postMessage({ jsonrpc: '2.0', ...message });
    send({ id: 1, method: 'initialize', params: { processId: null, rootUri: null, capabilities: {} } });
    send({ method: 'initialized', params: {} });
    send({ method: 'textDocument/didOpen', params: { textDocument: { uri, languageId: 'pl0', version: 1, text } } });
    send({ id: 2, method: 'textDocument/hover', params: { textDocument: { uri }, position: { line: 0, character: 4 } } });
  }), source);
  assert.equal(replies.find((r) => r.id === 1).result.capabilities.hoverProvider, true);
  const { diagnostics } = replies.find((r) => r.method === 'textDocument/publishDiagnostics').params;
  assert.deepEqual(diagnostics.map((d) => [d.message, d.range.start]),
    [['Error 11 on line 3: After \'plus\' found \'identifier\' "y", undeclared identifier.', { line: 2, character: 11 }]]);
  assert.match(replies.find((r) => r.id === 2).result.contents.value, /variable `x`/);

  const hello = readFileSync(join(root, 'examples/hello.pl0'), 'utf8');
  const ran = await page.evaluate((text) => new Promise((done) => {
    const worker = new Worker('chain-worker.js');
    worker.onmessage = ({ data }) => done(data);
    worker.postMessage({ id: 7, task: 'run', source: text });
  }), hello);
  assert.deepEqual(ran, { id: 7, result: { status: 0, output: readFileSync(join(root, 'examples/hello.out'), 'utf8'), stderr: '' } });

  // The entry loads as VS Code for the web loads it, as CommonJS that may require only vscode.
  const entry = await page.evaluate(() => new Promise((done) => {
    const loader = `self.module = { exports: {} }; self.exports = module.exports;
      const vscode = new Proxy({}, { get: () => class {} });  // the client extends its classes
      self.require = (name) => { if (name === 'vscode') return vscode; throw new Error('requires ' + name); };
      try { importScripts('${location.origin}/extension.js'); postMessage(Object.keys(module.exports).sort().join()); }
      catch (error) { postMessage(String(error)); }`;
    new Worker(URL.createObjectURL(new Blob([loader]))).onmessage = ({ data }) => done(data);
  }));
  assert.equal(entry, 'activate,deactivate');
  assert.deepEqual(problems, []);
  // The modules travel inside the workers: nothing else is fetched.
  assert.deepEqual(fetched.sort(), ['/', '/chain-worker.js', '/extension.js', '/server-worker.js']);
});
