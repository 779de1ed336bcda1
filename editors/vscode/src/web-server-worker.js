// The language server of the web extension: pl0 lsp's own server compiled to WebAssembly, its
// bytes bundled in, in a worker. The client (vscode-languageclient/browser) posts each message
// of the protocol as an object and reads the replies the same way.
import createServer from 'pl0-wasm/pl0_language_server.mjs';
import wasmBinary from 'pl0-wasm/pl0_language_server.wasm';

// locateFile keeps the module from working out its own address, which a bundle has not.
const ready = createServer({ wasmBinary, locateFile: (file) => file });

// Messages that come while the module loads wait in order on the same promise.
self.onmessage = async ({ data: message }) => {
  const server = await ready;
  const text = JSON.stringify(message);
  const size = server.lengthBytesUTF8(text) + 1;
  const bytes = server._malloc(size);
  server.stringToUTF8(text, bytes, size);
  const replies = server.UTF8ToString(server._pl0_lsp(bytes));
  server._free(bytes);
  for (const reply of replies.split('\n')) if (reply !== '') self.postMessage(JSON.parse(reply));
};
