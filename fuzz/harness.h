// Shared pieces of the fuzz targets: each target hands its input to a program's entry function
// in this process, through files in a private folder, exactly as the program would get it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "code_file.h"
#include "machine_run.h"

namespace pl0::fuzz {

// A private folder for the target's files, made once per process.
inline const std::string& folder() {
  static const std::string path = [] {
    // Memory-backed where the system has it: the targets write and read files on every input.
    std::string pattern =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/pl0-fuzz.XXXXXX" : "/tmp/pl0-fuzz.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return path;
}

inline std::string file(const char* name) {
  return folder() + "/" + name;
}

inline void write_file(const std::string& name, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// Runs an entry function with its standard streams on /dev/null.
template <typename Entry>
int run_entry(Entry entry, std::vector<std::string> args) {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  static std::FILE* null_in = std::fopen("/dev/null", "r");
  static std::FILE* null_out = std::fopen("/dev/null", "w");
  return entry(static_cast<int>(argv.size()), argv.data(), null_in, null_out, null_out);
}

// Ends a run after a number of instructions, so that a looping program ends the input rather
// than the fuzzer.
struct Budget {
  static constexpr bool active = true;
  long left;
  bool operator()(const interpreter::MachineState&, int instructions) {
    left -= instructions;
    return left > 0;
  }
};

// Loads a code file and runs it on `input` for at most `budget` instructions.
inline void run_code_file(const std::string& code, const std::uint8_t* input, std::size_t size,
                          bool trace, long budget) {
  std::FILE* code_file = std::fopen(code.c_str(), "r");
  if (code_file == nullptr) return;
  std::vector<Instruction> program;
  const bool loaded = load_code(code_file, program);
  std::fclose(code_file);
  if (!loaded) return;
  std::FILE* in = std::tmpfile();
  if (size != 0) std::fwrite(input, 1, size, in);
  std::rewind(in);
  std::FILE* sink = std::fopen("/dev/null", "w");
  {
    interpreter::Output run(sink);
    interpreter::Output out(sink);
    interpreter::Output stack(trace ? sink : nullptr);
    if (trace) interpreter::write_trace_header(stack);
    interpreter::MachineState state;
    Budget limit{budget};
    interpreter::run_program_observed(program, state,
                                      interpreter::MachineIO{in, &run, &out, &stack}, limit);
  }
  std::fclose(sink);
  std::fclose(in);
}

}  // namespace pl0::fuzz
