// Loops whose variables live in registers. Where the frames are proven (frames.h), a loop that
// calls nothing (no CAL, no runtime service) runs nothing but its own instructions from its
// head to its exits, so no one else can look at its procedure's variables meanwhile: the most
// used of them are loaded into registers where the loop is entered, kept there, and written
// back on every way out (a jump past the loop, a check that hands the block to the machine).
// The loop is the stretch from a JMP's target back to that JMP, entered only at its head.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "code_file.h"
#include "flow.h"
#include "frames.h"

namespace pl0::native {

// How many registers loops take from the pool of value_stack.h: its last ones.
inline constexpr int loop_registers = 3;

struct Loop {
  std::int32_t head = 0, back = 0;  // its first instruction, and the JMP back to it
  // Its variables in registers: each one's offset from BP (the negated operand) and pool index.
  std::vector<std::pair<std::int64_t, int>> resident;
  // The register of the variable divided by another (n / d, n mod d) more often than it is
  // changed, which %xmm2 also holds as a double all through the loop, or -1: the divisions in
  // doubles then convert only the divisor.
  int shadowed = -1;
  // Whether no jump from outside the loop leads to its head, so that the procedure enters it
  // only by falling in from the instruction before; whether every jump to the instruction after
  // the JMP back comes from inside the loop, so that what follows finds the variables still in
  // the loop's registers (and in their cells).
  bool fallen_into = true;
  bool left_to_next = true;

  bool contains(std::int32_t at) const { return at >= head && at <= back; }
  std::optional<int> register_of(std::int64_t offset) const;
  unsigned registers() const;  // the pool's registers it takes, as a mask
};

// The loops whose variables are kept in registers; none overlap.
std::vector<Loop> find_loops(const std::vector<Instruction>& program, const Flow& flow,
                             const FrameProof& frames);

}  // namespace pl0::native
