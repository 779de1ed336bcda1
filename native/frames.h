// What can be proven of the whole program's frames, and what the generator does with it.
// Where the proof holds:
//   - a popped value's store is dropped: its cell, above SP, is never read again before it is
//     written (see below);
//   - a variable of the main program, which nested procedures reach through static links, has
//     a fixed cell (the main program's BP is always 100): no link is followed for it;
//   - a CAL's return point needs no checks: the RTN's `ret` returns to the CAL whose address is
//     in the cell, with SP as the CAL left it, so it reads neither that nor the dynamic link
//     (the CAL works BP out from SP);
//   - where a loop calls nothing, its variables can live in registers (loops.h).
// A popped cell could be read only by a LOD beyond the live cells, an element of an array at
// an index nobody checked, or a variable of a frame later laid over it (CAL and INT write no
// variable) that is read before it is written. The proof asks, for the whole program:
//   - every instruction that runs belongs to one procedure (the flow analysis knows its SP - BP),
//     and each procedure's first instruction is its only INT;
//   - each procedure's static parent is the same for all its CALs, so that every LOD and STO
//     of a Level names one frame; no STO writes a link cell, and every LOD and STO stays within
//     the live cells of its frame; no instruction pops a cell of its own frame (nor, then,
//     pushes onto one);
//   - a procedure writes each of its variables before it reads it, and before a CAL for every
//     variable a nested procedure reads. (The main program's variables lie where no value was
//     ever pushed: they start at 0 in both machines.)
// Arrays: an element's STT is checked where it runs to land among the variables of the frame its
// Level names (no link cell, nothing beyond), and hands the rest of the run to the Interpreter's
// machine where it would not; so the links stay as the proof needs them (in a program without a
// CAL nothing relies on them, and the STT goes unchecked). An index is not
// bounded, though: an element read outside its array may find a popped cell, whose value the
// machine that takes over must see as the Interpreter would. In a program with a procedure's
// arrays popped values are therefore stored (`popped_unread` is false); the fixed cells, cheap
// returns and loops in registers hold all the same (an element in such a loop is checked not to
// be one of its registers' variables).
// Where every array is the main program's, each element is checked to be one of the main
// program's variables, cells no value was ever pushed onto, so the program's own code reads no
// popped cell either. Only the machine could, after taking over; so it takes over from the
// program's start instead (`restarts`), with the input read so far given again and the output
// written so far not written twice (runtime.cpp), and popped values go unstored here too.
// Links: where popped values need no store and every procedure's static parent is the main
// program (`links_rebuilt`), no code of the program's own reads a procedure's link cells: its
// Level-1 cells are fixed, its static link is 100, and its RTN returns by `ret`. A CAL then
// writes none of them; only the Interpreter's machine, when it takes over, would read them,
// so they are rebuilt for it from the CALs' returns waiting on the machine stack.
// Where any of this cannot be shown, the generator does none of it, as before.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "code_file.h"
#include "flow.h"

namespace pl0::native {

inline constexpr std::int32_t main_program = 0;
inline constexpr std::int32_t first_variable = 3;  // offsets 0, 1 and 2 are a frame's link cells

struct FrameProof {
  bool proven = false;
  bool popped_unread = false;  // proven, and no procedure's array: popped values need no store
  bool restarts = false;       // popped_unread with arrays: the machine takes over from the start
  bool links_rebuilt = false;  // popped_unread, and every procedure a child of the main program
  std::string kept_because;    // why not, in words, where it is not
  std::map<std::int32_t, std::int32_t> parent;  // each called procedure's static parent
  std::map<std::int32_t, std::int32_t> cells;   // and how many cells its frame has (links too)

  // The procedure whose frame `level` static links up from `procedure`'s is, or -1.
  std::int32_t ancestor(std::int32_t procedure, std::int32_t level) const;
};

FrameProof prove_frames(const std::vector<Instruction>& program, const Flow& flow);

}  // namespace pl0::native
