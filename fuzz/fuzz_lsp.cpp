// pl0 lsp, fed anything: the input is a conversation of messages separated by blank lines, so
// that a document can be opened and then asked about. Whatever arrives, the server must not
// crash, every request must get its answer, and every answer must be JSON that can be sent.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  pl0::lsp::Server server;
  for (std::size_t from = 0; from <= input.size() && !server.exited();) {
    const std::size_t end = std::min(input.find("\n\n", from), input.size());
    const std::string message = input.substr(from, end - from);
    from = end + 2;
    const auto replies = server.handle(message);
    for (const auto& reply : replies) {
      if (pl0::lsp::text_of(reply).empty()) __builtin_trap();
    }
    // A request (anything with an id, or what is no message at all) is always answered.
    const auto parsed = nlohmann::json::parse(message, nullptr, false);
    const bool notification = parsed.is_object() && !parsed.contains("id") && parsed.contains("method");
    if (!notification && replies.empty()) __builtin_trap();
  }
  // The same bytes as a framed stream.
  std::istringstream in(input);
  std::ostringstream out;
  pl0::lsp::serve(in, out);
  return 0;
}
