// The parser and code generator: one pass, no syntax tree. Code is emitted into a fixed buffer
// the moment each construct is recognised, and forward jumps are patched in place once their
// target is known. Every parse function starts at the current symbol and leaves the first
// symbol after its construct current.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "code_file.h"
#include "watch.h"

namespace pl0::compiler {

inline constexpr int code_max = 1001;

struct CodeBuffer {
  std::array<Instruction, code_max> code{};
  int count = 0;  // also the address of the next instruction
};

extern CodeBuffer code;

void reset_code();
// Compiles one block. Its own name entry is the table top on entry: the procedure just
// entered, or entry 0 for the main block.
void parse_block();

}  // namespace pl0::compiler
