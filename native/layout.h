// The checks that stand before each block's body. A block's cells lie at fixed distances from
// SP and BP at its start, so one check there proves them all inside the stack; a block that
// only the block before leads into inherits what that one proved, and a procedure's blocks
// rely on one check of all its cells at the procedure's entries. Where a check fails, the
// Interpreter's machine runs on from the block's start (its fallback) and reports the fault.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "flow.h"
#include "range.h"
#include "value_stack.h"

namespace pl0::native {

// One block of generated code, before its checks: what block.h writes.
struct Block {
  std::int32_t start = 0, end = 0;  // its first instruction, and the one after its last
  std::string body;             // from its first instruction's header on
  std::string cold;             // its out-of-line paths
  std::string calls;            // its rows of the table of CALs' returns
  Range sp, bp;                 // the cells it reaches, from SP and BP at its start
  bool too_far = false;         // some cell lies beyond `farthest`: left to the machine
  std::int64_t moved = 0;       // what the block adds to SP
  bool sp_lost = false;         // SP moved by an amount no check covers
  bool falls = true;            // the next instruction can follow the block's last
  std::optional<KeptDivision> division;  // what %eax and %edx hold where it falls through
  Copies copies;                         // and which variables the pool's free registers copy
  // Inside a loop whose variables are in registers, past its head (loops.h), or relying on
  // copies of variables in registers that its procedure's ways in bring (BlockWriter::
  // entered_with): from elsewhere only the machine enters it.
  bool in_loop = false;
  bool given_copies = false;
  // Where a loop's test was copied to the JMP back (BlockWriter::rotate), the first block of
  // its body, which each turn now jumps back to: its label is aligned. Otherwise -1.
  std::int32_t turn_target = -1;
  bool aligned = false;
};

// Cells known to lie in the stack on entering a block, from SP and from BP then.
struct Proof {
  Range sp, bp;
};

// The cells a procedure's blocks use, as offsets from BP: what its entries check.
struct Region {
  Range cells;
  bool possible = true;  // false when some block's cells lie too far apart
};
using Regions = std::map<std::int32_t, Region>;

Regions procedure_regions(const std::vector<Block>& blocks, const Flow& flow);
// The `.set` lines that give each procedure's least BP for its entry check, as .Lbottom<start>.
std::string entry_bounds(const Regions& regions);

// The label a block's checks leave by when they fail.
std::string fallback_label(std::int32_t start);

// The check that the cells from `reg`+low to `reg`+high lie in the stack, through `scratch`.
std::string range_check(const char* reg, const Range& cells, const std::string& comment,
                        const std::string& fallback, const char* scratch = "%eax");

// Writes the block with its checks into `text` (its out-of-line paths into `cold`) and returns
// what the next block may take as proven. `known`: what the block before proved, when it falls
// into this one and nothing else leads here; `fallen_into`: whether any block falls into it.
Proof lay_out(const Block& block, const Proof& known, const Regions& regions, const Flow& flow,
              bool fallen_into, std::string& text, std::string& cold);

}  // namespace pl0::native
