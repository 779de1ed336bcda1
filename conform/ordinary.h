// Ordinary PL/0: a program of the grammar as a student writes it, every factor and condition
// in place (the Compiler also takes `x := ;` and `if then`, which no one reads with ease).
// A cut-down case stays ordinary when its original was, and is shown one statement a line.
#pragma once

#include <optional>
#include <string>

namespace pl0::conform {

// True when `source`'s symbols up to its period form such a program: one factor to each
// operand, both sides to every relation, a name to every declaration and call.
bool ordinary(const std::string& source);

// An ordinary program printed one statement a line, blocks indented by two blanks, its
// symbols as spelt in `source` (comments dropped); nothing when `source` is not ordinary.
std::optional<std::string> laid_out(const std::string& source);

}  // namespace pl0::conform
