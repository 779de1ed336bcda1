// Rename that never changes what a program means: the program is parsed again with the new
// spelling, and every use must still mean the declaration it meant before. Where a use cannot
// be known (a stretch that does not parse) or would change, nothing is edited and the student
// is told which use it is.
#include <algorithm>

#include "answers.h"
#include "source_spans.h"
#include "scopes.h"
#include "vocabulary.h"
#include "watch.h"

namespace pl0::lsp {

namespace {

std::string line_of(const Text& text, const Span& at) {
  return "line " + std::to_string(text.position(at.from).line + 1);
}

std::string what(const Text& text, const Declaration& d) {
  const char* kind = d.kind == compiler::constant_kind   ? "the constant"
                     : d.kind == compiler::procedure_kind ? "the procedure"
                     : d.value > 1                        ? "the array"
                                                          : "the variable";
  return std::string(kind) + " declared on " + line_of(text, d.at);
}

bool is_name(const std::string& s) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return !s.empty() && letter(s[0]) && std::all_of(s.begin(), s.end(), [&](char c) { return letter(c) || digit(c); });
}

void check_new_name(const std::string& name) {
  if (!is_name(name)) throw Refusal{"`" + name + "` is not a name: a name is a letter followed by letters and digits"};
  if (tokeniser::keyword_symbol(name) != not_found) throw Refusal{"`" + name + "` is a keyword, not a name"};
}

// Every use must mean after the rename what it meant before.
void check_meanings(const Text& text, const Analysis& a, int k, const std::string& name) {
  const Declaration& d = a.declarations[static_cast<std::size_t>(k)];
  std::map<long, std::string> respelled = {{d.at.from, name}};
  for (const Use& u : a.uses) {
    if (u.declaration == k) respelled[u.at.from] = name;
  }
  Analysis after;
  after.words = a.words;
  parse_scopes(text.bytes(), after, respelled);
  if (after.uses.size() != a.uses.size()) throw Refusal{"the program parses differently with the new name"};
  for (std::size_t u = 0; u < a.uses.size(); ++u) {
    const int before = a.uses[u].declaration, now = after.uses[u].declaration;
    if (before == now) continue;
    std::string place = "`" + spelling(text.bytes(), a.uses[u].at);
    place += "` on ";
    place += line_of(text, a.uses[u].at);
    std::string refusal;
    if (before == k) {
      refusal = "the use of " + place;
      refusal += " would then mean ";
      refusal += what(text, a.declarations[static_cast<std::size_t>(now)]);
      refusal += " instead";
    } else {
      refusal = place;
      refusal += before < 0 ? " is declared nowhere"
                            : " means " + what(text, a.declarations[static_cast<std::size_t>(before)]);
      refusal += "; after the rename it would mean ";
      refusal += what(text, d);
    }
    throw Refusal{refusal};
  }
}

}  // namespace

json prepare_rename(const Text& text, const Analysis& a, long offset) {
  const NameAt n = name_at(a, offset);
  if (n.declaration < 0) return nullptr;
  const Span& at = n.use >= 0 ? a.uses[static_cast<std::size_t>(n.use)].at
                              : a.declarations[static_cast<std::size_t>(n.declaration)].at;
  return {{"range", range_json(text, at)}, {"placeholder", spelling(text.bytes(), at)}};
}

json rename(const Text& text, const Analysis& a, long offset, const std::string& name,
            const std::string& uri) {
  const int k = declaration_at(a, offset);
  if (k < 0) throw Refusal{"there is no declared name here to rename"};
  const Declaration& d = a.declarations[static_cast<std::size_t>(k)];
  check_new_name(name);
  for (const Use& u : a.uses) {
    const std::string spelt = spelling(text.bytes(), u.at);
    if (!u.certain && (spelt == d.name || spelt == name)) {
      throw Refusal{"`" + spelt + "` on " + line_of(text, u.at) +
                    " stands where the program does not parse, so what it means cannot be known: mend the error first"};
    }
  }
  for (const Declaration& e : a.declarations) {
    if (&e != &d && e.parent == d.parent && e.name == name) {
      throw Refusal{"`" + name + "` is already declared in the same block, on " + line_of(text, e.at)};
    }
  }
  check_meanings(text, a, k, name);
  json edits = json::array();
  edits.push_back({{"range", range_json(text, d.at)}, {"newText", name}});
  for (const Use& u : a.uses) {
    if (u.declaration == k) edits.push_back({{"range", range_json(text, u.at)}, {"newText", name}});
  }
  return {{"changes", {{uri, edits}}}};
}

}  // namespace pl0::lsp
