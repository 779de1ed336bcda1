// pl0 build --native and pl0 run --native: the code file as x86-64 assembly, with the source's
// lines in its comments, made into an executable by the system's assembler and linker.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "assembly.h"

namespace pl0::driver {

// Empty when this machine can make native programs; otherwise why not, in one line.
std::string native_unavailable();

// Writes `assembly` and links `executable` from the code file (`lines`: each instruction's
// source line, for the listing's comments), through `scratch` so that
// neither is left half-written. Returns 0, or 1 after a message.
int build_native(const std::string& source, const std::vector<int>& lines,
                 const std::filesystem::path& code, const std::filesystem::path& assembly,
                 const std::filesystem::path& executable, const std::filesystem::path& scratch,
                 native::Generator generator);

// Runs `path` with `args` on the console's streams, as a shell would: its exit status, 128 plus
// the signal that ended it, or -1 when it could not be started. A program the driver starts is
// looked for beside pl0 first (find_program), then on PATH.
int run_program(const std::string& path, const std::vector<std::string>& args);
std::string find_program(const std::string& program);

}  // namespace pl0::driver
