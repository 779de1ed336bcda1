// The machine run one instruction at a time, with an observer that sees the whole state after
// each: how the explorer records a run and the conformance kit bounds one. It is the loop the
// traced run takes; tools reach it through this header rather than the machine's own parts.
#pragma once

#include <vector>

#include "machine_run.h"

namespace pl0::interpreter {

template <typename Observer>
RunResult run_stepwise(const std::vector<Instruction>& program, MachineState& state,
                       const MachineIO& io, Observer& observer) {
  return detail::run_simple(program, state, io, observer);
}

}  // namespace pl0::interpreter
