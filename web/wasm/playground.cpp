// The playground's WebAssembly entry: the four programs and the explorer's recording, run on
// the files of the module's memory file system exactly as `pl0 build` and the Interpreter run
// them. The worker writes /work/program.pl0 and /work/input, calls pl0_compile and then
// pl0_interpret, and reads every file back.
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compiler.h"
#include "interpreter.h"
#include "recording.h"
#include "tokeniser.h"
#include "translator.h"

namespace {

using Entry = int (*)(int, const char* const*, std::FILE*, std::FILE*, std::FILE*);

// Runs one program with its error stream appended to /work/stderr and its standard output on
// /work/stdout (a device that keeps what every program writes to it, so it is not appended to:
// a device cannot seek to its end).
int run(Entry entry, const std::vector<const char*>& args, const char* in = nullptr,
        const char* out_path = "/work/stdout", const char* err_path = "/work/stderr") {
  std::FILE* input = in != nullptr ? std::fopen(in, "rb") : nullptr;
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

}  // namespace

extern "C" {

// Tokeniser, Compiler and Translator, then the explorer's recording of at most `max_steps`
// instructions into /work/recording.json. Returns the status of the first program that failed.
EMSCRIPTEN_KEEPALIVE int pl0_compile(int max_steps) {
  int status = run(pl0::tokeniser_main, {"Tokeniser", "-i", "/work/program.pl0", "-o",
                                         "/work/program.tok", "-nl"});
  if (status == 0) {
    status = run(pl0::compiler_main, {"Compiler", "-i", "/work/program.tok", "-o",
                                      "/work/program.code", "-t", "/work/program.sym"});
  }
  if (status == 0) {
    status = run(pl0::translator_main,
                 {"Translator", "-i", "/work/program.code", "-o", "/work/program.ops"});
  }
  const pl0::explorer::Recording recording = pl0::explorer::record(
      read_file("/work/program.pl0"), read_file("/work/input"), max_steps);
  const std::string json = pl0::explorer::to_json(recording);
  if (std::FILE* file = std::fopen("/work/recording.json", "wb")) {
    std::fwrite(json.data(), 1, json.size(), file);
    std::fclose(file);
  }
  return status;
}

// The Interpreter with a run file, reading /work/input; then again with the stack file on, whose
// device keeps only the start of a long trace: that second run ends where its trace is cut,
// and what it writes besides is not kept, so a long program still runs to its end in the first.
EMSCRIPTEN_KEEPALIVE int pl0_interpret() {
  const int status =
      run(pl0::interpreter_main,
          {"Interpreter", "-i", "/work/program.code", "-o", "/work/program.run"}, "/work/input");
  run(pl0::interpreter_main,
      {"Interpreter", "-i", "/work/program.code", "-o", "/work/trace.run", "-s",
       "/work/program.stk"},
      "/work/input", "/work/trace.out", "/work/trace.err");
  return status;
}

}  // extern "C"
