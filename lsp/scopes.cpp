// A recursive-descent parser like the Compiler's, but one that cannot fail: each rule consumes
// at least one word and returns, and a depth cap stands in for the Compiler's nesting error.
#include "scopes.h"

#include <unordered_map>

#include "vocabulary.h"
#include "watch.h"
#include "wrapping.h"

namespace pl0::lsp {

namespace {

// Far deeper than any program a student writes, and shallow enough for a worker's small stack:
// a construct nested deeper is skipped a word at a time instead of followed.
constexpr int deepest = 256;

bool starts_keyword_statement(int symbol) {
  switch (symbol) {
    case call_sym: case begin_sym: case if_sym: case while_sym:
    case write_sym: case putc_sym: case read_sym: case getc_sym: return true;
    default: return false;
  }
}

class Parser {
 public:
  Parser(const std::string& source, Analysis& a, const std::map<long, std::string>& respelled)
      : source_(source), a_(a), respelled_(respelled) {
    for (const Word& w : a.words.list) {
      if (w.symbol != comment_sym) words_.push_back(w);
    }
  }

  // program = block "."
  void parse_program() {
    parse_block(-1, 0);
    close_scope(0, static_cast<long>(source_.size()));
    for (;;) {
      if (current() == eof_sym) {
        a_.program_end = static_cast<long>(source_.size());
        return;
      }
      if (current() == period_sym) {
        a_.program_end = word().to;
        return;
      }
      // Statements after the main block's own: most likely its `begin` is missing.
      if (starts_statement()) {
        parse_statement();
      } else {
        stumble();
      }
    }
  }

 private:
  int current() const { return at_ < words_.size() ? words_[at_].symbol : eof_sym; }
  int next() const { return at_ + 1 < words_.size() ? words_[at_ + 1].symbol : eof_sym; }
  Word word() const {
    const long end = static_cast<long>(source_.size());
    return at_ < words_.size() ? words_[at_] : Word{end, end, eof_sym};
  }
  long previous_end() const { return at_ > 0 ? words_[at_ - 1].to : 0; }
  void advance() {
    if (at_ < words_.size()) ++at_;
  }
  bool accept(int symbol) {
    if (current() != symbol) return false;
    advance();
    return true;
  }
  // A period with words after it is a slip, not the program's end: the Tokeniser would stop
  // there, but the student means more.
  bool final_period() const { return current() == period_sym && at_ + 1 == words_.size(); }

  std::string name_of(const Word& w) const {
    const auto respelled = respelled_.find(w.from);
    return respelled != respelled_.end() ? respelled->second : spelling(source_, w);
  }

  bool starts_statement() const {
    return starts_keyword_statement(current()) || (current() == identifier_sym && (next() == becomes_sym || next() == lbracket_sym));
  }

  bool at_boundary() const {
    switch (current()) {
      case semicolon_sym: case end_sym: case else_sym: case then_sym: case do_sym:
      case const_sym: case var_sym: case procedure_sym: case period_sym: case eof_sym: return true;
      default: return starts_keyword_statement(current()) || (current() == identifier_sym && next() == becomes_sym);
    }
  }

  // Skips at least one word, up to the next boundary; the names skipped are uses by spelling.
  void stumble() {
    if (current() == eof_sym) return;
    const long from = word().from;
    do {
      if (current() == identifier_sym) use(false, false);
      advance();
    } while (!at_boundary());
    if (!a_.skipped.empty() && a_.skipped.back().to == from) {
      a_.skipped.back().to = previous_end();
    } else {
      a_.skipped.push_back({from, previous_end(), 0});
    }
  }

  int find(const std::string& name) const {
    const auto found = visible_.find(name);
    return found == visible_.end() || found->second.empty() ? -1 : found->second.back();
  }

