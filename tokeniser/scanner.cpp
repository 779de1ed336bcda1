#include "scanner.h"

#include "vocabulary.h"

namespace pl0::tokeniser {

Scanner scanner;

namespace {

// Bytes 0..32 and 128..255: every byte that is at most 32 when read as a signed 8-bit number.
bool is_blank(int c) {
  return c != end_of_file && (c <= 32 || c >= 128);
}
bool is_letter(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(std::string_view text, std::string_view name) {
  if (text.size() != name.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != name[i]) return false;
  }
  return true;
}

int find_in_range(std::string_view text, int first, int last) {
  for (int symbol = first; symbol <= last; ++symbol) {
    if (equal_ignoring_case(text, symbol_names[symbol])) return symbol;
  }
  return not_found;
}

void skip_blanks() {
  while (is_blank(scanner.lookahead) || scanner.lookahead == end_of_file) {
    if (scanner.lookahead == '\n') ++scanner.line_number;
    next_char();
  }
}

void scan_identifier() {
  while (is_letter(scanner.lookahead) || is_digit(scanner.lookahead)) {
    scanner.spelling += static_cast<char>(scanner.lookahead);
    next_char();
  }
}

void scan_number() {
  while (is_digit(scanner.lookahead)) {
    scanner.spelling += static_cast<char>(scanner.lookahead);
    next_char();
  }
}

// Blanks inside a string travel as "_" so that the spelling is always one word of the token file.
// Line feeds inside a string are deliberately not counted.
void scan_string() {
  const int quote = scanner.lookahead;
  for (;;) {
    next_char();
    if (scanner.lookahead == quote) break;
    if (scanner.lookahead == end_of_file) continue;  // the next read ends the run
    scanner.spelling += is_blank(scanner.lookahead) ? '_' : static_cast<char>(scanner.lookahead);
  }
  next_char();
}

// For "(*...*)" and "/*...*/": the opening star cannot be the first half of the closing pair,
// so "(*)" does not close the comment.
void skip_block_comment(int close) {
  next_char();  // the opening '*'
  for (;;) {
    if (scanner.lookahead == '*') {
      next_char();
      if (scanner.lookahead == close) break;
      continue;  // another '*' may start the closing pair
    }
    if (scanner.lookahead == '\n') ++scanner.line_number;
    next_char();
  }
  next_char();
}

void skip_line_comment() {
  while (scanner.lookahead != '\n') next_char();
  ++scanner.line_number;
  next_char();
}

void skip_brace_comment() {
  while (scanner.lookahead != '}') {
    if (scanner.lookahead == '\n') ++scanner.line_number;
    next_char();
  }
  next_char();
  skip_blanks();
}

// Consumes the current character and names the operator.
void take(const char* name) {
  next_char();
  scanner.spelling = name;
}

// Operators, punctuation, shorthands and comments; returns the symbol.
int scan_operator() {
  switch (scanner.lookahead) {
    case '+': take("plus"); break;
    case '-': take("minus"); break;
    case '*': take("times"); break;
    case '=': take("eq"); break;
    case '#': take("neq"); break;
    case ')': take("rparent"); break;
    case '[': take("lbracket"); break;
    case ']': take("rbracket"); break;
    case ',': take("comma"); break;
    case ';': take("semicolon"); break;
    case '%': take("mod"); return find_keyword(scanner.spelling);
    case '!': take("write"); return find_keyword(scanner.spelling);
    case '?': take("read"); return find_keyword(scanner.spelling);
    case '.': scanner.spelling = "period"; break;  // nothing after the period is ever read
    case '/':
      next_char();
      if (scanner.lookahead == '*') {
        skip_block_comment('/');
        scanner.spelling = "comment";
      } else if (scanner.lookahead == '/') {
        skip_line_comment();
        scanner.spelling = "comment";
      } else {
        scanner.spelling = "slash";
      }
      break;
    case '(':
      next_char();
      if (scanner.lookahead == '*') {
        skip_block_comment(')');
        scanner.spelling = "comment";
      } else {
        scanner.spelling = "lparent";
      }
      break;
    case '{':
      next_char();
      skip_brace_comment();
      scanner.spelling = "comment";
      break;
    case '<':
      next_char();
      if (scanner.lookahead == '>') {
        take("neq");
      } else if (scanner.lookahead == '=') {
        take("leq");
      } else {
        scanner.spelling = "les";
      }
      break;
    case '>':
      next_char();
      if (scanner.lookahead == '=') {
        take("geq");
      } else {
        scanner.spelling = "gtr";
      }
      break;
    case ':':
      next_char();
      if (scanner.lookahead == '=') {
        take("becomes");
      } else {
        scanner.spelling = "colon";  // no such name: looks up as "error"
      }
      break;
    default: break;  // begins no symbol: empty spelling, look-ahead not consumed
  }
  return find_operator(scanner.spelling);
}

}  // namespace

int find_operator(std::string_view text) {
  return find_in_range(text, first_operator, last_operator);
}
int find_keyword(std::string_view text) {
  return find_in_range(text, first_keyword, last_keyword);
}
int find_symbol(std::string_view text) {
  return find_in_range(text, null_sym, not_found - 1);
}

void reset_scanner(std::FILE* source) {
  scanner = Scanner{};
  scanner.source = source;
}

void next_char() {
  if (scanner.lookahead == end_of_file) throw EndOfSource{};
  scanner.lookahead = std::fgetc(scanner.source);
  ++scanner.characters_read;
}

void scan_symbol() {
  scanner.previous_spelling = scanner.spelling;
  scanner.spelling.clear();
  scanner.current_symbol = null_sym;
  skip_blanks();
  scanner.symbol_start = scanner.characters_read - 1;
  if (is_letter(scanner.lookahead)) {
    scan_identifier();
    scanner.current_symbol = find_symbol("identifier");
    if (int keyword = find_keyword(scanner.spelling); keyword != not_found) {
      scanner.current_symbol = keyword;
    }
  } else if (is_digit(scanner.lookahead)) {
    scan_number();
    scanner.current_symbol = find_symbol("number");
  } else if (scanner.lookahead == '"' || scanner.lookahead == '\'') {
    scan_string();
    scanner.current_symbol = find_symbol("string");
  } else {
    scanner.current_symbol = scan_operator();
  }
  if (scanner.current_symbol == int_sym) scanner.current_symbol = var_sym;
}

}  // namespace pl0::tokeniser
