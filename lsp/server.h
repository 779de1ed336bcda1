// pl0 lsp: a language server (LSP 3.17) over one client's messages. Each version of a document
// is compiled in-process (analysis.h); the answers come from what the Compiler itself did.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis.h"
#include "text.h"

namespace pl0::lsp {

struct Document {
  Text text;
  Analysis analysis;
};

class Server {
 public:
  // One message's text in; the messages to send back (a response, notifications). Anything at
  // all may come in: what is not a message gets the protocol's error.
  std::vector<nlohmann::json> handle(const std::string& message);
  bool exited() const { return exited_; }
  int exit_status() const { return shut_down_ ? 0 : 1; }

 private:
  nlohmann::json request(const std::string& method, const nlohmann::json& params);
  void notification(const std::string& method, const nlohmann::json& params,
                    std::vector<nlohmann::json>& out);
  const Document& document(const nlohmann::json& params) const;

  std::map<std::string, Document> documents_;
  bool shut_down_ = false;
  bool exited_ = false;
};

// Reads messages framed by Content-Length from `in` and answers on `out`, until the client's
// exit or the end of the input. Returns the exit status.
int serve(std::istream& in, std::ostream& out);

// The JSON of a message as it goes out: bytes that are no UTF-8 become U+FFFD, not an error.
std::string text_of(const nlohmann::json& message);

}  // namespace pl0::lsp
