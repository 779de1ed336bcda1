// What the Tokeniser and the Compiler make of one version of a document, run in-process on it:
// the recording without its run (files, each instruction's line, an error's place) and, from
// the Compiler's own name table as it works, every declaration and every use of a name.
#pragma once

#include <string>
#include <vector>

#include "recording.h"
#include "source_spans.h"

namespace pl0::lsp {

struct Declaration {
  std::string name;
  int kind = 0;  // compiler::Kind: constant, variable, procedure
  int level = 0;
  int address = 0;  // variable: its offset in the frame; procedure: where its code starts
  int value = 0;    // constant: its value; variable: its cells
  explorer::Span at{0, 0};
  std::string table_line;  // its row of the symbol table file, as the Compiler writes it
  int parent = -1;         // the procedure whose block declares it; -1 for the main block
  long visible_to = 0;     // the byte where its block ends (its names are visible until there)
};

struct Use {
  explorer::Span at;
  int declaration;
};

struct Analysis {
  explorer::Recording compiled;
  std::vector<explorer::Span> symbols;  // every symbol of the source, comments included
  std::vector<Declaration> declarations;
  std::vector<Use> uses;
  std::string table_header;  // the symbol table file's first line
};

Analysis analyse(const std::string& source);

// The declaration a name at byte `offset` means (its use or its declaration), or -1.
int declaration_at(const Analysis& a, long offset);

}  // namespace pl0::lsp
