// P-code as GNU assembler source for x86-64 Linux: one block of instructions per p-code
// instruction, headed by a comment with its address and instruction (and its source line, when
// known), that runs exactly as the p-code machine runs it.
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

// The assembly of `program`. `loaded` false stands for a code file without its header: the
// program then runs nothing, as the Interpreter does. `source` may be null.
std::string write_assembly(const std::vector<Instruction>& program, bool loaded,
                           const SourceLines* source = nullptr);

}  // namespace pl0::native
