// The pl0 driver's entry: run, build, trace or explore a PL/0 program through the four programs.
#pragma once

#include <string>

namespace pl0::driver {

int driver_main(int argc, const char* const* argv);

// pl0 explore: the command line after "explore".
int explore_main(int argc, const char* const* argv);
// pl0 conform and pl0 reduce, with the arguments after the command.
int conform_main(int argc, const char* const* argv);
int reduce_main(int argc, const char* const* argv);
// pl0 lsp: the language server on standard input and output.
int lsp_main(int argc, const char* const* argv);

// Writes a Tokeniser or Compiler message as the programs wrote it, then the source line it
// names (`line`, counted from 1; nothing for 0).
void show_stage_message(const std::string& message, const std::string& source, long line);

}  // namespace pl0::driver