  int declare(const Word& w, int kind, int value) {
    Declaration d;
    d.name = name_of(w);
    d.kind = kind;
    d.level = level_;
    d.value = value;
    d.at = {w.from, w.to, 0};
    d.parent = owner_;
    d.visible_to = -1;
    if (kind == compiler::variable_kind) {
      d.address = data_address_;
      data_address_ = wrap_add(data_address_, value);
    }
    const int k = static_cast<int>(a_.declarations.size());
    a_.declarations.push_back(d);
    visible_[d.name].push_back(k);
    in_view_.push_back(k);
    return k;
  }

  // The names declared since `from` go out of view at `end`.
  void close_scope(std::size_t from, long end) {
    while (in_view_.size() > from) {
      Declaration& d = a_.declarations[static_cast<std::size_t>(in_view_.back())];
      d.visible_to = end;
      visible_[d.name].pop_back();
      in_view_.pop_back();
    }
  }

  // The current identifier as a use; returns its declaration.
  int use(bool writes, bool certain, bool called = false) {
    const Word w = word();
    const int k = find(name_of(w));
    a_.uses.push_back({{w.from, w.to, 0}, k, writes, certain, called});
    return k;
  }

  // A constant index: a number or constant, perhaps negated, alone between the brackets.
  bool constant_index(std::size_t from, std::size_t to, std::int32_t& value) const {
    const bool negative = to - from == 2 && words_[from].symbol == minus_sym;
    if (to - from != 1 && !negative) return false;
    const Word& w = words_[to - 1];
    if (w.symbol == number_sym) {
      value = compiler::word_to_int(spelling(source_, w));
    } else if (w.symbol == identifier_sym) {
      const int k = find(name_of(w));
      if (k < 0 || a_.declarations[static_cast<std::size_t>(k)].kind != compiler::constant_kind) return false;
      value = a_.declarations[static_cast<std::size_t>(k)].value;
    } else {
      return false;
    }
    if (negative) value = wrap_neg(value);
    return true;
  }

  // index = "[" expression "]"   (the "[" is current), of the array `target`
  void parse_index(int target) {
    advance();
    const std::size_t from = at_;
    parse_expression();
    std::int32_t index = 0;
    if (target >= 0 && current() == rbracket_sym && constant_index(from, at_, index)) {
      const Declaration& d = a_.declarations[static_cast<std::size_t>(target)];
      if (d.kind == compiler::variable_kind && (index < 0 || index >= d.value)) {
        const std::string cells = d.value > 1 ? "has the cells 0 to " + std::to_string(d.value - 1) : "is a single cell";
        a_.warnings.push_back({{words_[from].from, words_[at_ - 1].to, 0}, "index-outside",
                               "`" + d.name + "` " + cells + ": index " + std::to_string(index) +
                                   " reads or writes a cell that is not its own"});
      }
    }
    accept(rbracket_sym);
  }

  // factor = { identifier ["[" expression "]"] | number | "(" expression ")" }
  // A name followed by ":=" starts the next statement instead: its ";" is missing.
  void parse_factor() {
    for (;;) {
      if (current() == identifier_sym && next() != becomes_sym) {
        const int k = use(false, true);
        advance();
        if (current() == lbracket_sym) parse_index(k);
      } else if (current() == number_sym) {
        advance();
      } else if (current() == lparent_sym) {
        advance();
        parse_expression();
        accept(rparent_sym);
      } else {
        return;
      }
    }
  }

  // term = factor { ("*" | "/" | "mod") factor }
  void parse_term() {
    parse_factor();
    while (current() == times_sym || current() == slash_sym || current() == mod_sym) {
      advance();
      parse_factor();
    }
  }

  // expression = ["+" | "-"] term { ("+" | "-") term }
  void parse_expression() {
    if (too_deep()) return;
    ++depth_;
    if (current() == plus_sym || current() == minus_sym) advance();
    parse_term();
    while (current() == plus_sym || current() == minus_sym) {
      advance();
      parse_term();
    }
    --depth_;
  }

