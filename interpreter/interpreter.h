// The Interpreter program: loads a code file and runs it on the p-code machine, with an
// optional run file (the banners around a copy of the output) and stack file (a trace line
// before every instruction).
#pragma once

#include <cstdio>

#include "machine.h"
#include "program.h"

namespace pl0 {

// Runs the Interpreter with a command line as main receives it, on the given standard streams,
// and returns its exit status. Starts from fresh state on every call and never exits.
int interpreter_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                     std::FILE* err);

namespace interpreter {

// What a session runs: the code file on the machine, or a program compiled to native code.
class Runnable {
 public:
  virtual ~Runnable() = default;
  // False when there is nothing to run (a code file without its header): no banner then.
  virtual bool load() = 0;
  virtual RunResult run(MachineState& state, const MachineIO& io) = 0;
};

// Everything of a run after the command line: opens the run file (`run`, when seen) and the
// stack file (`stack`, when given and seen), loads and runs, writes the banners and a fault's
// message, reports failed writes and closes the files. Returns the exit status.
int run_session(FileOpener& files, const Switch& run, const Switch* stack, Runnable& program,
                std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace interpreter

}  // namespace pl0
