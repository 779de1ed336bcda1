// What the code generator must know about the whole program before it writes a line: where
// blocks start, and after which instructions Ax must really be kept.
#pragma once

#include <cstdint>
#include <vector>

#include "code_file.h"

namespace pl0::native {

struct Flow {
  // Instructions that a jump, a call or a return can reach other than by falling through: each
  // gets a label, and a block of native code starts there.
  std::vector<bool> entry;
  // Instructions whose Ax a later instruction can observe: only a READ that finds no number
  // does (it pushes the Ax it found), so in a program without READ no instruction keeps Ax.
  std::vector<bool> keeps_ax;
};

Flow analyse(const std::vector<Instruction>& program);

// Where a JMP, JPC or CAL to `target` goes: the stop (0 or less), an instruction, or past the
// program (a fault when it is taken).
inline bool stops_at(std::int32_t target) {
  return target <= 0;
}

}  // namespace pl0::native
