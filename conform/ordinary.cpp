// Ordinary PL/0, read by one recursive descent that can also print what it reads: the check
// and the layout can never disagree about where a statement ends.
#include "ordinary.h"

#include <vector>

#include "source_spans.h"
#include "vocabulary.h"

namespace pl0::conform {

namespace {

struct NotOrdinary {};

// Bodies up to this long stay on the line of their `then`, `do` or `else`.
constexpr std::size_t short_line = 60;
// Deeper than this is no case anyone reads, and the recursion stays well inside the stack.
constexpr int deepest = 100;

class Reader {
 public:
  Reader(const std::string& source, bool print) : source_(source), print_(print) {
    spans_ = tokeniser::symbol_spans(source);
  }

  std::string program() {
    block(0);
    take(period_sym);
    if (k_ != spans_.size()) throw NotOrdinary{};
    lines_.push_back(line_);
    std::string text;
    for (const std::string& l : lines_) text += l + "\n";
    return text;
  }

 private:
  int symbol() const { return k_ < spans_.size() ? spans_[k_].symbol : -1; }
  bool at(int s) const { return symbol() == s; }
  bool at_relation() const { return symbol() >= eq_sym && symbol() <= geq_sym; }

  // The current symbol into the line, with the blank a reader expects before it.
  void take() {
    if (k_ >= spans_.size()) throw NotOrdinary{};
    const tokeniser::Span& s = spans_[k_++];
    if (!print_) return;
    const std::string word = source_.substr(static_cast<std::size_t>(s.from), static_cast<std::size_t>(s.to - s.from));
    const bool tight = s.symbol == semicolon_sym || s.symbol == comma_sym || s.symbol == rparent_sym ||
                       s.symbol == rbracket_sym || s.symbol == period_sym ||
                       (s.symbol == lbracket_sym && previous_ == identifier_sym);
    const bool line_start = line_.find_first_not_of(' ') == std::string::npos;
    if (!line_start && !tight && !glue_) line_ += ' ';
    line_ += word;
    glue_ = s.symbol == lparent_sym || s.symbol == lbracket_sym;
    previous_ = s.symbol;
  }
  void take(int s) {
    if (!at(s)) throw NotOrdinary{};
    take();
  }
  void new_line(int indent) {
    if (line_.find_first_not_of(' ') != std::string::npos) lines_.push_back(line_);
    line_ = std::string(static_cast<std::size_t>(2 * indent), ' ');
  }
  void sign() {
    if (at(plus_sym) || at(minus_sym)) {
      take();
      glue_ = true;
    }
  }

  // block = {const-declaration | var-declaration | procedure-declaration} statement
  void block(int indent) {
    if (++depth_ > deepest) throw NotOrdinary{};
    for (;;) {
      if (at(const_sym)) {
        new_line(indent);
        take();
        do {
          take(identifier_sym);
          take(eq_sym);
          sign();
          take(number_sym);
        } while (at(comma_sym) && (take(), true));
        take(semicolon_sym);
      } else if (at(var_sym) || at(int_sym)) {
        new_line(indent);
        take();
        do {
          take(identifier_sym);
          if (at(lbracket_sym)) {
            take();
            take(number_sym);
            take(rbracket_sym);
          }
        } while (at(comma_sym) && (take(), true));
        take(semicolon_sym);
      } else if (at(procedure_sym)) {
        new_line(indent);
        take();
        take(identifier_sym);
        take(semicolon_sym);
        block(indent + 1);
        take(semicolon_sym);
      } else {
        break;
      }
    }
    new_line(indent);
    statement(indent);
    --depth_;
  }

  // A statement's body after `then`, `do` or `else`: a begin, or a short simple statement,
  // on the same line; anything else on a line of its own.
  void body(int indent) {
    if (at(begin_sym) || !print_) return statement(indent);
    Reader alone = *this;
    alone.lines_.clear();
    alone.line_.clear();
    alone.statement(indent + 1);
    if (alone.lines_.empty() && line_.size() + alone.line_.size() < short_line) return statement(indent);
    new_line(indent + 1);
    statement(indent + 1);
  }

  void statement(int indent) {
    if (++depth_ > deepest) throw NotOrdinary{};
    switch (symbol()) {
      case identifier_sym:
        variable();
        take(becomes_sym);
        if (at(string_sym)) take(); else expression();
        break;
      case call_sym: take(); take(identifier_sym); break;
      case begin_sym:
        take();
        new_line(indent + 1);
        statement(indent + 1);
        while (at(semicolon_sym)) {
          take();
          new_line(indent + 1);
          statement(indent + 1);
        }
        new_line(indent);
        take(end_sym);
        break;
      case if_sym: {
        take();
        condition();
        take(then_sym);
        const bool block_body = at(begin_sym);
        body(indent);
        if (at(else_sym)) {
          if (!block_body) new_line(indent);
          take();
          body(indent);
        }
        break;
      }
      case while_sym: take(); condition(); take(do_sym); body(indent); break;
      case write_sym: case putc_sym: take(); expression(); break;
      case read_sym: case getc_sym: take(); variable(); break;
      case semicolon_sym: case end_sym: case period_sym: break;  // the empty statement
      default: throw NotOrdinary{};
    }
    --depth_;
  }

  void variable() {
    take(identifier_sym);
    if (at(lbracket_sym)) {
      take();
      expression();
      take(rbracket_sym);
    }
  }

  void condition() {
    if (at(odd_sym)) {
      take();
      return expression();
    }
    expression();
    if (!at_relation()) throw NotOrdinary{};
    take();
    expression();
  }

  void expression() {
    if (++depth_ > deepest) throw NotOrdinary{};
    sign();
    term();
    while (at(plus_sym) || at(minus_sym)) {
      take();
      term();
    }
    --depth_;
  }

  void term() {
    factor();
    while (at(times_sym) || at(slash_sym) || at(mod_sym)) {
      take();
      factor();
    }
  }

  // factor = name ["[" expression "]"] | number | "(" expression ")": exactly one.
  void factor() {
    if (at(identifier_sym)) return variable();
    if (at(number_sym)) return take();
    take(lparent_sym);
    expression();
    take(rparent_sym);
  }

  const std::string& source_;
  bool print_;
  std::vector<tokeniser::Span> spans_;
  std::size_t k_ = 0;
  int depth_ = 0;
  std::vector<std::string> lines_;
  std::string line_;
  bool glue_ = false;  // no blank before the next symbol
  int previous_ = -1;
};

}  // namespace

bool ordinary(const std::string& source) {
  try {
    Reader(source, false).program();
    return true;
  } catch (const NotOrdinary&) {
    return false;
  }
}

std::optional<std::string> laid_out(const std::string& source) {
  try {
    return Reader(source, true).program();
  } catch (const NotOrdinary&) {
    return std::nullopt;
  }
}

}  // namespace pl0::conform
