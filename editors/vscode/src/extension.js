// The desktop extension: the language server is `pl0 lsp` when a pl0 is found (the setting
// `pl0.path`, else pl0 on PATH) and otherwise the same server compiled to WebAssembly, run by
// the Node inside VS Code, so that a student with nothing installed gets every answer. Run and
// Explore go through that pl0 (Run in a terminal, where the program reads as it runs) or else
// through the WebAssembly chain. A changed `pl0.path` restarts the server.
import * as vscode from 'vscode';
import { LanguageClient, TransportKind } from 'vscode-languageclient/node';
import { execFile, fork } from 'node:child_process';
import { statSync } from 'node:fs';
import { readFile, mkdtemp, rm, writeFile } from 'node:fs/promises';
import { delimiter, isAbsolute, join } from 'node:path';
import { tmpdir } from 'node:os';
import { Commands, baseName, chainOver } from './commands.js';

let client = null;
let context = null;
let warnedAbout = null;  // the setting's value last warned about: one message, not one a start

// The file a command names: itself when it has a folder, else the first on PATH (with PATHEXT's
// endings on Windows). Null when there is none.
function findCommand(command, env = process.env, platform = process.platform) {
  const endings = platform === 'win32' ? ['', ...(env.PATHEXT ?? '.COM;.EXE;.BAT;.CMD').split(';')] : [''];
  const hasFolder = isAbsolute(command) || /[\\/]/.test(command);
  const folders = hasFolder ? [''] : (env.PATH ?? env.Path ?? '').split(delimiter).filter(Boolean);
  for (const folder of folders) {
    for (const ending of endings) {
      const file = folder === '' ? command + ending : join(folder, command + ending);
      try {
        if (statSync(file).isFile()) return file;
      } catch {
        // not there: the next candidate
      }
    }
  }
  return null;
}

const setting = () => (vscode.workspace.getConfiguration('pl0').get('path') ?? '').trim();

// The pl0 to use, or null: a setting that names nothing found says so once, with a button to
// the setting, and the WebAssembly build serves meanwhile.
function nativePl0() {
  const configured = setting();
  const found = findCommand(configured || 'pl0');
  if (!found && configured && warnedAbout !== configured) {
    warnedAbout = configured;
    notFound(`the pl0.path setting names "${configured}", which was not found`);
  }
  return found;
}

async function notFound(why) {
  const open = 'Open the pl0.path setting';
  const choice = await vscode.window.showWarningMessage(
    `PL/0: ${why}. The extension's own WebAssembly build of the tool chain is used meanwhile.`, open);
  if (choice === open) vscode.commands.executeCommand('workbench.action.openSettings', 'pl0.path');
}

async function startServer() {
  const pl0 = nativePl0();
  const wasm = { module: context.asAbsolutePath('dist/server.mjs'), transport: TransportKind.stdio };
  const options = { documentSelector: [{ language: 'pl0' }] };
  client = new LanguageClient('pl0', 'PL/0', pl0 ? { command: pl0, args: ['lsp'] } : wasm, options);
  try {
    await client.start();
  } catch (error) {  // a pl0 that is there but serves no language server (an old one, say)
    if (!pl0) throw error;
    await client.dispose().catch(() => {});
    notFound(`"${pl0} lsp" did not start (${error.message ?? error})`);
    client = new LanguageClient('pl0', 'PL/0', wasm, options);
    await client.start();
  }
}

async function restartServer() {
  const old = client;
  client = null;
  await old?.stop().catch(() => {});
  await startServer();
}

// Run and Explore through a native pl0: no shell between, so no quoting to get wrong in bash,
// PowerShell or cmd; the terminal runs pl0 itself with its arguments.
const native = {
  async run(document) {
    if (document.isDirty) await document.save();
    const terminal = vscode.window.createTerminal({
      name: `PL/0: ${baseName(document.uri)}`, shellPath: nativePl0(), shellArgs: ['run', document.uri.fsPath],
    });
    terminal.show();
  },
  async explore(document, input) {
    if (document.isDirty) await document.save();
    const folder = await mkdtemp(join(tmpdir(), 'pl0-explore-'));
    try {
      const page = join(folder, 'page.html');
      await writeFile(join(folder, 'input'), input);
      const status = await new Promise((done) => execFile(nativePl0(),
        ['explore', document.uri.fsPath, '-o', page, '--input', join(folder, 'input')],
        (error, _, stderr) => done(error ? { code: error.code, stderr } : { code: 0 })));
      // A compile error or a fault still writes the page that shows it (status 1).
      if (status.code !== 0 && status.code !== 1) throw new Error(`pl0 explore failed: ${status.stderr || status.code}`);
      return { status: status.code, page: await readFile(page, 'utf8') };
    } finally {
      await rm(folder, { recursive: true, force: true });
    }
  },
};

export async function activate(extensionContext) {
  context = extensionContext;
  const commands = new Commands(() => {
    // ELECTRON_RUN_AS_NODE makes VS Code's own executable a plain Node for the child.
    return chainOver(fork(context.asAbsolutePath('dist/chain.mjs'), [],
      { env: { ...process.env, ELECTRON_RUN_AS_NODE: '1' }, stdio: ['ignore', 'ignore', 'ignore', 'ipc'] }));
  }, () => (nativePl0() ? native : null));
  commands.register(context);
  context.subscriptions.push(vscode.workspace.onDidChangeConfiguration((change) => {
    if (change.affectsConfiguration('pl0.path')) restartServer().catch(serverFailed);
  }));
  await startServer().catch(serverFailed);
}

function serverFailed(error) {
  vscode.window.showErrorMessage(`PL/0: the language server did not start: ${error.message ?? error}`);
}

export function deactivate() {
  return client?.stop();
}
