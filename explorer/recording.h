// The recording of one run for the explorer: everything the four programs write about a
// program, which source line each instruction came from, the procedures' frames, and the
// machine state before every executed instruction, kept as changes with a full copy of the
// cells every `snapshot_every` steps so that any step is rebuilt quickly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"

namespace pl0::compiler {
class CompileObserver;
}

namespace pl0::explorer {

inline constexpr long default_max_steps = 1000000;
// The output a recording keeps; a program that writes more is cut there, and says so.
inline constexpr std::size_t default_max_output = 1 << 20;
inline constexpr int snapshot_every = 1024;

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

struct RunEnd {
  enum Kind { finished, fault, step_cap, write_failed } kind = finished;
  std::string message;  // the Interpreter's message for a fault
};

struct Recording {
  std::string source, input;
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

  bool ran = false;
  RunEnd end;
  long steps = 0;  // instructions executed; states 0 .. steps are recorded
  long max_steps = default_max_steps;
  // Per state, PC SP BP Ax Bx Tx.
  std::vector<std::int32_t> registers;
  // The cells that instruction s - 1 changed, for state s: change_start[s] .. change_start[s+1].
  std::vector<std::int32_t> change_start, change_cell, change_value;
  std::vector<std::array<std::int32_t, interpreter::stack_cells>> snapshots;
  std::string output;
  bool output_cut = false;
  std::vector<std::pair<long, std::size_t>> output_at;  // (state, output length) where it grew
  std::vector<std::pair<long, std::size_t>> input_at;   // (state, input consumed) where it grew
};

// Tokenises, compiles and translates `source`: everything of a recording but the run. Uses a
// private temporary folder for the programs' files.
// `also`, when given, watches the compilation too: its block and name events are passed on.
Recording compile(const std::string& source, compiler::CompileObserver* also = nullptr);

// Compiles `source` and runs it on `input`, at most `max_steps` instructions.
// Runs what compile() made on `input`, at most `max_steps` instructions: the chain's files are
// not made again.
Recording record(Recording compiled, const std::string& input,
                 long max_steps = default_max_steps, std::size_t max_output = default_max_output);

Recording record(const std::string& source, const std::string& input,
                 long max_steps = default_max_steps, std::size_t max_output = default_max_output);

// The recording as JSON (docs/recording.md).
std::string to_json(const Recording& recording);

}  // namespace pl0::explorer
