// Source bytes through the explorer's recording: the run it records, replayed as a stack file,
// must be the machine's own trace of the same run (both bounded to the same instructions).
#include <cstring>

#include "harness.h"
#include "recording.h"
#include "stack_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr long budget = 20000;
  const std::string source(reinterpret_cast<const char*>(data), size);
  const pl0::explorer::Recording r = pl0::explorer::record(source, "", budget);
  if (!r.ran) return 0;
  std::vector<pl0::Instruction> program;
  for (const auto& i : r.instructions) program.push_back(i.instruction);

  std::FILE* in = std::fopen("/dev/null", "r");
  std::FILE* trace_file = std::tmpfile();
  {
    pl0::interpreter::Output off;
    pl0::interpreter::Output trace(trace_file);
    pl0::interpreter::write_trace_header(trace);
    pl0::interpreter::MachineState state;
    pl0::fuzz::Budget limit{budget};
    pl0::interpreter::run_program_observed(program, state,
                                           pl0::interpreter::MachineIO{in, &off, &off, &trace}, limit);
  }
  std::string machine;
  std::rewind(trace_file);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, trace_file)) > 0;) machine.append(buffer, n);
  std::fclose(trace_file);
  std::fclose(in);
  if (pl0::explorer::stack_file_of(r) != machine) {
    std::fprintf(stderr, "the recording's replay differs from the machine's trace\n");
    std::abort();
  }
  return 0;
}
