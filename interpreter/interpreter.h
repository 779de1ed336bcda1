// The Interpreter program: loads a code file and runs it on the p-code machine, with an
// optional run file (the banners around a copy of the output) and stack file (a trace line
// before every instruction).
#pragma once

#include <cstdio>

namespace pl0 {

// Runs the Interpreter with a command line as main receives it, on the given standard streams,
// and returns its exit status. Starts from fresh state on every call and never exits.
int interpreter_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                     std::FILE* err);

}  // namespace pl0
