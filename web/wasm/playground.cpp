// The playground's WebAssembly entry: the four programs and the explorer's recording, run on
// the files of the module's memory file system exactly as `pl0 build` and the Interpreter run
// them. The worker writes /work/program.pl0 and /work/input, calls pl0_compile, and then what
// the page asks for: the run (pl0_interpret), its recording (pl0_record) or its stack file
// (pl0_trace). The run comes first and alone, so that the output is never held up.
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "interpreter.h"
#include "recording.h"

namespace {

using Entry = int (*)(int, const char* const*, std::FILE*, std::FILE*, std::FILE*);

// Runs one program with its standard input from `in`, its output on `out_path` (a device that
// keeps what is written to it, so it is not appended to: a device cannot seek to its end) and
// its error stream appended to `err_path`.
int run(Entry entry, const std::vector<const char*>& args, const char* in, const char* out_path,
        const char* err_path) {
  std::FILE* input = std::fopen(in, "rb");
  std::FILE* out = std::fopen(out_path, "wb");
  std::FILE* err = std::fopen(err_path, "ab");
  const int status = entry(static_cast<int>(args.size()), args.data(), input, out, err);
  if (input != nullptr) std::fclose(input);
  std::fclose(out);
  std::fclose(err);
  return status;
}

std::string read_file(const char* path) {
  std::string text;
  if (std::FILE* file = std::fopen(path, "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  return text;
}

void write_file(const char* path, const std::string& text) {
  if (std::FILE* file = std::fopen(path, "wb")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
}

}  // namespace

extern "C" {

// Tokeniser, Compiler and Translator, with each instruction's source line and an error's place:
// a recording without its run, in /work/compiled.json, and the code file for the runs.
// Returns the status of the program that failed, or 0.
EMSCRIPTEN_KEEPALIVE int pl0_compile() {
  const pl0::explorer::Recording compiled =
      pl0::explorer::compile(read_file("/work/program.pl0"));
  write_file("/work/compiled.json", pl0::explorer::to_json(compiled));
  write_file("/work/program.code", compiled.code);
  return compiled.error_program.empty() ? 0 : 1;
}

// The Interpreter with a run file, reading /work/input.
EMSCRIPTEN_KEEPALIVE int pl0_interpret() {
  return run(pl0::interpreter_main,
             {"Interpreter", "-i", "/work/program.code", "-o", "/work/program.run"}, "/work/input",
             "/work/stdout", "/work/stderr");
}

// The Interpreter with its stack file on, whose device keeps only the start of a long trace:
// the run ends where its trace is cut.
EMSCRIPTEN_KEEPALIVE int pl0_trace() {
  return run(pl0::interpreter_main,
             {"Interpreter", "-i", "/work/program.code", "-o", "/work/trace.run", "-s",
              "/work/program.stk"},
             "/work/input", "/work/trace.out", "/work/trace.err");
}

// The explorer's recording of at most `max_steps` instructions, in /work/recording.json.
EMSCRIPTEN_KEEPALIVE void pl0_record(int max_steps) {
  const pl0::explorer::Recording recording = pl0::explorer::record(
      read_file("/work/program.pl0"), read_file("/work/input"), max_steps);
  write_file("/work/recording.json", pl0::explorer::to_json(recording));
}

}  // extern "C"
