// Whether a popped value's cell can ever be read again before it is written: if not, the store
// of a popped value is dropped, and no run can tell. A popped cell lies above SP; the only
// instructions that could read it are a LOD beyond the live cells, an element of an array at
// an index nobody checked, or a variable of a frame later laid over it (CAL and INT write no
// variable) that is read before it is written. The proof asks, for the whole program:
//   - every instruction belongs to one procedure (the flow analysis knows its SP - BP), each
//     procedure's first instruction is its only INT, and no array is used;
//   - each procedure's static parent is the same for all its CALs, so that every LOD and STO
//     of a Level names one frame; no STO writes a link cell, and every LOD and STO stays within
//     the live cells of its frame;
//   - a procedure writes each of its variables before it reads it, and before a CAL for every
//     variable a nested procedure reads. (The main program's variables lie where no value was
//     ever pushed: they start at 0 in both machines.)
// Where any of this cannot be shown, every store is made, as the Interpreter makes it.
#pragma once

#include <string>
#include <vector>

#include "code_file.h"
#include "flow.h"

namespace pl0::native {

struct PoppedCells {
  bool unread = false;
  std::string kept_because;  // why the stores are made, in words, where they are
};

PoppedCells popped_cells(const std::vector<Instruction>& program, const Flow& flow);

}  // namespace pl0::native
