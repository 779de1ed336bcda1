// What the kit generates: PL/0 programs that end, with their standard input; programs with a
// compile error; and raw material for each program (bytes for the Tokeniser, token files for
// the Compiler, code files for the Interpreter and the Translator). Every generator keeps clear
// of the places where this tool chain departs from the programs' literal rules (docs/conform.md).
#pragma once

#include <string>
#include <vector>

#include "code_file.h"
#include "random.h"

namespace pl0::conform {

struct Generated {
  std::string source, input;
};

// A program from the grammar that ends; its steps still need counting (see reference.h).
Generated valid_program(Random& random);

// `source` with one symbol dropped, doubled, or replaced: most such programs no longer compile.
std::string mutated(const std::string& source, Random& random);

// Bytes for the Tokeniser: fragments of programs, high bytes, comments and strings cut short,
// characters that begin no symbol.
std::string byte_soup(Random& random);

// A token file of symbols 0 to 42, mostly in an order a program might have.
std::string token_soup(Random& random);

// Instructions for the Interpreter (`runnable`: small operands, targets inside the program)
// or the Translator (extreme operands, unknown opcodes), as a code file; now and then a line
// that breaks the pattern ends the file early.
std::string code_soup(Random& random, bool runnable);

// The code file's text of `program`, as the Compiler writes it.
std::string code_file_text(const std::vector<Instruction>& program);

}  // namespace pl0::conform
