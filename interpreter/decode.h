// The loaded program decoded once into the form the fast run loop executes: each instruction
// becomes a kind specialised by its Level (0, 1, any) and, where the instructions after it
// complete a common group, a fused kind that does the work of the whole group in one dispatch.
// Every position keeps its own decoding, so a jump into the middle of a group runs the plain
// instruction there.
#pragma once

#include <cstdint>
#include <vector>

#include "code_file.h"
#include "instructions.h"
#include "vocabulary.h"

namespace pl0::interpreter {

// ORDER. Every kind: the instructions' rows, then the groups (instructions.h). Each is named by
// the instructions it runs (LOD0 is LOD at Level 0, LOD1 at Level 1, LOD any other).
#define PL0_ROW_KIND(name, opcode, levels, ending, work) name,
#define PL0_GROUP_KIND(length, ...) PL0_GROUP_NAME(length, __VA_ARGS__),
#define PL0_CHAIN_KIND(...) PL0_CHAIN_NAME(__VA_ARGS__),
enum class Kind : std::int32_t {
  PL0_INSTRUCTIONS(PL0_ROW_KIND) PL0_GROUPS(PL0_GROUP_KIND) PL0_CHAINS(PL0_CHAIN_KIND)
};
#undef PL0_ROW_KIND
#undef PL0_GROUP_KIND
#undef PL0_CHAIN_KIND

#define PL0_ROW_NAME(name, opcode, levels, ending, work) #name,
#define PL0_GROUP_NAME_TEXT(length, ...) PL0_GROUP_TEXT(PL0_GROUP_NAME(length, __VA_ARGS__)),
#define PL0_CHAIN_NAME_TEXT(...) PL0_GROUP_TEXT(PL0_CHAIN_NAME(__VA_ARGS__)),
// One level more, so that the name is expanded before it becomes text.
#define PL0_GROUP_TEXT(name) PL0_TEXT(name)
#define PL0_TEXT(name) #name
inline constexpr const char* kind_names[] = {
    PL0_INSTRUCTIONS(PL0_ROW_NAME) PL0_GROUPS(PL0_GROUP_NAME_TEXT) PL0_CHAINS(PL0_CHAIN_NAME_TEXT)};
#undef PL0_ROW_NAME
#undef PL0_GROUP_NAME_TEXT
#undef PL0_CHAIN_NAME_TEXT
#undef PL0_GROUP_TEXT
#undef PL0_TEXT

// How control leaves a kind's last instruction.
enum class Ending { next, jump, branch, back, past_end };
// Which Levels an instruction's row takes.
enum class Levels { any, zero, one, never };

// An instruction's row as the decoder reads it.
struct Row {
  Kind kind;
  std::int32_t opcode;
  Levels levels;
  Ending ending;
};
#define PL0_ROW(name, opcode, levels, ending, work) \
  {Kind::name, opcode, Levels::levels, Ending::ending},
inline constexpr Row rows[] = {PL0_INSTRUCTIONS(PL0_ROW)};
#undef PL0_ROW
inline constexpr int row_count = sizeof rows / sizeof *rows;

// A group as the decoder reads it: its kind and its instructions' kinds.
struct Group {
  Kind kind;
  int length;
  Kind parts[4];
};
#define PL0_GROUP(length, ...) \
  {Kind::PL0_GROUP_NAME(length, __VA_ARGS__), length, {PL0_PARTS_##length(__VA_ARGS__)}},
#define PL0_PARTS_2(a, b) Kind::a, Kind::b
#define PL0_PARTS_3(a, b, c) Kind::a, Kind::b, Kind::c
#define PL0_PARTS_4(a, b, c, d) Kind::a, Kind::b, Kind::c, Kind::d
inline constexpr Group groups[] = {PL0_GROUPS(PL0_GROUP)};
#undef PL0_GROUP
#undef PL0_PARTS_2
#undef PL0_PARTS_3
#undef PL0_PARTS_4

// A chain as the decoder reads it: its kind and its two groups' kinds.
struct Chain {
  Kind kind, first, second;
};
#define PL0_CHAIN(a, b, c, d, e, f, g, h)                                                \
  {Kind::PL0_CHAIN_NAME(a, b, c, d, e, f, g, h), Kind::PL0_GROUP_NAME_4(a, b, c, d), \
   Kind::PL0_GROUP_NAME_4(e, f, g, h)},
inline constexpr Chain chains[] = {PL0_CHAINS(PL0_CHAIN)};
#undef PL0_CHAIN

inline constexpr int kind_count = row_count + static_cast<int>(sizeof groups / sizeof *groups) +
                                  static_cast<int>(sizeof chains / sizeof *chains);
static_assert(sizeof kind_names / sizeof *kind_names == kind_count);

inline constexpr Ending ending_of(Kind kind) {
  for (const Row& row : rows) {
    if (row.kind == kind) return row.ending;
  }
  for (const Group& group : groups) {
    if (group.kind == kind) return ending_of(group.parts[group.length - 1]);
  }
  for (const Chain& chain : chains) {
    if (chain.kind == kind) return ending_of(chain.second);
  }
  return Ending::next;
}

// A chain's is its first group's: its second has an entry of its own.
inline constexpr int length_of(Kind kind) {
  for (const Chain& chain : chains) {
    if (chain.kind == kind) return length_of(chain.first);
  }
  for (const Group& group : groups) {
    if (group.kind == kind) return group.length;
  }
  return 1;
}

// Only a group's last instruction may leave it: control that left from the middle would skip
// the rest of the group's work.
inline constexpr bool groups_leave_at_their_end() {
  for (const Group& group : groups) {
    for (int k = 0; k + 1 < group.length; ++k) {
      if (ending_of(group.parts[k]) != Ending::next) return false;
    }
  }
  return true;
}
static_assert(groups_leave_at_their_end());

// Every opcode has a row: an opcode without one would run as a NOP.
inline constexpr bool every_opcode_has_a_row() {
  for (int opcode = 0; opcode < opcode_count; ++opcode) {
    bool found = false;
    for (const Row& row : rows) found = found || row.opcode == opcode;
    if (!found) return false;
  }
  return true;
}
static_assert(every_opcode_has_a_row(), "an opcode without its row in instructions.h");

struct Decoded {
  Kind kind;
  std::int32_t level;    // the Level of the group's first instruction
  std::int32_t operand;  // the Operand of the group's first instruction
  std::int32_t second;   // the Operand of its second instruction (0 for a group of one)
  std::int32_t last;     // the Operand of its last instruction: a JPC's target, a STO's address
  // Where its last instruction, a JMP, JPC or CAL, goes when that is an instruction of the
  // program: the run loop takes it without testing the target again. Null when the jump would
  // end the run or fetch past the end, except for a run that nobody watches: there it is an
  // EXIT entry after the program's that keeps the target (`operand`), so that a taken jump
  // never tests. In that run also, for a kind that goes on to the next instruction: that
  // entry, or where it jumps if it is a JMP to an instruction (a JMP does nothing else, and the
  // run skips it). Null for the other kinds.
  const struct Decoded* to = nullptr;
  // Where the threaded run loop's handler for `kind` starts, filled in by the loop itself:
  // dispatch is then one indirect jump through the entry.
  const void* handler = nullptr;
};

// For the plain loop, every entry runs its one instruction (the traced loop writes a line
// before each); fused, the groups; unwatched, the groups, the chains and the shortcuts of `to`
// that an observer would see through (a chain's `to` is its second group's entry).
enum class Decoding { plain, fused, unwatched };

// One entry per instruction and a final END entry, then unwatched the EXIT entries. The entries
// point into their own vector (`to`): it may be moved, not copied.
std::vector<Decoded> decode(const std::vector<Instruction>& program,
                            Decoding how = Decoding::fused);

}  // namespace pl0::interpreter
