// The machine's services that native code's runtime (native/runtime.cpp) calls, so that a
// native program writes, reads, computes and fails exactly as the Interpreter does: named
// here, outside the machine's own parts, as the one list of what a back end may share.
#pragma once

#include "machine_detail.h"

namespace pl0::interpreter::services {

using detail::base_walk;
using detail::cell_fault_message;
using detail::no_instruction_message;
using detail::operate;
using detail::OutputFailed;
using detail::read_character;
using detail::read_number;
using detail::write_character;
using detail::write_number;

}  // namespace pl0::interpreter::services
