// The source scanner: cuts PL/0 source into symbols, one byte at a time through a single
// character of look-ahead. Symbol numbers come from the shared symbol names table, looked up by
// spelling, so the scanner holds no numbering of its own.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace pl0::tokeniser {

// Distinct from all 256 byte values.
inline constexpr int end_of_file = -1;

struct Scanner {
  std::FILE* source = nullptr;
  int lookahead = ' ';  // the next source character not yet consumed
  int line_number = 1;  // line feeds consumed outside strings, plus one
  int current_symbol = 0;
  std::string spelling;           // of the current symbol; identifiers keep their case
  std::string previous_spelling;  // of the symbol delivered before it (for messages)
  // Where the current symbol starts: its first byte's offset in the source. Tools place
  // errors by it; the Tokeniser itself writes only line numbers.
  long symbol_start = 0;
  long characters_read = 0;  // so the look-ahead stands at offset characters_read - 1
};

extern Scanner scanner;

// Thrown when a character is asked for while the look-ahead already holds the end of the file.
struct EndOfSource {};

// Starts a fresh scan of `source`; the caller then calls next_char once.
void reset_scanner(std::FILE* source);
void next_char();
// Delivers the next symbol in `scanner`; throws EndOfSource when it runs past the end.
void scan_symbol();

// Each returns the first name of its range of the symbol names table that equals `text`
// without regard to case, or `not_found`.
int find_operator(std::string_view text);  // first_operator .. last_operator
int find_keyword(std::string_view text);   // first_keyword .. last_keyword
int find_symbol(std::string_view text);    // every symbol before "error"

}  // namespace pl0::tokeniser
