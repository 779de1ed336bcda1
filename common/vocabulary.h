// The two name tables every program shares: symbol numbers (the token file's contract) and
// opcode numbers (the code file's contract). Each table is one list that expands into both the
// enum and the name array, so a number and its name can never drift apart.
#pragma once

#include <cstddef>

namespace pl0 {

// clang-format off
#define PL0_SYMBOLS(X)                                                                    \
  X(null) X(identifier) X(number) X(string) X(plus) X(minus) X(times) X(slash) X(eq)     \
  X(neq) X(les) X(leq) X(gtr) X(geq) X(lparent) X(rparent) X(lbracket) X(rbracket)       \
  X(comma) X(semicolon) X(becomes) X(comment) X(period) X(begin) X(end) X(if) X(then)    \
  X(while) X(do) X(call) X(const) X(var) X(procedure) X(write) X(putc) X(read) X(getc)   \
  X(else) X(odd) X(mod) X(int) X(eof) X(error)

#define PL0_OPCODES(X)                                                                    \
  X(LIT) X(LOD) X(STO) X(CAL) X(INT) X(JMP) X(JPC) X(RTN) X(WRITE) X(READ) X(PUTC)        \
  X(GETC) X(LDT) X(STT) X(NEG) X(ADD) X(MIN) X(MUL) X(DIV) X(ODD) X(EQU) X(NEQ) X(LES)    \
  X(LEQ) X(GTR) X(GEQ) X(MOD)
// clang-format on

#define PL0_ENUM_ENTRY(name) name##_sym,
#define PL0_NAME_ENTRY(name) #name,

// Symbols carry a "_sym" suffix because several names (if, while, int, ...) are C++ keywords.
enum Symbol : int { PL0_SYMBOLS(PL0_ENUM_ENTRY) };
inline constexpr const char* symbol_names[] = {PL0_SYMBOLS(PL0_NAME_ENTRY)};

#undef PL0_ENUM_ENTRY
#define PL0_ENUM_ENTRY(name) name,

enum OpCode : int { PL0_OPCODES(PL0_ENUM_ENTRY) };
inline constexpr const char* opcode_names[] = {PL0_OPCODES(PL0_NAME_ENTRY)};

#undef PL0_ENUM_ENTRY
#undef PL0_NAME_ENTRY
#undef PL0_SYMBOLS
#undef PL0_OPCODES

inline constexpr int symbol_count = 43;
inline constexpr int opcode_count = 27;
static_assert(sizeof symbol_names / sizeof *symbol_names == symbol_count);
static_assert(sizeof opcode_names / sizeof *opcode_names == opcode_count);
static_assert(error_sym == symbol_count - 1 && MOD == opcode_count - 1);

// A relation's opcode is its symbol number plus this difference ("eq" 8 -> EQU 20, ...).
inline constexpr int relation_to_opcode = EQU - eq_sym;
static_assert(geq_sym + relation_to_opcode == GEQ);

inline bool is_symbol(int number) {
  return number >= 0 && number < symbol_count;
}
inline bool is_opcode(int number) {
  return number >= 0 && number < opcode_count;
}

}  // namespace pl0