  // condition = "odd" expression | expression relation expression
  void parse_condition() {
    if (accept(odd_sym)) return parse_expression();
    parse_expression();
    if (current() >= eq_sym && current() <= geq_sym) {
      advance();
      parse_expression();
    }
  }

  // assignment = identifier ["[" expression "]"] ":=" (string | expression)
  void parse_assignment() {
    const int k = use(true, true);
    advance();
    if (current() == lbracket_sym) parse_index(k);
    if (current() == eq_sym) {
      a_.mends.push_back({Mend::becomes, word(), word().from});
      advance();
    } else if (!accept(becomes_sym)) {
      return;
    }
    if (!accept(string_sym)) parse_expression();
  }

  // compound = "begin" statement { ";" statement } "end"
  void parse_compound() {
    advance();
    parse_statement();
    for (;;) {
      if (accept(semicolon_sym)) {
        parse_statement();
      } else if (accept(end_sym) || current() == const_sym || current() == var_sym ||
                 current() == procedure_sym || current() == eof_sym || final_period()) {
        return;  // at its `end`, or where the `end` is missing
      } else if (starts_statement()) {
        // The Compiler stops at the keyword, or for a name at its ":=".
        const Word stumbled = current() == identifier_sym ? words_[at_ + 1] : word();
        a_.mends.push_back({Mend::semicolon, stumbled, previous_end()});
        parse_statement();
      } else {
        stumble();
      }
    }
  }

  bool too_deep() {
    if (depth_ < deepest) return false;
    stumble();
    return true;
  }

  // statement = assignment | call | compound | if | while | write | putc | read | getc | nothing
  void parse_statement() {
    if (too_deep()) return;
    ++depth_;
    switch (current()) {
      case identifier_sym: parse_assignment(); break;
      case call_sym:
        advance();
        if (current() == identifier_sym) {
          use(false, true, true);
          advance();
        }
        break;
      case begin_sym: parse_compound(); break;
      case if_sym:
        advance();
        parse_condition();
        accept(then_sym);
        parse_statement();
        if (accept(else_sym)) parse_statement();
        break;
      case while_sym:
        advance();
        parse_condition();
        accept(do_sym);
        parse_statement();
        break;
      case write_sym: case putc_sym: advance(); parse_expression(); break;
      case read_sym: case getc_sym:
        advance();
        if (current() == identifier_sym) {
          const int k = use(true, true);
          advance();
          if (current() == lbracket_sym) parse_index(k);
        }
        break;
      default: break;  // nothing
    }
    --depth_;
  }

  // A ";" that ends a declaration or a procedure: the Compiler stops at the word after it.
  void expect_semicolon() {
    if (accept(semicolon_sym)) return;
    if (opens_block_part()) a_.mends.push_back({Mend::ending, word(), previous_end()});
  }

  bool opens_block_part() const {
    return current() == const_sym || current() == var_sym || current() == procedure_sym || starts_keyword_statement(current());
  }

  // After a declaration that does not parse: on to its ";" or the next boundary.
  void skip_declaration() {
    while (!at_boundary()) stumble();
    accept(semicolon_sym);
  }

  // const-list = "const" identifier "=" ["-"] number { "," ... } ";"
  // var-list = "var" identifier ["[" number "]"] { "," ... } ";"
  void parse_declarations(int kind) {
    advance();
    for (;;) {
      if (current() == identifier_sym) {
        const Word name = word();
        advance();
        std::int32_t value = 1;
        if (kind == compiler::constant_kind) {
          value = 0;
          if (current() == eq_sym || current() == becomes_sym) advance();
          const bool negative = accept(minus_sym);
          if (current() == number_sym) {
            value = compiler::word_to_int(spelling(source_, word()));
            if (negative) value = wrap_neg(value);
            advance();
          }
        } else if (accept(lbracket_sym)) {
          if (current() == number_sym) {
            value = wrap_add(compiler::word_to_int(spelling(source_, word())), 1);
            advance();
          }
          accept(rbracket_sym);
        }
        declare(name, kind, value);
      }
      if (accept(comma_sym)) continue;
      if (current() != semicolon_sym && opens_block_part()) return expect_semicolon();
      if (accept(semicolon_sym)) return;
      return skip_declaration();
    }
  }

