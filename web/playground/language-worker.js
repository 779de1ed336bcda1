// The language server (web/wasm/language_server.cpp) in a worker of its own: typing is never
// held up by a run, and a run's Stop never ends the server. Each message from the page is one
// message of the protocol, as JSON text; each reply goes back the same way.
import createServer from './pl0_language_server.mjs';

const ready = createServer();

// Messages that come while the module loads wait in order on the same promise.
self.onmessage = async ({ data: message }) => {
  const module = await ready;
  const size = module.lengthBytesUTF8(message) + 1;
  const bytes = module._malloc(size);
  module.stringToUTF8(message, bytes, size);
  const replies = module.UTF8ToString(module._pl0_lsp(bytes));
  module._free(bytes);
  for (const reply of replies.split('\n')) if (reply !== '') self.postMessage(reply);
};
