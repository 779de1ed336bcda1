// The playground's WebAssembly entry: the four programs and the explorer's recording, run on
// the files of the module's memory file system exactly as `pl0 build` and the Interpreter run
// them. The worker writes /work/program.pl0 and /work/input, calls pl0_compile, and then what
// the page asks for: the run (pl0_interpret), its recording (pl0_record) or its stack file
// (pl0_trace). The run comes first and alone, so that the output is never held up.
//
// The Interpreter holds its output until 64 KiB have gathered, and the worker cannot look
// while the run goes on; so the run itself hands the output over every pulse_ms, on the
// observer's count of instructions, and calls the worker's Module.onPulse: a program that
// writes a little now and then is seen at once, and Stop loses none of it.
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chain.h"
#include "code_file.h"
#include "compilation.h"
#include "files.h"
#include "interpreter.h"
#include "machine_run.h"
#include "recording.h"

namespace {

using pl0::interpreter::MachineIO;
using pl0::interpreter::MachineState;
using pl0::interpreter::RunResult;

// A look at the clock costs a call out of the module: one every 4,096 jumps is a few
// microseconds apart at the module's speed.
constexpr int instructions_between_looks = 1 << 12;
constexpr double pulse_ms = 50;

struct Pulse {
  static constexpr bool active = true;
  static constexpr bool sees_state = false;
  const MachineIO* io;
  int countdown = instructions_between_looks;
  double last = emscripten_get_now();

  // Called after every jump: all but every 4,096th call is a subtraction.
  [[gnu::always_inline]] bool operator()(const MachineState& /*state*/, int instructions) {
    countdown -= instructions;
    if (__builtin_expect(countdown > 0, 1)) return true;
    return look();
  }

  [[gnu::noinline]] bool look() {
    countdown = instructions_between_looks;
    const double now = emscripten_get_now();
    if (now - last < pulse_ms) return true;
    last = now;
    io->out->sync();  // a failed write ends the run at the program's next WRITE or PUTC
    EM_ASM({ if (Module.onPulse) Module.onPulse(); });
    return true;
  }
};

// The code file run as the Interpreter runs it, with the pulse watching.
class PulsedCode : public pl0::interpreter::Runnable {
 public:
  explicit PulsedCode(std::FILE* code) : code_(code) {}
  bool load() override { return pl0::load_code(code_, program_); }
  RunResult run(MachineState& state, const MachineIO& io) override {
    Pulse pulse{&io};
    return pl0::interpreter::run_program_observed(program_, state, io, pulse);
  }

 private:
  std::FILE* code_;
  std::vector<pl0::Instruction> program_;
};

const pl0::Chain chain("/work", "program");
// What pl0_compile made, for the recording: the chain runs once for both.
pl0::explorer::Recording compiled;

// The Interpreter with its standard input from /work/input, its output on `out_path` (a device
// that keeps what is written to it, so it is not appended to: a device cannot seek to its end)
// and its error stream appended to `err_path`.
int interpret(const char* out_path, const char* err_path, const std::string& stack_file = "") {
  std::FILE* in = std::fopen("/work/input", "rb");
  std::FILE* out = std::fopen(out_path, "wb");
  std::FILE* err = std::fopen(err_path, "ab");
  const int status = chain.interpret({in, out, err}, stack_file);
  if (in != nullptr) std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return status;
}

}  // namespace

extern "C" {

// Tokeniser, Compiler and Translator, with each instruction's source line and an error's place:
// a recording without its run, in /work/compiled.json, and the code file for the runs.
// Returns the status of the program that failed, or 0.
EMSCRIPTEN_KEEPALIVE int pl0_compile() {
  compiled = pl0::explorer::Recording(pl0::compile(pl0::read_file(chain.file("pl0"))));
  pl0::write_file("/work/compiled.json", pl0::explorer::to_json(compiled));
  pl0::write_file(chain.file("code"), compiled.code);
  return compiled.error_program.empty() ? 0 : 1;
}

// The Interpreter with a run file, reading /work/input, as interpreter_main runs it (the same
// session: the same files and messages), with the pulse.
EMSCRIPTEN_KEEPALIVE int pl0_interpret() {
  std::FILE* in = std::fopen("/work/input", "rb");
  std::FILE* out = std::fopen("/work/stdout", "wb");
  std::FILE* err = std::fopen("/work/stderr", "ab");
  pl0::Switch code_switch("-i", true);
  pl0::Switch run_switch("-o", true);
  code_switch.seen = run_switch.seen = true;
  code_switch.name = chain.file("code");
  run_switch.name = chain.file("run");
  pl0::FileOpener files("Interpreter", err);
  int status = 1;
  if (std::FILE* code = files.open_input("code file", code_switch); code != nullptr) {
    PulsedCode program(code);
    status = pl0::interpreter::run_session(files, run_switch, nullptr, program, in, out, err);
    std::fclose(code);
  }
  if (in != nullptr) std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return status;
}

// The Interpreter with its stack file on, whose device keeps only the start of a long trace:
// the run ends where its trace is cut.
EMSCRIPTEN_KEEPALIVE int pl0_trace() {
  return interpret("/work/trace.out", "/work/trace.err", chain.file("stk"));
}

// The explorer's recording of a run of what pl0_compile made, at most `max_steps`
// instructions, in /work/recording.json.
EMSCRIPTEN_KEEPALIVE void pl0_record(int max_steps) {
  const pl0::explorer::Recording recording =
      pl0::explorer::record(compiled, pl0::read_file("/work/input"), max_steps);
  pl0::write_file("/work/recording.json", pl0::explorer::to_json(recording));
}

}  // extern "C"
