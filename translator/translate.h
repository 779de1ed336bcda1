// Instruction translation: every p-code instruction, in list order, as a header line and the
// register operations by which the machine carries it out. Each instruction is rewritten by
// itself: nothing is merged, reordered or renumbered.
#pragma once

#include <cstdio>
#include <vector>

#include "code_file.h"

namespace pl0::translator {

// The position of the first instruction whose base walk is deeper than deepest_level, or the
// program's size when there is none.
std::size_t find_deep_walk(const std::vector<Instruction>& program);

void translate_program(const std::vector<Instruction>& program, std::FILE* out);

}  // namespace pl0::translator
