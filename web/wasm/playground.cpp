// The playground's WebAssembly entry: the four programs and the explorer's recording, run on
// the files of the module's memory file system exactly as `pl0 build` and the Interpreter run
// them. The worker writes /work/program.pl0 and /work/input, calls pl0_compile, and then what
// the page asks for: the run (pl0_interpret), its recording (pl0_record) or its stack file
// (pl0_trace). The run comes first and alone, so that the output is never held up.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "chain.h"
#include "files.h"
#include "recording.h"

namespace {

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
  compiled = pl0::explorer::compile(pl0::read_file(chain.file("pl0")));
  pl0::write_file("/work/compiled.json", pl0::explorer::to_json(compiled));
  pl0::write_file(chain.file("code"), compiled.code);
  return compiled.error_program.empty() ? 0 : 1;
}

// The Interpreter with a run file, reading /work/input.
EMSCRIPTEN_KEEPALIVE int pl0_interpret() {
  return interpret("/work/stdout", "/work/stderr");
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
