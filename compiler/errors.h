// The Compiler's errors: every check ends in one of these, reported by number and message.
#pragma once

namespace pl0::compiler {

// ORDER. The numbers are printed in every report, and exercises, notes and answer sheets refer
// to them, so each keeps its place: a new error takes the next free number at the end. Numbers
// 8, 19 and 26 are raised by no check (26 was a limit on procedure nesting that this Compiler
// does not have) but keep their place and message, so that every number after them still
// means what it always has.
// clang-format off
#define PL0_COMPILER_ERRORS(X)                                                                   \
  X(0,  no_error,                     "")                                                        \
  X(1,  unexpected_end,               "unexpected end of input file.")                           \
  X(2,  number_after_eq,              "a number must follow a '='.")                             \
  X(3,  eq_after_identifier,          "an '=' must follow an identifier.")                       \
  X(4,  identifier_after_declaration,                                                            \
        "an identifier must follow a 'const', 'var' or 'procedure'.")                            \
  X(5,  comma_expected,               "expected a ','.")                                         \
  X(6,  number_after_lbracket,        "a number must follow a '['.")                             \
  X(7,  code_too_long,                "code exceeds code buffer size.")                          \
  X(8,  unused_incorrect_symbol,      "incorrect symbol.")                                       \
  X(9,  period_expected,              "expected a '.'.")                                         \
  X(10, semicolon_expected,           "expected a ';'.")                                         \
  X(11, undeclared_identifier,        "undeclared identifier.")                                  \
  X(12, illegal_assignment,           "illegal assignment.")                                     \
  X(13, becomes_expected,             "expected a ':='.")                                        \
  X(14, identifier_after_call,        "an identifier must follow a 'call'.")                     \
  X(15, call_of_non_procedure,        "a constant or variable can not be called.")               \
  X(16, then_expected,                "expected a 'then'.")                                      \
  X(17, end_expected,                 "expected an 'end', perhaps a missing ';'.")               \
  X(18, do_expected,                  "expected a 'do'.")                                        \
  X(19, unused_incorrect_symbol_2,    "incorrect symbol.")                                       \
  X(20, relation_expected,            "expected a relation operator.")                           \
  X(21, procedure_in_expression,      "a procedure identifier can not be in an expression.")     \
  X(22, rparent_expected,             "expected a ')'.")                                         \
  X(23, unknown_keyword,              "unknown keyword.")                                        \
  X(24, identifier_expected,          "expected an identifier.")                                 \
  X(25, rbracket_expected,            "expected a ']'.")                                         \
  X(26, unused_procedure_nesting,     "procedure nesting too deep (>7).")                        \
  X(27, string_too_long,              "string does not fit its variable.")                       \
  X(28, nesting_too_deep,             "nesting too deep (more than 1000 levels).")
// clang-format on

#define PL0_ERROR_ENUM(number, name, message) name = number,
#define PL0_ERROR_NUMBER(number, name, message) number,
#define PL0_ERROR_MESSAGE(number, name, message) message,

enum ErrorNumber : int { PL0_COMPILER_ERRORS(PL0_ERROR_ENUM) };
inline constexpr int error_numbers[] = {PL0_COMPILER_ERRORS(PL0_ERROR_NUMBER)};
inline constexpr const char* error_messages[] = {PL0_COMPILER_ERRORS(PL0_ERROR_MESSAGE)};
inline constexpr int error_count = sizeof error_numbers / sizeof *error_numbers;

#undef PL0_ERROR_ENUM
#undef PL0_ERROR_NUMBER
#undef PL0_ERROR_MESSAGE
#undef PL0_COMPILER_ERRORS

// Each number must stand at its own place in the list, since the message is found by number.
constexpr bool numbered_in_order() {
  for (int i = 0; i < error_count; ++i) {
    if (error_numbers[i] != i) return false;
  }
  return true;
}
static_assert(numbered_in_order(), "an error was added out of order or with a number in use");

}  // namespace pl0::compiler
