// What the server knows of one version of a document. The Tokeniser and the Compiler run
// in-process on it, and their first error is the one error the editor shows, exactly. Beside
// them the server parses the text itself (scopes.cpp), a parser that always consumes a word and
// always finishes its rule, so that names, scopes and procedures are known past that error too.
#pragma once

#include <string>
#include <vector>

#include "compilation.h"
#include "words.h"

namespace pl0::lsp {

using tokeniser::Span;

struct Declaration {
  std::string name;
  int kind = 0;  // compiler::Kind: constant, variable, procedure
  int level = 0;
  int address = 0;  // variable: its offset in the frame; procedure: where its code starts
  int value = 0;    // constant: its value; variable: its cells
  Span at{0, 0};
  int parent = -1;       // the procedure whose block declares it; -1 for the main block
  long visible_to = 0;   // the byte where its block ends (its names are visible until there)
  Span block{0, 0};      // a procedure: from `procedure` to the end of its own block
  std::string table_line;  // its row of the symbol table file, when the Compiler got that far
  bool code_known = false;  // a procedure whose block the Compiler finished: `address` is true
};

struct Use {
  Span at;
  int declaration;       // -1: the name is declared nowhere in view
  bool writes = false;   // the target of an assignment, `read` or `getc`
  bool certain = true;   // false in a stretch that does not parse: a use only by its spelling
  bool called = false;   // after `call`
};

// A place where the text does not parse and what would mend it, for the quick fixes.
struct Mend {
  enum Kind { semicolon, ending, becomes } kind;  // ending: the ";" after a declaration
  Span at;  // the word the parser stumbled on
  long insert_at;  // semicolon: the end of the word before it
};

struct Warning {
  Span at;
  std::string code, message;
  bool unnecessary = false;  // a name never used: editors show it faded
};

// A block's place, where a declaration for it can be written: its first word.
struct Block {
  int owner;  // the procedure's declaration, or -1 for the main block
  long first_word;
  Span extent;
};

struct Analysis {
  Compilation compiled;
  Words words;
  long program_end = 0;  // after the program's period, or the end of the text
  std::vector<Declaration> declarations;
  std::vector<Use> uses;
  std::vector<Span> skipped;  // the stretches the parser could not follow
  std::vector<Mend> mends;
  std::vector<Warning> warnings;
  std::vector<Block> blocks;
  std::string table_header;  // the symbol table file's first line
  // The Compiler's own uses, as declarations of the list above: what the server's parse must
  // agree with wherever the Compiler got.
  std::vector<Use> compiler_uses;
};

Analysis analyse(const std::string& source);

// The index of the use or declaration whose name covers byte `offset`, and which of the two.
struct NameAt {
  int declaration = -1;
  int use = -1;  // -1 on the declaration itself
};
NameAt name_at(const Analysis& a, long offset);

// The declaration a name at byte `offset` means (its use or its declaration), or -1.
int declaration_at(const Analysis& a, long offset);

// The spelling of a word of the document.
inline std::string spelling(const std::string& source, const Span& at) {
  return source.substr(static_cast<std::size_t>(at.from), static_cast<std::size_t>(at.to - at.from));
}

}  // namespace pl0::lsp
