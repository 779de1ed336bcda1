// The protocol over nlohmann-json, which reads messages as well as writing them: the explorer's
// and the conformance kit's JSON are written by hand, only ever written, and built without it.
#include "server.h"

#include <algorithm>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <set>

#include "answers.h"

namespace pl0::lsp {

namespace {

// The protocol's error codes.
constexpr int parse_error = -32700, invalid_request = -32600, method_not_found = -32601,
              invalid_params = -32602, request_failed = -32803;

struct Failure {
  int code;
  std::string message;
};

json capabilities() {
  return {{"positionEncoding", "utf-16"},
          {"textDocumentSync", {{"openClose", true}, {"change", 1}}},
          {"hoverProvider", true},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"renameProvider", {{"prepareProvider", true}}},
          {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
          {"documentSymbolProvider", true},
          {"completionProvider", json::object()},
          {"foldingRangeProvider", true},
          {"semanticTokensProvider", {{"legend", semantic_legend()}, {"full", true}}}};
}

json error_reply(const json& id, int code, const std::string& message) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json diagnostics_of(const std::string& uri, const Document& d) {
  return {{"jsonrpc", "2.0"},
          {"method", "textDocument/publishDiagnostics"},
          {"params", {{"uri", uri}, {"diagnostics", diagnostics(d.text, d.analysis, uri)}}}};
}

Document analysed(const std::string& text) {
  return {Text(text), analyse(text)};
}

}  // namespace

const Document& Server::document(const json& params) const {
  const auto found = documents_.find(params.at("textDocument").at("uri").get<std::string>());
  if (found == documents_.end()) throw Failure{invalid_params, "no such document is open"};
  return found->second;
}

json Server::request(const std::string& method, const json& params) {
  if (method == "initialize") return {{"capabilities", capabilities()}, {"serverInfo", {{"name", "pl0 lsp"}}}};
  if (method == "shutdown") {
    shut_down_ = true;
    return nullptr;
  }
  static const std::set<std::string> about_a_document = {
      "textDocument/hover",         "textDocument/definition",
      "textDocument/references",    "textDocument/rename",
      "textDocument/documentSymbol", "textDocument/semanticTokens/full",
      "textDocument/completion",    "textDocument/foldingRange",
      "textDocument/prepareRename", "textDocument/codeAction"};
  if (about_a_document.count(method) == 0) throw Failure{method_not_found, "unknown method " + method};
  const Document& d = document(params);
  const std::string uri = params["textDocument"]["uri"];
  // A number with a fraction or an exponent is no position (and one too large for a long
  // would not even convert).
  const auto whole = [](const json& n) {
    if (!n.is_number_integer()) throw Failure{invalid_params, "a position is two whole numbers"};
    return n.get<long>();
  };
  const auto offset_of = [&](const json& p) { return d.text.offset({whole(p.at("line")), whole(p.at("character"))}); };
  auto offset = [&] { return offset_of(params.at("position")); };
  if (method == "textDocument/hover") return hover(d.text, d.analysis, offset());
  if (method == "textDocument/definition") return definition(d.text, d.analysis, offset(), uri);
  if (method == "textDocument/references") {
    const bool with_declaration = params.value("/context/includeDeclaration"_json_pointer, false);
    return references(d.text, d.analysis, offset(), with_declaration, uri);
  }
  if (method == "textDocument/prepareRename") return prepare_rename(d.text, d.analysis, offset());
  if (method == "textDocument/codeAction") {
    const json& range = params.at("range");
    return code_actions(d.text, d.analysis, {offset_of(range.at("start")), offset_of(range.at("end")), 0}, uri);
  }
  if (method == "textDocument/rename") {
    return rename(d.text, d.analysis, offset(), params.at("newName").get<std::string>(), uri);
  }
  if (method == "textDocument/documentSymbol") return document_symbols(d.text, d.analysis);
  if (method == "textDocument/semanticTokens/full") return semantic_tokens(d.text, d.analysis);
  if (method == "textDocument/completion") return completion(d.analysis, offset());
  return folding_ranges(d.text, d.analysis);
}

void Server::notification(const std::string& method, const json& params, std::vector<json>& out) {
  if (method == "exit") {
    exited_ = true;
    return;
  }
  if (method == "textDocument/didOpen" || method == "textDocument/didChange") {
    const std::string uri = params.at("textDocument").at("uri");
    const std::string text = method == "textDocument/didOpen"
                                 ? params["textDocument"].at("text").get<std::string>()
                                 : params.at("contentChanges").back().at("text").get<std::string>();
    documents_[uri] = analysed(text);
    out.push_back(diagnostics_of(uri, documents_[uri]));
  } else if (method == "textDocument/didClose") {
    documents_.erase(params.at("textDocument").at("uri").get<std::string>());
  }
  // Any other notification needs nothing.
}

std::vector<json> Server::handle(const std::string& message) {
  std::vector<json> out;
  const json m = json::parse(message, nullptr, false);
  if (m.is_discarded() || !m.is_object()) {
    out.push_back(error_reply(nullptr, m.is_discarded() ? parse_error : invalid_request, "not a message"));
    return out;
  }
  const bool is_request = m.contains("id");
  const json id = is_request ? m["id"] : json(nullptr);
  if (!m.contains("method") || !m["method"].is_string()) {  // not a request: an error, always
    out.push_back(error_reply(id, invalid_request, "a message needs its method"));
    return out;
  }
  try {
    const std::string method = m["method"];
    const json params = m.value("params", json::object());
    if (!is_request) {
      notification(method, params, out);
    } else if (shut_down_ && method != "shutdown") {
      out.push_back(error_reply(id, invalid_request, "the server is shut down"));
    } else {
      out.push_back({{"jsonrpc", "2.0"}, {"id", id}, {"result", request(method, params)}});
    }
  } catch (const Failure& f) {
    if (is_request) out.push_back(error_reply(id, f.code, f.message));
  } catch (const Refusal& r) {
    if (is_request) out.push_back(error_reply(id, request_failed, r.message));
  } catch (const json::exception& e) {
    if (is_request) out.push_back(error_reply(id, invalid_params, e.what()));
  }
  return out;
}

std::string text_of(const json& message) {
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

int serve(std::istream& in, std::ostream& out) {
  Server server;
  std::string line;
  long length = -1;
  while (!server.exited() && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) {  // a header
      const std::string name = "Content-Length:";
      if (line.compare(0, name.size(), name) == 0) length = std::strtol(line.c_str() + name.size(), nullptr, 10);
      continue;
    }
    if (length < 0) continue;  // a message needs its length
    // Read in pieces: a length that the input does not have costs no memory.
    std::string body;
    char piece[65536];
    for (long left = length; left > 0;) {
      in.read(piece, std::min<long>(left, sizeof piece));
      if (in.gcount() == 0) break;
      body.append(piece, static_cast<std::size_t>(in.gcount()));
      left -= in.gcount();
    }
    length = -1;
    for (const json& reply : server.handle(body)) {
      const std::string text = text_of(reply);
      out << "Content-Length: " << text.size() << "\r\n\r\n" << text;
    }
    out.flush();
  }
  return server.exited() ? server.exit_status() : 1;
}

}  // namespace pl0::lsp
