// Its own scanner rather than the Tokeniser's: the Tokeniser's scanner stops at the first
// error and holds global state, and the server must scan every byte of any text.
#include "words.h"

#include <cstring>

#include "source_spans.h"
#include "vocabulary.h"

namespace pl0::lsp {

namespace {

// As the Tokeniser reads bytes: every byte from 128 up is a blank, as are the controls.
bool is_blank(unsigned char c) {
  return c <= 32 || c >= 128;
}
bool is_letter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(unsigned char c) {
  return c >= '0' && c <= '9';
}

struct Scan {
  const std::string& s;
  Words& out;
  long at = 0;

  long size() const { return static_cast<long>(s.size()); }
  unsigned char byte(long k) const { return k < size() ? static_cast<unsigned char>(s[static_cast<std::size_t>(k)]) : 0; }

  void unclosed(Words::Open kind, long from) {
    out.open = kind;
    out.open_at = from;
    at = size();
  }

  // A block comment's opening star cannot close it: "(*)" is still open.
  void block_comment(long from, char close) {
    for (long k = from + 2; k + 1 < size(); ++k) {
      if (s[static_cast<std::size_t>(k)] == '*' && s[static_cast<std::size_t>(k) + 1] == close) {
        at = k + 2;
        return;
      }
    }
    unclosed(Words::comment, from);
  }

  void until(long from, char close, Words::Open kind) {
    const std::size_t end = s.find(close, static_cast<std::size_t>(from) + 1);
    if (end == std::string::npos) return unclosed(kind, from);
    at = static_cast<long>(end) + 1;
  }

  int operator_word(long from) {
    const char c = s[static_cast<std::size_t>(from)];
    const char next = static_cast<char>(byte(from + 1));
    at = from + 1;
    switch (c) {
      case '+': return plus_sym;
      case '-': return minus_sym;
      case '*': return times_sym;
      case '=': return eq_sym;
      case '#': return neq_sym;
      case '(': if (next == '*') { block_comment(from, ')'); return comment_sym; } return lparent_sym;
      case ')': return rparent_sym;
      case '[': return lbracket_sym;
      case ']': return rbracket_sym;
      case ',': return comma_sym;
      case ';': return semicolon_sym;
      case '.': return period_sym;
      case '%': return mod_sym;
      case '!': return write_sym;
      case '?': return read_sym;
      case '{': until(from, '}', Words::comment); return comment_sym;
      case '/':
        if (next == '*') { block_comment(from, '/'); return comment_sym; }
        if (next == '/') {
          const std::size_t end = s.find('\n', static_cast<std::size_t>(from));
          at = end == std::string::npos ? size() : static_cast<long>(end);
          return comment_sym;
        }
        return slash_sym;
      case '<':
        if (next == '>' || next == '=') ++at;
        return next == '>' ? neq_sym : next == '=' ? leq_sym : les_sym;
      case '>':
        if (next == '=') ++at;
        return next == '=' ? geq_sym : gtr_sym;
      case ':':
        if (next == '=') ++at;
        return next == '=' ? becomes_sym : error_sym;
      default: return error_sym;
    }
  }

  void run() {
    while (at < size()) {
      const unsigned char c = byte(at);
      const long from = at;
      int symbol;
      if (is_blank(c)) {
        ++at;
        continue;
      }
      if (is_letter(c)) {
        while (is_letter(byte(at)) || is_digit(byte(at))) ++at;
        symbol = tokeniser::keyword_symbol(std::string_view(s).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(at - from)));
        if (symbol == not_found) symbol = identifier_sym;
        if (symbol == int_sym) symbol = var_sym;
      } else if (is_digit(c)) {
        while (is_digit(byte(at))) ++at;
        symbol = number_sym;
      } else if (c == '"' || c == '\'') {
        until(from, static_cast<char>(c), Words::string);
        symbol = string_sym;
      } else {
        symbol = operator_word(from);
      }
      out.list.push_back({from, at, symbol});
    }
  }
};

}  // namespace

Words scan_words(const std::string& source) {
  Words words;
  Scan{source, words}.run();
  return words;
}

}  // namespace pl0::lsp
