// The Compiler runs first and its name events are tied to the server's own parse by the byte
// where each identifier starts: the two parses never share state, so either may stop early.
#include "analysis.h"

#include <algorithm>
#include <sstream>
#include <unordered_map>

#include "scopes.h"
#include "watch.h"

namespace pl0::lsp {

namespace {

// Watches the Compiler's name table: each entry it declares is tied to the server's own
// declaration of the same word, so that the table's rows, the procedures' code addresses and
// the Compiler's own uses stand beside the server's parse.
class NameWatcher : public compiler::CompileObserver {
 public:
  NameWatcher(Analysis& a, const std::vector<Span>& tokens) : a_(a), tokens_(tokens) {
    for (std::size_t k = 0; k < a.declarations.size(); ++k) by_start_[a.declarations[k].at.from] = static_cast<int>(k);
  }

  void emitted(int /*address*/, int /*line*/) override {}

  void name_declared(int index) override {
    const auto entry = static_cast<std::size_t>(index);
    if (entry >= of_entry_.size()) of_entry_.resize(entry + 1, -1);
    const auto found = by_start_.find(token(compiler::identifier_symbol()).from);
    of_entry_[entry] = found == by_start_.end() ? -1 : found->second;
    declared_.push_back(of_entry_[entry]);
  }

  void name_used(int index) override {
    if (index <= 0 || static_cast<std::size_t>(index) >= of_entry_.size()) return;
    a_.compiler_uses.push_back({token(compiler::identifier_symbol()), of_entry_[static_cast<std::size_t>(index)]});
  }

  void block_compiled(int own, int /*jump*/, int /*body*/, int /*end*/) override {
    if (own <= 0 || static_cast<std::size_t>(own) >= of_entry_.size() || of_entry_[static_cast<std::size_t>(own)] < 0) return;
    Declaration& d = a_.declarations[static_cast<std::size_t>(of_entry_[static_cast<std::size_t>(own)])];
    d.address = compiler::names.entries[static_cast<std::size_t>(own)].address;
    d.code_known = true;
  }

  // The server's declaration of each row of the symbol table file, in order.
  const std::vector<int>& declared() const { return declared_; }

 private:
  Span token(int symbol) const {
    if (symbol < 0 || static_cast<std::size_t>(symbol) >= tokens_.size()) return {0, 0, 0};
    return tokens_[static_cast<std::size_t>(symbol)];
  }

  Analysis& a_;
  const std::vector<Span>& tokens_;
  std::unordered_map<long, int> by_start_;
  std::vector<int> of_entry_;  // the server's declaration each table entry holds now
  std::vector<int> declared_;
};

}  // namespace

Analysis analyse(const std::string& source) {
  Analysis a;
  a.words = scan_words(source);
  parse_scopes(source, a);
  warn_about_names(a);
  const std::vector<Span> tokens = tokeniser::symbol_spans(source);
  NameWatcher watcher(a, tokens);
  a.compiled = pl0::compile(source, &watcher);
  std::istringstream table(a.compiled.symbols);
  std::getline(table, a.table_header);
  for (const int k : watcher.declared()) {
    std::string row;
    if (!std::getline(table, row)) break;
    if (k >= 0) a.declarations[static_cast<std::size_t>(k)].table_line = row;
  }
  return a;
}

NameAt name_at(const Analysis& a, long offset) {
  // Uses and declarations lie in the order of the text; the last that starts at or before
  // the offset is the only one that can hold it.
  const auto holds = [offset](const Span& at) { return at.from <= offset && offset <= at.to; };
  const auto use = std::upper_bound(a.uses.begin(), a.uses.end(), offset,
                                    [](long o, const Use& u) { return o < u.at.from; });
  if (use != a.uses.begin() && holds(std::prev(use)->at)) {
    return {std::prev(use)->declaration, static_cast<int>(std::prev(use) - a.uses.begin())};
  }
  const auto d = std::upper_bound(a.declarations.begin(), a.declarations.end(), offset,
                                  [](long o, const Declaration& x) { return o < x.at.from; });
  if (d != a.declarations.begin() && holds(std::prev(d)->at)) {
    return {static_cast<int>(std::prev(d) - a.declarations.begin()), -1};
  }
  return {};
}

int declaration_at(const Analysis& a, long offset) {
  return name_at(a, offset).declaration;
}

}  // namespace pl0::lsp
