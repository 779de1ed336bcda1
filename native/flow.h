// What the code generator must know about the whole program before it writes a line: where
// blocks start, and after which instructions Ax must really be kept.
#pragma once

#include <cstdint>
#include <vector>

#include "code_file.h"

namespace pl0::native {

struct Flow {
  // Instructions that a jump or a call leads to, and those after a CAL, where its RTN returns:
  // each gets a label, and a block of native code starts there. A RTN elsewhere is handed to
  // the Interpreter's machine.
  std::vector<bool> entry;
  // Instructions whose Ax a later instruction can observe: only a READ that finds no number
  // does (it pushes the Ax it found), so in a program without READ no instruction keeps Ax.
  std::vector<bool> keeps_ax;
};

Flow analyse(const std::vector<Instruction>& program);

}  // namespace pl0::native
