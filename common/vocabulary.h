// The two name tables every program shares: symbol numbers (the token file's contract) and
// opcode numbers (the code file's contract). Each table is one list that expands into the enum,
// the name array and the count, so a number, its name and the table's size can never drift apart.
#pragma once

#include <cstddef>

namespace pl0 {

// ORDER. A symbol's number is its place in this list, and the numbers from "null" up to the
// last keyword before "int" are written into token files: never reorder or remove those.
// - "plus" .. "period" are the operators and punctuation, looked up by the names the scanner
//   gives them; "begin" .. "int" are the keywords, looked up by their spelling in any case.
// - A new keyword goes just before "int". Only "int", "eof" and "error" move, and none of them
//   ever reaches a token file ("int" is delivered as "var"), so no stored file changes meaning.
// - The relations "eq" .. "geq" stand in the order of the opcodes EQU .. GEQ (pinned below).
// clang-format off
#define PL0_SYMBOLS(X)                                                                    \
  X(null) X(identifier) X(number) X(string)                                               \
  X(plus) X(minus) X(times) X(slash) X(eq) X(neq) X(les) X(leq) X(gtr) X(geq)             \
  X(lparent) X(rparent) X(lbracket) X(rbracket) X(comma) X(semicolon) X(becomes)          \
  X(comment) X(period)                                                                    \
  X(begin) X(end) X(if) X(then) X(while) X(do) X(call) X(const) X(var) X(procedure)       \
  X(write) X(putc) X(read) X(getc) X(else) X(odd) X(mod)                                  \
  X(int) X(eof) X(error)

// An opcode's number is its place in this list and is written into code files: a new opcode
// goes at the end.
#define PL0_OPCODES(X)                                                                    \
  X(LIT) X(LOD) X(STO) X(CAL) X(INT) X(JMP) X(JPC) X(RTN) X(WRITE) X(READ) X(PUTC)        \
  X(GETC) X(LDT) X(STT) X(NEG) X(ADD) X(MIN) X(MUL) X(DIV) X(ODD) X(EQU) X(NEQ) X(LES)    \
  X(LEQ) X(GTR) X(GEQ) X(MOD)
// clang-format on

#define PL0_ENUM_ENTRY(name) name##_sym,
#define PL0_NAME_ENTRY(name) #name,
#define PL0_COUNT_ENTRY(name) +1

// Symbols carry a "_sym" suffix because several names (if, while, int, ...) are C++ keywords.
enum Symbol : int { PL0_SYMBOLS(PL0_ENUM_ENTRY) };
inline constexpr const char* symbol_names[] = {PL0_SYMBOLS(PL0_NAME_ENTRY)};
inline constexpr int symbol_count = PL0_SYMBOLS(PL0_COUNT_ENTRY);

#undef PL0_ENUM_ENTRY
#define PL0_ENUM_ENTRY(name) name,

enum OpCode : int { PL0_OPCODES(PL0_ENUM_ENTRY) };
inline constexpr const char* opcode_names[] = {PL0_OPCODES(PL0_NAME_ENTRY)};
inline constexpr int opcode_count = PL0_OPCODES(PL0_COUNT_ENTRY);

#undef PL0_ENUM_ENTRY
#undef PL0_NAME_ENTRY
#undef PL0_COUNT_ENTRY
#undef PL0_SYMBOLS
#undef PL0_OPCODES

// The opcodes that replace the top two cells by one result: the arithmetic ones, then the
// relations in the order of "eq" .. "geq". Each list calls X(opcode, ...) with the arguments
// that follow X, so that families of names can be built from them (interpreter/decode.h).
// clang-format off
#define PL0_ARITHMETIC(X, ...) \
  X(ADD, __VA_ARGS__) X(MIN, __VA_ARGS__) X(MUL, __VA_ARGS__) X(DIV, __VA_ARGS__) X(MOD, __VA_ARGS__)
#define PL0_COMPARISONS(X, ...)                                                          \
  X(EQU, __VA_ARGS__) X(NEQ, __VA_ARGS__) X(LES, __VA_ARGS__) X(LEQ, __VA_ARGS__)        \
  X(GTR, __VA_ARGS__) X(GEQ, __VA_ARGS__)
#define PL0_BINARY(X, ...) PL0_ARITHMETIC(X, __VA_ARGS__) PL0_COMPARISONS(X, __VA_ARGS__)
// One case label for every binary opcode, for the switches that treat them alike: a switch
// stays exhaustive (-Wswitch), and a new binary opcode joins them all by joining the list.
#define PL0_CASE_LABEL(opcode, ...) case opcode:
#define PL0_BINARY_CASES PL0_BINARY(PL0_CASE_LABEL, )
// clang-format on

// The scanner's look-up ranges.
inline constexpr Symbol first_operator = plus_sym;
inline constexpr Symbol last_operator = period_sym;
inline constexpr Symbol first_keyword = begin_sym;
inline constexpr Symbol last_keyword = int_sym;
// What a look-up returns when a spelling is not in the range searched.
inline constexpr Symbol not_found = error_sym;

// The keyword range must end with "int", "eof" and "error" after it, or a keyword placed after
// "int" would never be looked up and would be read as an identifier.
static_assert(last_keyword + 1 == eof_sym && eof_sym + 1 == error_sym &&
              error_sym == symbol_count - 1);
static_assert(last_operator + 1 == first_keyword);

// A relation's opcode is its symbol number plus this difference ("eq" -> EQU, ...).
inline constexpr int relation_to_opcode = static_cast<int>(EQU) - static_cast<int>(eq_sym);
static_assert(neq_sym + relation_to_opcode == NEQ && les_sym + relation_to_opcode == LES &&
              leq_sym + relation_to_opcode == LEQ && gtr_sym + relation_to_opcode == GTR &&
              geq_sym + relation_to_opcode == GEQ);

inline bool is_symbol(int number) {
  return number >= 0 && number < symbol_count;
}
inline bool is_opcode(int number) {
  return number >= 0 && number < opcode_count;
}

}  // namespace pl0
