#include "analysis.h"

#include <sstream>

#include "name_table.h"
#include "parser.h"
#include "token_reader.h"

namespace pl0::lsp {

namespace {

// A declaration whose block has not ended yet; one that never ends is visible to the end.
constexpr long still_open = -1;

// Watches the Compiler's name table: an entry is a declaration while it is in the table, so
// each use is tied to the declaration the Compiler itself found.
class NameWatcher : public compiler::CompileObserver {
 public:
  NameWatcher(Analysis& a, const std::vector<explorer::Span>& tokens) : a_(a), tokens_(tokens) {}

  void emitted(int /*address*/, int /*line*/) override {}

  void name_declared(int index) override {
    const compiler::NameEntry& e = compiler::names.entries[static_cast<std::size_t>(index)];
    Declaration d{e.name, e.kind, e.level, e.address, e.value, token(compiler::reader.identifier_symbol),
                  "", open_.empty() ? -1 : open_.back(), still_open};
    const auto entry = static_cast<std::size_t>(index);
    if (entry >= of_entry_.size()) of_entry_.resize(entry + 1, -1);
    of_entry_[static_cast<std::size_t>(index)] = static_cast<int>(a_.declarations.size());
    a_.declarations.push_back(d);
    if (e.kind == compiler::procedure_kind) open_.push_back(of_entry_[static_cast<std::size_t>(index)]);
  }

  void name_used(int index) override {
    if (index <= 0 || static_cast<std::size_t>(index) >= of_entry_.size()) return;
    a_.uses.push_back({token(compiler::reader.identifier_symbol), of_entry_[static_cast<std::size_t>(index)]});
  }

  // A block ends: its names go out of view here, and a procedure's code address is known.
  void block_compiled(int own, int /*jump*/, int /*body*/, int /*end*/) override {
    const long end = token(compiler::reader.symbol_count - 1).to;
    const int owner = own == 0 || open_.empty() ? -1 : open_.back();
    for (Declaration& d : a_.declarations) {
      if (d.parent == owner && d.visible_to == still_open) d.visible_to = end;
    }
    if (owner >= 0) {
      a_.declarations[static_cast<std::size_t>(owner)].address =
          compiler::names.entries[static_cast<std::size_t>(own)].address;
      open_.pop_back();
    }
  }

 private:
  explorer::Span token(int symbol) const {
    if (symbol < 0 || static_cast<std::size_t>(symbol) >= tokens_.size()) return {0, 0};
    return tokens_[static_cast<std::size_t>(symbol)];
  }

  Analysis& a_;
  const std::vector<explorer::Span>& tokens_;
  std::vector<int> of_entry_;  // the declaration each table entry holds now
  std::vector<int> open_;      // the procedures whose blocks are being compiled
};

}  // namespace

Analysis analyse(const std::string& source) {
  Analysis a;
  a.symbols = explorer::source_symbols(source);
  const std::vector<explorer::Span> tokens = explorer::symbol_spans(source);
  NameWatcher watcher(a, tokens);
  a.compiled = explorer::compile(source, &watcher);
  for (Declaration& d : a.declarations) {
    if (d.visible_to == still_open) d.visible_to = static_cast<long>(source.size());
  }
  std::istringstream table(a.compiled.symbols);
  std::getline(table, a.table_header);
  for (Declaration& d : a.declarations) {
    if (!std::getline(table, d.table_line)) break;
  }
  return a;
}

int declaration_at(const Analysis& a, long offset) {
  for (const Use& u : a.uses) {
    if (u.at.from <= offset && offset <= u.at.to) return u.declaration;
  }
  for (std::size_t k = 0; k < a.declarations.size(); ++k) {
    const explorer::Span& at = a.declarations[k].at;
    if (at.from <= offset && offset <= at.to) return static_cast<int>(k);
  }
  return -1;
}

}  // namespace pl0::lsp
