// A program compiled and not run: the files the Tokeniser, the Compiler and the Translator
// write, the source line of each instruction, the procedures' frames, and where an error lies
// in the source. The explorer's recording runs it, the language server answers from it; both
// watch the Compiler through the one observer this makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "code_file.h"

namespace pl0::compiler {
class CompileObserver;
}

namespace pl0 {

struct Variable {
  std::string name;
  std::int32_t offset;  // from the frame's base: the cell is base - offset
  std::int32_t cells;   // 1, or n + 1 for an array [n]
};

struct Procedure {
  std::string name;  // empty for the main block
  int level;         // how deep it is declared: 0 for the main block
  int jump;          // its first JMP
  int body;          // its INT, where calls enter
  int end;           // its RTN
  std::vector<Variable> variables;
};

struct InstructionInfo {
  Instruction instruction;
  int line;                             // the source line it was compiled from
  std::vector<std::string> operations;  // its lines of the opcode file, without the tab
};

struct Compilation {
  std::string source;
  std::string tokens, code, symbols, opcodes;  // the files, as the programs write them
  // A Tokeniser or Compiler error: its message exactly as written, the source line, and the
  // bytes of the source it is about: the symbol the message found, or the end of the text.
  std::string error_program, error_message;
  int error_line = 0;
  long error_from = 0, error_to = 0;
  // "comment" or "string" when the source ends inside one: error_from and error_to are then
  // its opening, the place the Tokeniser's message cannot name.
  std::string error_unclosed;

  std::vector<InstructionInfo> instructions;
  std::vector<Procedure> procedures;  // the main block first, then in the order they end
};

// Tokenises, compiles and translates `source` in a private temporary folder.
// `also`, when given, watches the compilation too: its block and name events are passed on.
Compilation compile(const std::string& source, compiler::CompileObserver* also = nullptr);

}  // namespace pl0
