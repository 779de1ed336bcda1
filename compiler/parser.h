// The parser and code generator: one pass, no syntax tree. Code is emitted into a fixed buffer
// the moment each construct is recognised, and forward jumps are patched in place once their
// target is known. Every parse function starts at the current symbol and leaves the first
// symbol after its construct current.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "code_file.h"

namespace pl0::compiler {

inline constexpr int code_max = 1001;

struct CodeBuffer {
  std::array<Instruction, code_max> code{};
  int count = 0;  // also the address of the next instruction
};

extern CodeBuffer code;

// Lets a tool watch the compilation: the explorer learns from it which source line each
// instruction was compiled from and where each block's code lies. The Compiler sets none, so it
// pays one test of a null pointer per instruction.
class CompileObserver {
 public:
  virtual ~CompileObserver() = default;
  // Instruction `address` was emitted for the token file's line `line`: the line of the last
  // symbol the parser had consumed, so a statement's code belongs to the statement's line.
  virtual void emitted(int address, int line) = 0;
  // A block is compiled: `own` is its name entry (0 for the main block), `jump` the address of
  // its first JMP, `body` of its INT and `end` of its RTN. Its names are still in the table.
  virtual void block_compiled(int own, int jump, int body, int end) = 0;
  // The name entry `index` was declared by the identifier just consumed, or the identifier
  // just consumed was found to mean it: how an editor learns what each name refers to.
  virtual void name_declared(int /*index*/) {}
  virtual void name_used(int /*index*/) {}
};

extern CompileObserver* compile_observer;

// Each instruction's source line, as the observer that tools share: the explorer's recording,
// the playground and the native listing all read this one table.
class LineTable : public CompileObserver {
 public:
  void emitted(int address, int line) override;
  void block_compiled(int own, int jump, int body, int end) override;
  std::vector<int> lines;  // by address; 0 where none is known
};

// Sets the observer for as long as it lives, so that an early end cannot leave it set.
class Observing {
 public:
  explicit Observing(CompileObserver* observer) { compile_observer = observer; }
  ~Observing() { compile_observer = nullptr; }
  Observing(const Observing&) = delete;
  Observing& operator=(const Observing&) = delete;
};

void reset_code();
// Compiles one block. Its own name entry is the table top on entry: the procedure just
// entered, or entry 0 for the main block.
void parse_block();

}  // namespace pl0::compiler
