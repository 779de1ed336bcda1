// "PL/0: Run" and "PL/0: Explore" through the WebAssembly tool chain (chain.mjs), the same in
// the desktop and the web extension: the output in an output channel, the explorer's page in a
// webview. A chain is { ask(task), stop() }, started on first use; a run can be stopped from
// its notification, which ends the chain's process or worker (a program may loop forever).
import * as vscode from 'vscode';

// The PL/0 document of the active editor, or null with a word to the student.
export function currentDocument() {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'pl0') {
    vscode.window.showWarningMessage('Open a PL/0 file (.pl0) first.');
    return null;
  }
  return editor.document;
}

export const baseName = (uri) => uri.path.slice(uri.path.lastIndexOf('/') + 1);

// A chain over a port: a child process or a worker seen as { on(event, listener), send(message),
// kill() } with 'message' and 'exit' events. A port that ends fails whatever it was asked.
export function chainOver(port) {
  const waiting = new Map();
  let next = 0;
  const failAll = (why) => {
    for (const job of waiting.values()) job.reject(new Error(why));
    waiting.clear();
  };
  port.on('message', ({ id, result, error }) => {
    const job = waiting.get(id);
    waiting.delete(id);
    if (error === undefined) job?.resolve(result);
    else job?.reject(new Error(error));
  });
  port.on('exit', () => failAll('the tool chain stopped'));
  return {
    ask: (task) => new Promise((resolve, reject) => {
      waiting.set(++next, { resolve, reject });
      port.send({ id: next, ...task });
    }),
    stop() {
      port.kill();
      failAll('stopped');
    },
  };
}

export class Commands {
  // `native()` gives the pl0 to run through ({ run(document, input), explore(document, input) }
  // returning the same results as the chain), or null for the WebAssembly chain.
  constructor(startChain, native = () => null) {
    this.startChain = startChain;
    this.native = native;
    this.chain = null;
    this.output = vscode.window.createOutputChannel('PL/0 Run');
    this.inputs = new Map();  // the input last typed for each file
    this.panel = null;
  }

  ask(task) {
    this.chain ??= this.startChain();
    return this.chain.ask(task);
  }

  stop() {
    this.chain?.stop();
    this.chain = null;
  }

  // The program's input, asked for only when its code reads; undefined when the student
  // cancels.
  async input(document) {
    if (!await this.ask({ task: 'reads', source: document.getText() })) return '';
    const key = document.uri.toString();
    const typed = await vscode.window.showInputBox({
      title: `${baseName(document.uri)} reads its input`,
      prompt: 'The program\'s standard input (numbers apart by blanks; a line break follows)',
      value: this.inputs.get(key) ?? '',
    });
    if (typed !== undefined) this.inputs.set(key, typed);
    return typed === undefined ? undefined : `${typed}\n`;
  }

  // Runs `job` under a notification whose Cancel stops it; null when stopped.
  async working(title, job) {
    return vscode.window.withProgress(
      { location: vscode.ProgressLocation.Notification, title, cancellable: true },
      async (_, token) => {
        token.onCancellationRequested(() => this.stop());
        try {
          return await job();
        } catch (error) {
          if (token.isCancellationRequested) return null;
          throw error;
        }
      });
  }

  async run() {
    const document = currentDocument();
    if (!document) return;
    const native = document.isUntitled ? null : this.native();  // pl0 needs a file
    if (native) {  // in a terminal, where the program reads as it runs
      await native.run(document);
      return;
    }
    const input = await this.input(document);
    if (input === undefined) return;
    const name = baseName(document.uri);
    this.output.clear();
    this.output.show(true);
    const ran = await this.working(`Running ${name}`,
      () => this.ask({ task: 'run', source: document.getText(), input }));
    if (ran === null) {
      this.output.appendLine('[stopped]');
      return;
    }
    this.output.append(ran.output);
    if (ran.output !== '' && !ran.output.endsWith('\n')) this.output.appendLine('');
    this.output.append(ran.stderr);
    this.output.appendLine(`[${name}: exit status ${ran.status}]`);
  }

  async explore() {
    const document = currentDocument();
    if (!document) return;
    const input = await this.input(document);
    if (input === undefined) return;
    const name = baseName(document.uri);
    const native = document.isUntitled ? null : this.native();  // pl0 needs a file
    const explored = await this.working(`Exploring ${name}`, () => native
      ? native.explore(document, input)
      : this.ask({ task: 'explore', source: document.getText(), input, name }));
    if (explored === null) return;
    if (!this.panel) {
      this.panel = vscode.window.createWebviewPanel('pl0.explorer', '', vscode.ViewColumn.Beside,
        { enableScripts: true, retainContextWhenHidden: true });
      this.panel.onDidDispose(() => { this.panel = null; });
    }
    this.panel.title = `${name} — PL/0 explorer`;
    this.panel.webview.html = explored.page;
    this.panel.reveal(vscode.ViewColumn.Beside);
  }

  register(context) {
    const said = (command) => () => command().catch((error) => {
      this.chain = null;  // a chain that failed is not asked again
      vscode.window.showErrorMessage(`PL/0: ${error.message}`);
    });
    context.subscriptions.push(
      this.output,
      { dispose: () => this.stop() },
      vscode.commands.registerCommand('pl0.run', said(() => this.run())),
      vscode.commands.registerCommand('pl0.explore', said(() => this.explore())));
  }
}