  // procedure-declaration = "procedure" identifier ";" block ";"
  void parse_procedure() {
    const Word keyword = word();
    advance();
    int k = -1;
    if (current() == identifier_sym) {
      k = declare(word(), compiler::procedure_kind, 0);
      advance();
    }
    expect_semicolon();
    const int saved_owner = owner_, saved_address = data_address_;
    const std::size_t saved_view = in_view_.size();
    ++level_;
    owner_ = k;
    data_address_ = compiler::first_data_address;
    parse_block(k, keyword.from);
    close_scope(saved_view, previous_end());
    --level_;
    owner_ = saved_owner;
    data_address_ = saved_address;
    if (current() == period_sym && !final_period()) {
      advance();
    } else {
      expect_semicolon();
    }
    if (k >= 0) a_.declarations[static_cast<std::size_t>(k)].block = {keyword.from, previous_end(), 0};
  }

  // block = { const-list | var-list | procedure-declaration } statement
  void parse_block(int owner, long from) {
    a_.blocks.push_back({owner, word().from, {from, 0, 0}});
    const std::size_t own = a_.blocks.size() - 1;
    for (;;) {
      if (current() == const_sym) {
        parse_declarations(compiler::constant_kind);
      } else if (current() == var_sym) {
        parse_declarations(compiler::variable_kind);
      } else if (current() == procedure_sym) {
        if (too_deep()) continue;
        ++depth_;
        parse_procedure();
        --depth_;
      } else {
        break;
      }
    }
    parse_statement();
    a_.blocks[own].extent.to = previous_end();
  }

  const std::string& source_;
  Analysis& a_;
  const std::map<long, std::string>& respelled_;
  std::vector<Word> words_;  // without the comments
  std::size_t at_ = 0;
  std::unordered_map<std::string, std::vector<int>> visible_;  // each spelling's declarations in view
  std::vector<int> in_view_;  // every declaration in view, oldest first
  int level_ = 0, owner_ = -1, depth_ = 0;
  int data_address_ = compiler::first_data_address;
};

}  // namespace

void parse_scopes(const std::string& source, Analysis& a, const std::map<long, std::string>& respelled) {
  Parser(source, a, respelled).parse_program();
}

void warn_about_names(Analysis& a) {
  struct Seen {
    int uses = 0, writes = 0, unsure = 0, first_read = -1;
  };
  std::vector<Seen> seen(a.declarations.size());
  for (std::size_t u = 0; u < a.uses.size(); ++u) {
    const Use& use = a.uses[u];
    if (use.declaration < 0) continue;
    Seen& s = seen[static_cast<std::size_t>(use.declaration)];
    ++s.uses;
    if (!use.certain) ++s.unsure;
    if (use.writes) ++s.writes;
    if (use.certain && !use.writes && !use.called && s.first_read < 0) s.first_read = static_cast<int>(u);
  }
  for (std::size_t k = 0; k < a.declarations.size(); ++k) {
    const Declaration& d = a.declarations[k];
    const Seen& s = seen[k];
    if (s.uses == 0) {
      const char* what = d.kind == compiler::procedure_kind ? "` is declared but never called"
                                                            : "` is declared but never used";
      a.warnings.push_back({d.at, "never-used", "`" + d.name + what, true});
    } else if (d.kind == compiler::variable_kind && s.writes == 0 && s.unsure == 0 && s.first_read >= 0) {
      a.warnings.push_back({a.uses[static_cast<std::size_t>(s.first_read)].at, "never-assigned",
                            "`" + d.name + "` is read but nothing ever gives it a value"});
    }
  }
}

}  // namespace pl0::lsp
