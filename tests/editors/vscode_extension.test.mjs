// The desktop extension's own choices, with VS Code and its language client stood in by fakes
// (esbuild bundles editors/vscode/src/extension.js with the two swapped): with no pl0 anywhere
// it serves through the WebAssembly server; a pl0.path that names nothing gets one warning that
// names the setting and whose button opens it; a changed setting restarts the server on the new
// pl0, and a pl0 that will not serve falls back to the WebAssembly server with a word; Run
// through a pl0 gives the terminal pl0 itself, the file one argument, blanks and quotes and all,
// with no shell to quote for.
//   node --test tests/editors/vscode_extension.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { chmodSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import * as esbuild from 'esbuild';

const root = resolve(import.meta.dirname, '../..');
const work = mkdtempSync(join(tmpdir(), 'pl0-extension-'));
const fakes = {
  vscode: `
    const fake = globalThis.fake;
    export const window = {
      showWarningMessage: async (message, ...buttons) => { fake.warnings.push(message); return fake.press(buttons); },
      showErrorMessage: async (message) => { fake.errors.push(message); },
      createOutputChannel: () => ({ dispose() {} }),
      createTerminal: (options) => { fake.terminals.push(options); return { show() {} }; },
      get activeTextEditor() { return fake.editor; },
    };
    export const workspace = {
      getConfiguration: () => ({ get: (key) => fake.settings[key] }),
      onDidChangeConfiguration: (listener) => { fake.changed = listener; return { dispose() {} }; },
    };
    export const commands = {
      registerCommand: (name, command) => { fake.commands[name] = command; return { dispose() {} }; },
      executeCommand: async (...call) => { fake.executed.push(call); },
    };
    export const ProgressLocation = {}, ViewColumn = {};`,
  client: `
    const fake = globalThis.fake;
    export const TransportKind = { stdio: 0 };
    export class LanguageClient {
      constructor(id, name, server) { this.server = server; fake.clients.push(this); }
      async start() {
        if (this.server.command?.endsWith('old-pl0')) throw new Error('the server exited with status 2');
        this.running = true;
      }
      async stop() { this.running = false; }
      async dispose() { this.running = false; }
    }`,
};
for (const [name, text] of Object.entries(fakes)) writeFileSync(join(work, `${name}.mjs`), text);
await esbuild.build({
  entryPoints: [join(root, 'editors/vscode/src/extension.js')], bundle: true, platform: 'node',
  format: 'esm', outfile: join(work, 'extension.mjs'), logLevel: 'warning',
  plugins: [{ name: 'fakes', setup(build) {
    build.onResolve({ filter: /^vscode$/ }, () => ({ path: join(work, 'vscode.mjs') }));
    build.onResolve({ filter: /^vscode-languageclient\/node$/ }, () => ({ path: join(work, 'client.mjs') }));
  } }],
});

test('the desktop extension finds its server, says what is missing, restarts and runs', async (t) => {
  t.after(() => rmSync(work, { recursive: true, force: true }));
  const fake = globalThis.fake = {
    warnings: [], errors: [], terminals: [], clients: [], executed: [], commands: {},
    settings: { path: '' }, press: (buttons) => buttons[0],
  };
  process.env.PATH = join(work, 'empty');  // no pl0 on PATH
  const extension = await import(pathToFileURL(join(work, 'extension.mjs')));
  const context = { subscriptions: [], asAbsolutePath: (path) => `/extension/${path}` };
  const settle = () => new Promise((done) => setTimeout(done, 20));
  const change = async (path) => {
    fake.settings.path = path;
    fake.changed({ affectsConfiguration: (section) => section === 'pl0.path' });
    await settle();
  };

  await extension.activate(context);
  assert.deepEqual(fake.clients[0].server, { module: '/extension/dist/server.mjs', transport: 0 });
  assert.deepEqual(fake.warnings, []);  // nothing set, nothing found: nothing to say

  await change('/nowhere/pl0');
  assert.equal(fake.clients[0].running, false);
  assert.equal(fake.clients[1].server.module, '/extension/dist/server.mjs');
  assert.equal(fake.warnings.length, 1);
  assert.match(fake.warnings[0], /pl0\.path.*"\/nowhere\/pl0"/);
  assert.deepEqual(fake.executed, [['workbench.action.openSettings', 'pl0.path']]);
  await change('/nowhere/pl0');
  assert.equal(fake.warnings.length, 1, 'one message, not one a start');

  const pl0 = join(work, 'pl0');
  writeFileSync(pl0, '#!/bin/sh\n');
  chmodSync(pl0, 0o755);
  await change(pl0);
  assert.deepEqual(fake.clients.map((client) => client.running), [false, false, false, true]);
  assert.deepEqual(fake.clients[3].server, { command: pl0, args: ['lsp'] });

  // A pl0 too old to serve: said once, and the WebAssembly server meanwhile.
  const old = join(work, 'old-pl0');
  writeFileSync(old, '#!/bin/sh\nexit 2\n');
  chmodSync(old, 0o755);
  await change(old);
  assert.equal(fake.warnings.length, 2);
  assert.match(fake.warnings[1], /old-pl0 lsp" did not start \(the server exited with status 2\)/);
  assert.equal(fake.clients.at(-1).server.module, '/extension/dist/server.mjs');
  assert.equal(fake.clients.at(-1).running, true);
  await change(pl0);

  const file = "/home/student/my 'first' program.pl0";
  fake.editor = { document: { languageId: 'pl0', isDirty: false, uri: { fsPath: file, path: file } } };
  await fake.commands['pl0.run']();
  assert.deepEqual(fake.terminals.map(({ shellPath, shellArgs }) => [shellPath, shellArgs]), [[pl0, ['run', file]]]);
  assert.deepEqual(fake.errors, []);
});
