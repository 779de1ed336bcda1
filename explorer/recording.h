// The recording of one run for the explorer: everything the four programs write about a
// program, which source line each instruction came from, the procedures' frames, and the
// machine state before every executed instruction, kept as changes with a full copy of the
// cells every `snapshot_every` steps so that any step is rebuilt quickly.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "compilation.h"
#include "machine.h"

namespace pl0::explorer {

inline constexpr long default_max_steps = 1000000;
// The output a recording keeps; a program that writes more is cut there, and says so.
inline constexpr std::size_t default_max_output = 1 << 20;
inline constexpr int snapshot_every = 1024;

struct RunEnd {
  enum Kind { finished, fault, step_cap, write_failed } kind = finished;
  std::string message;  // the Interpreter's message for a fault
};

// What compile() made (chain/compilation.h), and the run.
struct Recording : Compilation {
  Recording() = default;
  explicit Recording(Compilation compiled) : Compilation(std::move(compiled)) {}

  std::string input;

  bool ran = false;
  RunEnd end;
  long steps = 0;  // instructions executed; states 0 .. steps are recorded
  long max_steps = default_max_steps;
  // Per state, PC SP BP Ax Bx Tx.
  std::vector<std::int32_t> registers;
  // The cells that instruction s - 1 changed, for state s: change_start[s] .. change_start[s+1].
  std::vector<std::int32_t> change_start, change_cell, change_value;
  std::vector<std::array<std::int32_t, interpreter::stack_cells>> snapshots;
  std::string output;
  bool output_cut = false;
  std::vector<std::pair<long, std::size_t>> output_at;  // (state, output length) where it grew
  std::vector<std::pair<long, std::size_t>> input_at;   // (state, input consumed) where it grew
};

// Runs what compile() made on `input`, at most `max_steps` instructions: the chain's files are
// not made again.
Recording record(Compilation compiled, const std::string& input,
                 long max_steps = default_max_steps, std::size_t max_output = default_max_output);

// Compiles `source` and runs it on `input`.
Recording record(const std::string& source, const std::string& input,
                 long max_steps = default_max_steps, std::size_t max_output = default_max_output);

// The recording as JSON (docs/recording.md).
std::string to_json(const Recording& recording);

}  // namespace pl0::explorer
