#include "code_file.h"

#include "wrapping.h"

namespace pl0 {

namespace {

// The white space that formatted input skips.
bool is_space(int c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int skip_space(std::FILE* file) {
  int c;
  do c = std::fgetc(file);
  while (is_space(c));
  return c;
}

// Like reading "%s": false at the end of the file.
bool skip_word(std::FILE* file) {
  int c = skip_space(file);
  if (c == EOF) return false;
  while (c != EOF && !is_space(c)) c = std::fgetc(file);
  if (c != EOF) std::ungetc(c, file);
  return true;
}

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool read_int(std::FILE* file, std::int32_t& value) {
  int c = skip_space(file);
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = std::fgetc(file);
  if (!is_digit(c)) {
    if (c != EOF) std::ungetc(c, file);
    return false;
  }
  std::uint32_t magnitude = 0;
  for (; is_digit(c); c = std::fgetc(file)) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (c != EOF) std::ungetc(c, file);
  value = wrap(negative ? 0u - magnitude : magnitude);
  return true;
}

namespace {

bool read_group(std::FILE* file, Instruction& instruction) {
  return skip_word(file) && read_int(file, instruction.opcode) &&
         read_int(file, instruction.level) && read_int(file, instruction.operand) &&
         skip_word(file) && skip_word(file);
}

}  // namespace

bool load_code(std::FILE* file, std::vector<Instruction>& program) {
  program.clear();
  for (int word = 0; word < 6; ++word) {
    if (!skip_word(file)) return false;
  }
  for (Instruction instruction{}; read_group(file, instruction);) program.push_back(instruction);
  return true;
}

}  // namespace pl0
