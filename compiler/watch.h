// The Compiler as a tool sees it, and no more: the observer it calls for every instruction,
// block and name; the name table as it stands when the observer is called; which symbols of
// the token file the reader has taken; its error numbers; and how it reads a number. The
// explorer's recording, the language server and pl0 --native watch the Compiler through this
// header alone, so its parser and reader stay its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errors.h"
#include "name_table.h"

namespace pl0::compiler {

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

// The symbols of the token file, counted from 0: the last one the reader took (where an error
// was found), and the identifier a name_declared or name_used event is about.
int last_symbol();
int identifier_symbol();

// A decimal word read as atoi reads it (sign, leading digits, the rest ignored), wrapping
// modulo 2^32 like all of the machine's arithmetic.
std::int32_t word_to_int(const std::string& word);

}  // namespace pl0::compiler
