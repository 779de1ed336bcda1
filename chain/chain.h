// The tool chain run inside this process: each program's own entry, on the files of one folder,
// with the switches `pl0 build` and `pl0 run` give it. pl0, the explorer's recording, the
// language server, the conformance kit and the playground's module all run the chain through
// this class, so the switches are written once. The files are the folder's `stem` with each
// program's extension: .pl0, .tok, .code, .sym, .ops, .run and .stk.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "in_process.h"

namespace pl0 {

enum class Program { tokeniser, compiler, interpreter, translator };
inline constexpr Program programs[] = {Program::tokeniser, Program::compiler,
                                       Program::interpreter, Program::translator};

const char* program_name(Program program);  // "Tokeniser", ...
ProgramEntry program_entry(Program program);

// How the chain runs a program: the file it reads, its switches (without the program's name)
// and the files it may write. `keep_lines` adds -nl for the Tokeniser and the stack file for
// the Interpreter (which has a loop for traced runs and one for the rest).
struct Invocation {
  std::string input;
  std::vector<std::string> switches;
  std::vector<std::string> outputs;
};

class Chain {
 public:
  Chain(std::filesystem::path folder, std::string stem);

  // The path of the chain's file with this extension ("tok", "code", ...); a chain with an
  // empty folder names its files relative to wherever it runs.
  std::string file(const char* extension) const;

  Invocation invocation(Program program, bool keep_lines) const;
  // The command line as main receives it: the program's name, then the invocation's switches.
  std::vector<std::string> command(Program program, bool keep_lines) const;

  // Each program with its standard streams captured; the Tokeniser keeps line ends (-nl) so
  // that the Compiler's messages can name source lines. A caller that watches the Compiler
  // sets its observer (compiler/parser.h) around compile().
  InProcessRun tokenise(const std::string& source) const;
  InProcessRun compile() const;
  InProcessRun translate() const;

  // The Interpreter on the code file with the run file and, when `stack_file` names one, the
  // stack file; its standard streams are the caller's (the console, or a device that keeps
  // the output).
  int interpret(const Streams& streams, const std::string& stack_file = "") const;

 private:
  std::filesystem::path folder_;
  std::string stem_;
};

// The source line a Tokeniser message ("Line 7: ...") or a Compiler message ("Error 11 on
// line 7: ...") names, and a Compiler message's error number; 0 where there is none.
long tokeniser_message_line(const std::string& message);
long compiler_message_line(const std::string& message);
long compiler_message_number(const std::string& message);

}  // namespace pl0
