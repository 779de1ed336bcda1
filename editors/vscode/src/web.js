// The web extension (VS Code in a browser): nothing can be started there, so the language server
// and the tool chain are both the WebAssembly builds, each in a worker of its own bundled with
// its module's bytes: the server's answers never wait on a run, and Stop ends only the run.
import * as vscode from 'vscode';
import { LanguageClient } from 'vscode-languageclient/browser';
import { Commands, chainOver } from './commands.js';

let client = null;

// A worker seen as the port chainOver expects.
function workerPort(url) {
  const worker = new Worker(url);
  return {
    on(event, listener) {
      if (event === 'message') worker.addEventListener('message', ({ data }) => listener(data));
      else worker.addEventListener('error', () => listener());
    },
    send: (message) => worker.postMessage(message),
    kill: () => worker.terminate(),
  };
}

export async function activate(context) {
  const file = (path) => vscode.Uri.joinPath(context.extensionUri, path).toString(true);
  new Commands(() => chainOver(workerPort(file('dist/web/chain-worker.js')))).register(context);
  client = new LanguageClient('pl0', 'PL/0', { documentSelector: [{ language: 'pl0' }] },
    new Worker(file('dist/web/server-worker.js')));
  await client.start();
}

export function deactivate() {
  return client?.stop();
}
