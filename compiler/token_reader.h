// The Compiler's input: the token file read word by word into a current symbol with one symbol
// of look-ahead, and the error report in which every check of the Compiler ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "code_file.h"
#include "errors.h"
#include "watch.h"

namespace pl0::compiler {

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
  // The token-file lines of the current symbol and of the one before it, and how many symbols
  // have been read: tools place code and errors by them; the Compiler's own reports do not.
  int symbol_line = 0;
  int previous_line = 0;
  int symbol_count = 0;
  int identifier_symbol = 0;  // which symbol, counted from 0, `identifier` was
  std::string line;
  std::size_t position = 0;  // where the splitting of `line` stands
};

extern TokenReader reader;

void reset_reader(std::FILE* tokens, std::FILE* err);
// Advances to the next symbol; reports error 1 when the input is exhausted.
void next_symbol();
// Writes the one-line report for `error` and ends the compilation (throws EarlyEnd{1}).
[[noreturn]] void report_error(ErrorNumber error);

}  // namespace pl0::compiler
