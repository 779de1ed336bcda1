// The machine's run loop, kept in a header so that tests can instantiate it with an observer
// that sees the state after every instruction; the Interpreter's own instance has none, and
// the observer's call compiles away.
#pragma once

#include "machine.h"
#include "machine_fast.h"

namespace pl0::interpreter {

// A traced run takes the plain instance: a trace line costs far more than the dispatch.
template <typename Observer>
RunResult run_program_observed(const std::vector<Instruction>& program, MachineState& state,
                               const MachineIO& io, Observer& observer) {
  if (!io.trace->on()) return detail::run_fast(program, state, io, observer);
  return detail::run_simple(program, state, io, observer);
}

}  // namespace pl0::interpreter
