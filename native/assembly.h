// P-code as GNU assembler source for x86-64 Linux: each p-code instruction's code headed by a
// comment with its address and instruction (and its source line, when known), running exactly
// as the p-code machine runs it.
#pragma once

#include <string>
#include <vector>

#include "code_file.h"

namespace pl0::native {

// The source behind a code file, for the listing's comments: each instruction's line number
// (0: unknown) and the source's lines, the first at index 0.
struct SourceLines {
  std::vector<int> line_of;
  std::vector<std::string> text;
};

// The two code generators: `plain` writes each instruction as its own fixed sequence over the
// memory stack (plain.h, -O0); `optimising` keeps the values on top of the stack in registers
// and proves cells inside the stack once for a whole run of instructions (block.h).
enum class Generator { plain, optimising };

// The assembly of `program`. `loaded` false stands for a code file without its header: the
// program then runs nothing, as the Interpreter does. `source` may be null.
std::string write_assembly(const std::vector<Instruction>& program, bool loaded,
                           const SourceLines* source = nullptr,
                           Generator generator = Generator::optimising);

}  // namespace pl0::native
