// The PL/0 extension: starts `pl0 lsp` for .pl0 files (errors, hover, definitions, colours
// and the rest come from the tool chain's own Compiler), and offers "PL/0: Run" (in a
// terminal, where the program reads its input) and "PL/0: Explore" (the explorer's page of the
// current file, opened in the browser).
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');
const { execFile } = require('node:child_process');
const { join, basename } = require('node:path');
const { tmpdir } = require('node:os');

let client;

function pl0Path() {
  return vscode.workspace.getConfiguration('pl0').get('path') || 'pl0';
}

// The current PL/0 file, saved first so that the tool chain sees what the editor shows.
async function currentFile() {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'pl0') {
    vscode.window.showWarningMessage('Open a PL/0 file (.pl0) first.');
    return null;
  }
  if (editor.document.isDirty) await editor.document.save();
  return editor.document.uri.fsPath;
}

// A shell word for the terminal: single quotes, with any single quote closed and reopened.
function quoted(word) {
  return `'${word.replace(/'/g, "'\\''")}'`;
}

async function run() {
  const file = await currentFile();
  if (!file) return;
  const terminal = vscode.window.createTerminal({ name: `PL/0: ${basename(file)}` });
  terminal.show();
  terminal.sendText(`${quoted(pl0Path())} run ${quoted(file)}`);
}

async function explore() {
  const file = await currentFile();
  if (!file) return;
  const page = join(tmpdir(), `${basename(file, '.pl0')}-explorer.html`);
  execFile(pl0Path(), ['explore', file, '-o', page], (error, stdout, stderr) => {
    // A compile error or a fault still writes the page that shows it (status 1).
    if (error && error.code !== 1) {
      vscode.window.showErrorMessage(`pl0 explore failed: ${stderr || error.message}`);
      return;
    }
    vscode.env.openExternal(vscode.Uri.file(page));
  });
}

function activate(context) {
  client = new LanguageClient('pl0', 'PL/0',
    { command: pl0Path(), args: ['lsp'] },
    { documentSelector: [{ language: 'pl0' }] });
  client.start();
  context.subscriptions.push(
    vscode.commands.registerCommand('pl0.run', run),
    vscode.commands.registerCommand('pl0.explore', explore));
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
