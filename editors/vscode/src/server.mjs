// pl0 lsp's own server compiled to WebAssembly (web/wasm/language_server.cpp) on standard input
// and output, framed as `pl0 lsp` frames it: what the extension starts when no pl0 is found, in
// the Node that runs VS Code itself, so that nothing need be installed. The module's file sits
// beside this one in the packaged extension.
import createServer from './pl0_language_server.mjs';
import { moduleOptions } from './node-module.mjs';

const server = await createServer(moduleOptions('pl0_language_server.wasm'));
const separator = Buffer.from('\r\n\r\n');
let pending = Buffer.alloc(0);

// One message's JSON in, the replies' JSON out (the module writes them one a line).
function answer(message) {
  const size = Buffer.byteLength(message) + 1;
  const bytes = server._malloc(size);
  server.stringToUTF8(message, bytes, size);
  const replies = server.UTF8ToString(server._pl0_lsp(bytes));
  server._free(bytes);
  for (const reply of replies.split('\n')) {
    if (reply !== '') process.stdout.write(`Content-Length: ${Buffer.byteLength(reply)}\r\n\r\n${reply}`);
  }
  const status = server._pl0_lsp_status();
  if (status >= 0) process.stdout.end(() => process.exit(status));
}

process.stdin.on('data', (chunk) => {
  pending = Buffer.concat([pending, chunk]);
  for (;;) {
    const end = pending.indexOf(separator);
    if (end < 0) return;
    const length = /^content-length:\s*(\d+)\s*$/im.exec(pending.subarray(0, end).toString('latin1'));
    const start = end + separator.length;
    if (length === null) {  // a header without a length frames nothing: pass it over
      pending = pending.subarray(start);
      continue;
    }
    if (pending.length < start + Number(length[1])) return;
    const message = pending.subarray(start, start + Number(length[1])).toString('utf8');
    pending = pending.subarray(start + Number(length[1]));
    answer(message);
  }
});
process.stdin.on('end', () => process.exit(server._pl0_lsp_status() === 0 ? 0 : 1));
