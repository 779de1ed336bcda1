// The Compiler's input: the token file read word by word into a current symbol with one symbol
// of look-ahead, and the error report in which every check of the Compiler ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "code_file.h"

namespace pl0::compiler {

// The error numbers are printed in every report, so they are fixed.
enum ErrorNumber : int {
  unexpected_end = 1,
  number_after_eq = 2,
  eq_after_identifier = 3,
  identifier_after_declaration = 4,
  comma_expected = 5,
  number_after_lbracket = 6,
  code_too_long = 7,
  period_expected = 9,
  semicolon_expected = 10,
  undeclared_identifier = 11,
  illegal_assignment = 12,
  becomes_expected = 13,
  identifier_after_call = 14,
  call_of_non_procedure = 15,
  then_expected = 16,
  end_expected = 17,
  do_expected = 18,
  relation_expected = 20,
  procedure_in_expression = 21,
  rparent_expected = 22,
  unknown_keyword = 23,
  identifier_expected = 24,
  rbracket_expected = 25,
  string_too_long = 27,
  nesting_too_deep = 28,
};

// The deepest nesting of blocks, statements and expressions the parser follows; deeper input
// is refused with error 28 rather than exhausting the process stack.
inline constexpr int nesting_limit = deepest_level;

struct TokenReader {
  std::FILE* tokens = nullptr;
  std::FILE* err = nullptr;
  int current_symbol = 0;
  int previous_symbol = 0;
  // Each spelling keeps its content until the next symbol of its own kind: declarations enter
  // a name after the symbols that follow it have been read.
  std::string identifier;
  std::int32_t number_value = 0;
  std::string string_spelling;
  int line_count = 0;  // token-file lines read so far
  std::string line;
  std::size_t position = 0;  // where the splitting of `line` stands
};

extern TokenReader reader;

void reset_reader(std::FILE* tokens, std::FILE* err);
// Advances to the next symbol; reports error 1 when the input is exhausted.
void next_symbol();
// Writes the one-line report for `error` and ends the compilation (throws EarlyEnd{1}).
[[noreturn]] void report_error(int error);

// A decimal word read as atoi reads it (sign, leading digits, the rest ignored), wrapping
// modulo 2^32 like all of the machine's arithmetic.
std::int32_t word_to_int(const std::string& word);

}  // namespace pl0::compiler
