// The p-code machine: 101 stack cells growing toward cell 0, the address registers PC, SP and
// BP and the work registers Ax, Bx and Tx. Each opcode leaves the whole state exactly as its
// sequence of register operations does, computed here as its net effect.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "code_file.h"
#include "output.h"
#include "stack.h"

namespace pl0::interpreter {

using pl0::stack_cells;
using pl0::top_cell;
// What DIV and MOD deliver for a divisor of 0: the smallest 32-bit value.
inline constexpr std::int32_t division_by_zero = INT32_MIN;

struct MachineState {
  std::int32_t pc = 0;
  std::int32_t sp = initial_sp;
  std::int32_t bp = initial_bp;
  std::int32_t ax = 0;
  std::int32_t bx = 0;
  std::int32_t tx = 0;
  std::array<std::int32_t, stack_cells> cells{};
  unsigned char character = 0;  // what GETC read last
};

struct MachineIO {
  std::FILE* in;
  Output* run;    // the run file; off when -o was not given
  Output* out;    // standard output
  Output* trace;  // the stack file; off when -s was not given
};

// How a run ended: normally (PC 0 or less), at a fault, when an output could not be written
// (a full disk, a closed pipe: running on would only lose the output), or stopped by the
// observer.
struct RunResult {
  enum Kind { finished, fault, write_failed, stopped } kind = finished;
  std::string message;  // for a fault, what happened and where
};

// Called in tests after every instruction, or after both instructions of a fused pair (the
// count says how many ran); returns false to stop the run.
struct NoObserver {
  static constexpr bool active = false;
  bool operator()(const MachineState&, int /*instructions*/) { return true; }
};

// An observer that only keeps time (a clock's pulse) says so with `static constexpr bool
// sees_state = false`: the fast loop then calls it only at its jumps, calls and returns (a run
// that goes on passes through them), with the registers left where they are.
template <typename Observer, typename = void>
inline constexpr bool sees_state = true;
template <typename Observer>
inline constexpr bool sees_state<Observer, std::void_t<decltype(Observer::sees_state)>> =
    Observer::sees_state;

// Runs from the state given (normally a fresh MachineState) until PC falls to 0 or less or a
// fault stops it. Writes no banners.
RunResult run_program(const std::vector<Instruction>& program, MachineState& state,
                      const MachineIO& io);

template <typename Observer>
RunResult run_program_observed(const std::vector<Instruction>& program, MachineState& state,
                               const MachineIO& io, Observer& observer);

void write_trace_header(Output& trace);
void write_trace_line(Output& trace, const MachineState& state, const Instruction& next);

}  // namespace pl0::interpreter
