// The code file as the Interpreter and the Translator read it: six header words, then groups of
// an address word, OpCode, Level and Operand, and two more words. Only the three numbers count:
// an instruction's address is its position, and its mnemonic column is never looked at.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace pl0 {

// The Compiler refuses to nest deeper than this, so no Level it writes is larger.
inline constexpr int deepest_level = 1000;

struct Instruction {
  std::int32_t opcode;
  std::int32_t level;
  std::int32_t operand;
};

// Reads a number like "%d" (white space, a sign, digits; the character after them is left
// unread), but wrapping modulo 2^32 instead of overflowing. False, with `value` untouched, when
// no number stands there.
bool read_int(std::FILE* file, std::int32_t& value);

// Reads every instruction up to the first group that does not yield all six items. Returns
// false, with no instructions, when the file holds fewer than six header words. Numbers beyond
// 32 bits wrap modulo 2^32; words of any length are read whole and discarded.
bool load_code(std::FILE* file, std::vector<Instruction>& program);

}  // namespace pl0
