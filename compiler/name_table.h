// The name table: every declared constant, variable and procedure, with its frame address, in
// the order of declaration. Scopes are a saved table top: a procedure's names vanish when its
// block ends, and lookups search from the newest entry down, so inner names hide outer ones.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pl0::compiler {

enum Kind : int { constant_kind = 0, variable_kind = 1, procedure_kind = 2 };

struct NameEntry {
  std::string name;
  int kind = constant_kind;
  int value = 0;    // constant: its value; variable: its cells; procedure: 0
  int level = 0;    // of the block that declares it
  int address = 0;  // variable: first cell in its frame; procedure: code address
};

// Data addresses 0, 1 and 2 of every frame are the machine's link cells.
inline constexpr int first_data_address = 3;

struct NameTable {
  // Entry 0 never holds a declared name; the main block keeps its code address there.
  std::vector<NameEntry> entries = std::vector<NameEntry>(1);
  int top = 0;
  int data_address = first_data_address;
  int level = 0;
  std::FILE* listing = nullptr;  // the symbol table file, when asked for
};

extern NameTable names;

void reset_names(std::FILE* listing);
// Enters the current identifier spelling (a constant takes the current number value). The
// table grows as needed, so no number of names overruns it.
void enter_name(int kind, int cells);
// The index of the newest visible entry named `spelling`, or 0 when there is none.
int find_name(const std::string& spelling);

}  // namespace pl0::compiler
