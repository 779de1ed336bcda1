// The stack file a recording describes, rebuilt from the recording alone: the oracle that the
// unit test and the explorer's fuzz target hold against the Interpreter's own stack file.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

#include "in_process.h"
#include "machine.h"
#include "recording.h"

namespace pl0::explorer {

// The machine state before instruction `step` (0 .. steps), rebuilt from the recording.
inline interpreter::MachineState state_at(const Recording& r, long step) {
  interpreter::MachineState s;
  const auto k = static_cast<std::size_t>(step);
  const std::int32_t* reg = &r.registers[6 * k];
  s.pc = reg[0];
  s.sp = reg[1];
  s.bp = reg[2];
  s.ax = reg[3];
  s.bx = reg[4];
  s.tx = reg[5];
  const std::size_t base = k / snapshot_every * snapshot_every;
  s.cells = r.snapshots[k / snapshot_every];
  for (std::size_t state = base + 1; state <= k; ++state) {
    for (auto c = static_cast<std::size_t>(r.change_start[state]);
         c < static_cast<std::size_t>(r.change_start[state + 1]); ++c) {
      s.cells[static_cast<std::size_t>(r.change_cell[c])] = r.change_value[c];
    }
  }
  return s;
}

// The stack file that the recorded run describes: a trace line for every state that ran an
// instruction and, after a fault, the line of the instruction that faulted.
inline std::string stack_file_of(const Recording& r) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("cannot create a temporary file");
  {
    interpreter::Output trace(file);
    interpreter::write_trace_header(trace);
    // A cell fault happens inside the last state's instruction, which has its line; a jump to
    // an address without an instruction faults before any line is written.
    long lines = r.steps;
    if (r.end.kind == RunEnd::fault) {
      const auto pc = static_cast<std::size_t>(state_at(r, r.steps).pc);
      if (pc < r.instructions.size()) ++lines;
    }
    for (long step = 0; step < lines; ++step) {
      const interpreter::MachineState state = state_at(r, step);
      interpreter::write_trace_line(trace,
                                    state,
                                    r.instructions[static_cast<std::size_t>(state.pc)].instruction);
    }
  }
  std::string text = read_whole_stream(file);
  std::fclose(file);
  return text;
}

}  // namespace pl0::explorer
