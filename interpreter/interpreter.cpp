// Where the run's text goes: each banner to exactly one place (the run file with -o, standard
// output without), the program's output to the run file first and then to standard output.
#include "interpreter.h"

#include <cstring>
#include <memory>
#include <string>

namespace pl0 {

namespace interpreter {

namespace {

constexpr const char* usage =
    "Usage: Interpreter -i Input Code File [-o Output Run File] [-s List Stack File]\n";

struct Streams {
  Output run;
  Output out;
  Output trace;
  Streams(std::FILE* run_file, std::FILE* out_file, std::FILE* trace_file)
      : run(run_file), out(out_file), trace(trace_file) {}
};

// Returns 0, or 1 after a run-time fault (reported on `err`) or a failed write (reported by
// the caller, which knows the files' names).
int run_machine(Runnable& program, Streams& s, std::FILE* in, std::FILE* err) {
  Output& banners = s.run.on() ? s.run : s.out;
  banners.put("Begin PL/0:\n");
  if (s.trace.on()) write_trace_header(s.trace);
  MachineState state;
  const RunResult result = program.run(state, MachineIO{in, &s.run, &s.out, &s.trace});
  if (result.kind == RunResult::fault) {
    s.out.sync();
    std::fprintf(err, "Interpreter: %s\n", result.message.c_str());
    return 1;
  }
  if (result.kind == RunResult::write_failed) return 1;
  banners.put("\nEnd PL/0.\n");
  return 0;
}

class CodeFile : public Runnable {
 public:
  explicit CodeFile(std::FILE* code) : code_(code) {}
  bool load() override { return load_code(code_, program_); }
  RunResult run(MachineState& state, const MachineIO& io) override {
    return run_program(program_, state, io);
  }

 private:
  std::FILE* code_;
  std::vector<Instruction> program_;
};

}  // namespace

int run_session(FileOpener& files, const Switch& run, const Switch* stack, Runnable& program,
                std::FILE* in, std::FILE* out, std::FILE* err) {
  std::FILE* run_file = run.seen ? files.open_output("run file", run) : nullptr;
  const bool tracing = stack != nullptr && stack->seen;
  std::FILE* stack_file = (!run.seen || run_file != nullptr) && tracing
                              ? files.open_output("stack file", *stack)
                              : nullptr;
  if ((run.seen && run_file == nullptr) || (tracing && stack_file == nullptr)) {
    if (run_file != nullptr) std::fclose(run_file);
    return 1;
  }

  int status = 0;
  {
    auto streams = std::make_unique<Streams>(run_file, out, stack_file);
    if (program.load()) status = run_machine(program, *streams, in, err);
    const bool out_ok = streams->out.good();
    const bool run_ok = streams->run.good();
    const bool trace_ok = streams->trace.good();
    if (!out_ok) {
      files.report(std::string("cannot write standard output: ") +
                   std::strerror(streams->out.error()));
    }
    if (!run_ok || !trace_ok) status = 1;
    if (!out_ok) status = 1;
  }
  bool written = true;
  if (stack_file != nullptr) written = files.close_output(stack_file, "stack file", *stack);
  if (run_file != nullptr) written = files.close_output(run_file, "run file", run) && written;
  return written ? status : 1;
}

}  // namespace interpreter

int interpreter_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                     std::FILE* err) {
  std::vector<Switch> switches{{"-i", true}, {"-o", true}, {"-s", true}};
  const Switch& input = switches[0];
  const Switch& run = switches[1];
  const Switch& stack = switches[2];
  scan_switches(argc, argv, switches);
  if (!input.seen) {
    std::fputs(interpreter::usage, out);
    return 0;
  }

  FileOpener files("Interpreter", err);
  std::FILE* code = files.open_input("code file", input);
  if (code == nullptr) return 1;
  interpreter::CodeFile program(code);
  const int status = interpreter::run_session(files, run, &stack, program, in, out, err);
  std::fclose(code);
  return status;
}

}  // namespace pl0
