// The four programs under test, how the kit runs each (its switches, its file names), and this
// tool chain's own outcome for a case, computed in this process by the programs' own code.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "chain.h"
#include "code_file.h"

namespace pl0::conform {

using pl0::Invocation;
using pl0::Program;
using pl0::program_name;
using pl0::programs;

// Everything a run leaves: the files of its folder by name, its streams and its exit status.
struct Outcome {
  std::map<std::string, std::string> files;
  std::string out, err;
  int status = 0;
};

// How a program is run on a case, in a folder of its own: the chain's invocation on files named
// "prog" (prog.pl0, prog.tok, ...).
Invocation invocation(Program program, bool keep_lines);

// This tool chain's outcome for `input` (the text of the file the program reads).
Outcome reference(Program program, const std::string& input, const std::string& stdin_text,
                  bool keep_lines);

// The stages before a program: source to token file (with -nl) and token file to code file.
// Empty strings where a stage fails; `error` is the Compiler's error number, or 0.
struct Compiled {
  bool tokenised = false, compiled = false;
  std::string tokens, code;
  int error = 0;
};
Compiled compile(const std::string& source);

// How the Interpreter's machine ends on a code file within `steps` instructions.
enum class Ending { finished, fault, too_long };
Ending ending(const std::string& code, const std::string& stdin_text, long steps = 5000);

}  // namespace pl0::conform
