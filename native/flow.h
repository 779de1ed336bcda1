// What the code generator must know about the whole program before it writes a line: where
// blocks start, and after which instructions Ax must really be kept.
#pragma once

#include <cstdint>
#include <vector>

#include "code_file.h"

namespace pl0::native {

// Distances from SP or BP beyond which the generator leaves code to the Interpreter's machine:
// its cells could never all lie in the stack, and its displacements would not fit an
// instruction; and beyond which a depth is not followed.
inline constexpr int farthest = 10000;

inline constexpr std::int32_t shared_code = -1, unreached = -2;

struct Flow {
  // Instructions that a jump or a call leads to, and those after a CAL, where its RTN returns:
  // each gets a label, and a block of native code starts there. A RTN elsewhere is handed to
  // the Interpreter's machine.
  std::vector<bool> entry;
  // Instructions whose Ax a later instruction can observe: only a READ that finds no number
  // does (it pushes the Ax it found), so in a program without READ no instruction keeps Ax.
  std::vector<bool> keeps_ax;
  // In compiled code SP - BP before each instruction is a constant, and each instruction belongs
  // to one procedure (the main program, or the target of a CAL). `procedure` is that target
  // (0 for the main program) and `depth` SP - BP; `procedure` is `shared_code` where paths
  // disagree, in hand-made code, and `unreached` where no path leads.
  std::vector<std::int32_t> procedure;
  std::vector<std::int32_t> depth;
  bool calls = false;  // whether any CAL stands in the program
};

Flow analyse(const std::vector<Instruction>& program);

}  // namespace pl0::native
