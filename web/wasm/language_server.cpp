// The playground's language server: pl0 lsp's own Server (lsp/), compiled to WebAssembly and
// run in a worker of its own (web/playground/language-worker.js), so that the page's editor
// gets its diagnostics, hovers and completions from the same code as VS Code and Vim. The
// worker is the transport: one message's JSON in, the replies out, one a line (a message's
// JSON has no line break of its own).
#include <emscripten.h>

#include <string>

#include "server.h"

namespace {

pl0::lsp::Server server;
std::string replies;  // kept until the next call: the worker copies it out first

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE const char* pl0_lsp(const char* message) {
  replies.clear();
  for (const nlohmann::json& reply : server.handle(message)) {
    replies += pl0::lsp::text_of(reply);
    replies += '\n';
  }
  return replies.c_str();
}

// After the client's exit: the status `pl0 lsp` ends with (0 after a shutdown, else 1); -1 before.
extern "C" EMSCRIPTEN_KEEPALIVE int pl0_lsp_status() {
  return server.exited() ? server.exit_status() : -1;
}
