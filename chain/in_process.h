// One of the four programs run inside this process, as its main would run it, with its
// standard streams on temporary files that are read back: how the tools (the recording, the
// conformance kit, the tests) use the programs' own code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pl0 {

using ProgramEntry = int (*)(int, const char* const*, std::FILE*, std::FILE*, std::FILE*);

struct InProcessRun {
  int status = 0;
  std::string out, err;
};

// A program's standard streams.
struct Streams {
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
};

// `args` as main receives them, the program's name first; the streams are the caller's.
int run_on_streams(ProgramEntry entry, const std::vector<std::string>& args,
                   const Streams& streams);

// As run_on_streams, with the streams on temporary files: `stdin_text` in, the rest read back.
InProcessRun run_in_process(ProgramEntry entry, const std::vector<std::string>& args,
                            const std::string& stdin_text = "");

// A temporary file holding `text`, open for reading and writing from its start; the caller
// closes it.
std::FILE* temporary_stream(const std::string& text);

// The whole contents of an open stream, from its start.
std::string read_whole_stream(std::FILE* file);

}  // namespace pl0
