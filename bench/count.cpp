// Counts the p-code instructions a code file executes, for the benchmark table. Runs on the
// Interpreter's own machine, with standard input from the console and the output discarded.
#include <cstdio>

#include "code_file.h"
#include "machine_run.h"

namespace {

struct Counter {
  static constexpr bool active = true;
  long long executed = 0;
  bool operator()(const pl0::interpreter::MachineState&, int instructions) {
    executed += instructions;
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: pl0-count CODE-FILE\n", stderr);
    return 2;
  }
  std::FILE* code = std::fopen(argv[1], "r");
  std::vector<pl0::Instruction> program;
  if (code == nullptr || !pl0::load_code(code, program)) {
    std::fprintf(stderr, "pl0-count: cannot load '%s'\n", argv[1]);
    return 1;
  }
  std::fclose(code);
  std::FILE* sink = std::fopen("/dev/null", "w");
  Counter counter;
  {
    pl0::interpreter::Output off;
    pl0::interpreter::Output out(sink);
    pl0::interpreter::MachineState state;
    pl0::interpreter::run_program_observed(
        program, state, pl0::interpreter::MachineIO{stdin, &off, &out, &off}, counter);
  }
  std::printf("%lld\n", counter.executed);
  return 0;
}
