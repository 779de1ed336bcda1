// Every answer is computed from the one Analysis of a document version, never by compiling
// again: a hover or a rename costs a walk over tables already made.
#include "answers.h"

#include <algorithm>
#include <set>

#include "chain.h"
#include "vocabulary.h"
#include "watch.h"

namespace pl0::lsp {

namespace {

// A hover longer than this many lines is cut: a string assignment's code alone can run to
// hundreds of instructions.
constexpr long hover_lines = 60;

json location(const Text& text, const Span& at, const std::string& uri) {
  return {{"uri", uri}, {"range", range_json(text, at)}};
}

// What a declaration is, in words.
std::string described(const Declaration& d) {
  const std::string level = std::to_string(d.level);
  switch (d.kind) {
    case compiler::constant_kind: return "constant `" + d.name + "` = " + std::to_string(d.value);
    case compiler::variable_kind:
      return (d.value > 1 ? "array `" + d.name + "` of " + std::to_string(d.value) + " cells"
                          : "variable `" + d.name + "`") +
             ", level " + level + ", offset " + std::to_string(d.address) + " in its frame";
    default:
      if (!d.code_known) {
        return "procedure `" + d.name + "`, level " + level + " (its code address is known once the Compiler finishes its block)";
      }
      return "procedure `" + d.name + "`, level " + level + ", its code at address " +
             std::to_string(d.address) +
             ". The table's Address column shows 0 for a procedure: the Compiler writes the row "
             "when it meets the name, before the procedure's code has an address.";
  }
}

// The code file's lines of the instructions compiled from source line `line` (from 1), each
// followed by its register operations as the Translator writes them, as many whole instructions
// as fit in `hover_lines`; `rest` says how many lines were left out.
std::string code_of_line(const Analysis& a, long line, std::string& rest) {
  std::vector<std::string> code;
  const std::string& text = a.compiled.code;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t end = std::min(text.find('\n', from), text.size());
    code.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  std::string shown;
  long lines = 0, left_out = 0;
  for (std::size_t address = 0; address < a.compiled.instructions.size(); ++address) {
    const InstructionInfo& i = a.compiled.instructions[address];
    if (i.line != line || address + 1 >= code.size()) continue;
    const long these = 1 + static_cast<long>(i.operations.size());
    if (left_out > 0 || lines + these > hover_lines) {
      left_out += these;
      continue;
    }
    lines += these;
    shown += code[address + 1] + "\n";
    for (const std::string& operation : i.operations) shown += "\t" + operation + "\n";
  }
  rest = left_out > 0 ? "and " + std::to_string(left_out) + " more lines" : "";
  return shown;
}

int token_type(int symbol) {
  if (symbol >= first_keyword && symbol <= last_keyword) return 0;  // keyword
  if (symbol == number_sym) return 1;
  if (symbol == string_sym) return 2;
  if (symbol == comment_sym) return 3;
  return -1;
}

}  // namespace

json position_json(const Text& text, long offset) {
  const Position p = text.position(offset);
  return {{"line", p.line}, {"character", p.character}};
}

json range_json(const Text& text, const Span& at) {
  return {{"start", position_json(text, at.from)}, {"end", position_json(text, at.to)}};
}

json semantic_legend() {
  return {{"tokenTypes", {"keyword", "number", "string", "comment", "variable", "function"}},
          {"tokenModifiers", {"readonly", "declaration", "array"}}};
}

json hover(const Text& text, const Analysis& a, long offset) {
  const int k = declaration_at(a, offset);
  std::string shown;
  if (k >= 0) {
    const Declaration& d = a.declarations[static_cast<std::size_t>(k)];
    shown = d.table_line.empty()
                ? described(d) + "\n\nNot in the symbol table file: " +
                      (a.compiled.error_program == "Tokeniser" ? "the Tokeniser stopped at its error, so the Compiler never ran."
                                                               : "the Compiler stopped at its error before this name.")
                : "```text\n" + a.table_header + "\n" + d.table_line + "\n```\n" + described(d);
  } else {
    std::string rest;
    const std::string code = code_of_line(a, text.position(offset).line + 1, rest);
    if (code.empty()) return nullptr;
    shown = "```text\n" + code + "```" + (rest.empty() ? "" : "\n" + rest);
  }
  return {{"contents", {{"kind", "markdown"}, {"value", shown}}}};
}

json definition(const Text& text, const Analysis& a, long offset, const std::string& uri) {
  const int k = declaration_at(a, offset);
  if (k < 0) return nullptr;
  return location(text, a.declarations[static_cast<std::size_t>(k)].at, uri);
}

json references(const Text& text, const Analysis& a, long offset, bool with_declaration,
                const std::string& uri) {
  json list = json::array();
  const int k = declaration_at(a, offset);
  if (k < 0) return list;
  if (with_declaration) list.push_back(location(text, a.declarations[static_cast<std::size_t>(k)].at, uri));
  for (const Use& u : a.uses) {
    if (u.declaration == k) list.push_back(location(text, u.at, uri));
  }
  return list;
}

json document_symbols(const Text& text, const Analysis& a) {
  // Children before parents cannot happen: a procedure is declared before its names.
  std::vector<json> made(a.declarations.size());
  json top = json::array();
  for (std::size_t k = a.declarations.size(); k-- > 0;) {
    const Declaration& d = a.declarations[k];
    const bool procedure = d.kind == compiler::procedure_kind;
    const int kind = procedure ? 12 : d.kind == compiler::constant_kind ? 14 : 13;
    json symbol = {{"name", d.name},
                   {"kind", kind},
                   {"range", range_json(text, procedure ? d.block : d.at)},
                   {"selectionRange", range_json(text, d.at)},
                   {"children", made[k].is_null() ? json::array() : made[k]}};
    if (d.parent < 0) {
      top.insert(top.begin(), symbol);
    } else {
      json& siblings = made[static_cast<std::size_t>(d.parent)];
      if (siblings.is_null()) siblings = json::array();
      siblings.insert(siblings.begin(), symbol);
    }
  }
  return top;
}

json semantic_tokens(const Text& text, const Analysis& a) {
  struct Token {
    long from, to;
    int type, modifiers;
  };
  std::vector<Token> tokens;
  for (const Word& w : a.words.list) {
    if (w.from >= a.program_end) break;
    if (const int type = token_type(w.symbol); type >= 0) tokens.push_back({w.from, w.to, type, 0});
  }
  auto name_token = [&](const Span& at, const Declaration& d, int modifiers) {
    const bool procedure = d.kind == compiler::procedure_kind;
    if (d.kind == compiler::constant_kind) modifiers |= 1;
    if (d.kind == compiler::variable_kind && d.value > 1) modifiers |= 4;
    tokens.push_back({at.from, at.to, procedure ? 5 : 4, modifiers});
  };
  for (const Declaration& d : a.declarations) name_token(d.at, d, 2);
  for (const Use& u : a.uses) {
    if (u.declaration >= 0) name_token(u.at, a.declarations[static_cast<std::size_t>(u.declaration)], 0);
  }
  std::sort(tokens.begin(), tokens.end(), [](const Token& x, const Token& y) { return x.from < y.from; });
  json data = json::array();
  Position last;
  Text::Walk walk(text);
  for (const Token& t : tokens) {
    // A token spans one line: a comment over several is sent a line at a time.
    for (long from = t.from; from < t.to;) {
      const Position start = walk.at(from);
      const long line_end = std::min(text.line_end(start.line), t.to);
      const Position end = walk.at(line_end);
      if (end.character > start.character) {
        data.insert(data.end(), {start.line - last.line,
                                 start.line == last.line ? start.character - last.character : start.character,
                                 end.character - start.character, t.type, t.modifiers});
        last = start;
      }
      from = line_end + 1;
    }
  }
  return {{"data", data}};
}

json completion(const Analysis& a, long offset) {
  json items = json::array();
  for (int s = first_keyword; s < last_keyword; ++s) {
    items.push_back({{"label", symbol_names[s]}, {"kind", 14}});
  }
  // The names in view at the cursor: declared before it, in a block that has not ended, the
  // innermost of each spelling.
  std::set<std::string> seen;
  for (std::size_t k = a.declarations.size(); k-- > 0;) {
    const Declaration& d = a.declarations[k];
    if (d.at.to > offset || offset > d.visible_to || !seen.insert(d.name).second) continue;
    const int kind = d.kind == compiler::procedure_kind ? 3 : d.kind == compiler::constant_kind ? 21 : 6;
    items.push_back({{"label", d.name}, {"kind", kind}, {"detail", described(d)}});
  }
  return items;
}

json folding_ranges(const Text& text, const Analysis& a) {
  json ranges = json::array();
  std::vector<long> open;
  for (const Word& w : a.words.list) {
    if (w.symbol == begin_sym) open.push_back(w.from);
    const bool closes = w.symbol == end_sym && !open.empty();
    const long from = closes ? open.back() : w.from;
    if (closes) open.pop_back();
    if (!closes && w.symbol != comment_sym) continue;
    // A comment folds over its own lines only: the last byte it holds, not the one after.
    const long first = text.line_of(from), last = text.line_of(w.to - 1);
    if (last > first) {
      json range = {{"startLine", first}, {"endLine", last}};
      if (w.symbol == comment_sym) range["kind"] = "comment";
      ranges.push_back(range);
    }
  }
  return ranges;
}

}  // namespace pl0::lsp
