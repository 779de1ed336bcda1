#include "parser.h"

#include "name_table.h"
#include "token_reader.h"
#include "vocabulary.h"
#include "wrapping.h"

namespace pl0::compiler {

CodeBuffer code;
CompileObserver* compile_observer = nullptr;

void LineTable::emitted(int address, int line) {
  const auto at = static_cast<std::size_t>(address);
  if (at >= lines.size()) lines.resize(at + 1, 0);
  lines[at] = line;
}

void LineTable::block_compiled(int /*own*/, int /*jump*/, int /*body*/, int /*end*/) {}

namespace {

int depth = 0;

// Counts one level of nesting for as long as a parse function runs.
struct Nesting {
  Nesting() {
    if (++depth > nesting_limit) report_error(nesting_too_deep);
  }
  ~Nesting() { --depth; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;
};

int current() {
  return reader.current_symbol;
}

void expect(int symbol, ErrorNumber error) {
  if (current() != symbol) report_error(error);
}

// Requires `symbol` and moves past it.
void skip(int symbol, ErrorNumber error) {
  expect(symbol, error);
  next_symbol();
}

// The line of the last symbol consumed, which ends the construct being compiled: the current
// symbol is already the look-ahead, often on the next line (the `end` after a statement).
int source_line() {
  return reader.previous_line != 0 ? reader.previous_line : reader.symbol_line;
}

void emit(int opcode, int level, std::int32_t operand, int line = source_line()) {
  if (code.count >= code_max) report_error(code_too_long);
  code.code[static_cast<std::size_t>(code.count)] = {opcode, level, operand};
  if (compile_observer != nullptr) compile_observer->emitted(code.count, line);
  ++code.count;
}

// Emits a jump whose target is not known yet; returns its address for patch_jump.
int emit_jump(int opcode) {
  const int at = code.count;
  emit(opcode, 0, 0);
  return at;
}

void patch_jump(int at) {
  code.code[static_cast<std::size_t>(at)].operand = code.count;
}

NameEntry& entry(int index) {
  return names.entries[static_cast<std::size_t>(index)];
}

// How many static levels out the entry's name lives.
int level_of(int index) {
  return names.level - entry(index).level;
}

int find_declared() {
  const int index = find_name(reader.identifier);
  if (index == 0) report_error(undeclared_identifier);
  if (compile_observer != nullptr) compile_observer->name_used(index);
  return index;
}

// The current identifier as a variable: a target of assignment, read or getc.
int find_variable() {
  const int index = find_declared();
  if (entry(index).kind != variable_kind) report_error(illegal_assignment);
  return index;
}

void parse_statement();
void parse_expression();
bool starts_statement_with_keyword(int symbol);

// index = "[" expression "]"   (the "[" is current)
void parse_index() {
  next_symbol();
  parse_expression();
  skip(rbracket_sym, rbracket_expected);
}

// factor = { identifier | identifier "[" expression "]" | number | "(" expression ")" }
// Repeats, and compiles nothing without complaint when no factor starts here.
void parse_factor() {
  for (;;) {
    if (current() == identifier_sym) {
      const int e = find_declared();
      if (entry(e).kind == constant_kind) {
        next_symbol();
        emit(LIT, 0, entry(e).value);
      } else if (entry(e).kind == variable_kind) {
        next_symbol();
        if (current() == lbracket_sym) {
          parse_index();
          emit(LDT, level_of(e), entry(e).address);
        } else {
          emit(LOD, level_of(e), entry(e).address);
        }
      } else {
        report_error(procedure_in_expression);
      }
    } else if (current() == number_sym) {
      emit(LIT, 0, reader.number_value);
      next_symbol();
    } else if (current() == lparent_sym) {
      next_symbol();
      parse_expression();
      skip(rparent_sym, rparent_expected);
    } else {
      return;
    }
  }
}

// term = factor { ("*" | "/" | "mod") factor }
void parse_term() {
  parse_factor();
  while (current() == times_sym || current() == slash_sym || current() == mod_sym) {
    const int op = current();
    next_symbol();
    parse_factor();
    emit(op == times_sym ? MUL : op == slash_sym ? DIV : MOD, 0, 0);
  }
}

// expression = ["+" | "-"] term { ("+" | "-") term }
// A leading minus applies to the whole first term: -2*3 is -(2*3).
void parse_expression() {
  Nesting nesting;
  if (current() == plus_sym || current() == minus_sym) {
    const int sign = current();
    next_symbol();
    parse_term();
    if (sign == minus_sym) emit(NEG, 0, 0);
  } else {
    parse_term();
  }
  while (current() == plus_sym || current() == minus_sym) {
    const int op = current();
    next_symbol();
    parse_term();
    emit(op == plus_sym ? ADD : MIN, 0, 0);
  }
}

bool is_relation(int symbol) {
  return symbol >= eq_sym && symbol <= geq_sym;
}

// condition = "odd" expression | expression relation expression
void parse_condition() {
  if (current() == odd_sym) {
    next_symbol();
    parse_expression();
    emit(ODD, 0, 0);
    return;
  }
  parse_expression();
  const int relation = current();
  if (!is_relation(relation)) report_error(relation_expected);
  next_symbol();
  parse_expression();
  emit(relation + relation_to_opcode, 0, 0);
}

// A counted string: the length in the variable's first cell, the characters after it, stored
// last character first. A "_" of the token file stands for a blank.
void store_string(int e) {
  std::string& text = reader.string_spelling;
  const auto length = static_cast<std::int64_t>(text.size());
  if (length + 1 > entry(e).value) report_error(string_too_long);
  for (auto k = static_cast<int>(length) - 1; k >= 0; --k) {
    char& c = text[static_cast<std::size_t>(k)];
    if (c == '_') c = ' ';
    emit(LIT, 0, static_cast<std::int8_t>(c));
    emit(STO, level_of(e), wrap_add(entry(e).address, k + 1));
  }
  emit(LIT, 0, static_cast<std::int32_t>(length));
  emit(STO, level_of(e), entry(e).address);
}

// assignment = identifier ["[" expression "]"] ":=" (string | expression)
void parse_assignment() {
  const int e = find_variable();
  next_symbol();
  const bool indexed = current() == lbracket_sym;
  if (indexed) parse_index();
  skip(becomes_sym, becomes_expected);
  if (current() == string_sym) {
    store_string(e);  // an index was compiled but places nothing: the string starts at the name
    next_symbol();
    return;
  }
  parse_expression();
  emit(indexed ? STT : STO, level_of(e), entry(e).address);
}

// call = "call" identifier
void parse_call() {
  next_symbol();
  expect(identifier_sym, identifier_after_call);
  const int e = find_declared();
  if (entry(e).kind != procedure_kind) report_error(call_of_non_procedure);
  emit(CAL, level_of(e), entry(e).address);
  next_symbol();
}

// if = "if" condition "then" statement ["else" statement]
void parse_if() {
  next_symbol();
  parse_condition();
  skip(then_sym, then_expected);
  const int j = emit_jump(JPC);
  parse_statement();
  patch_jump(j);
  if (current() == else_sym) {
    next_symbol();
    const int k = emit_jump(JMP);
    patch_jump(j);  // again: the false branch starts after the jump over the else part
    parse_statement();
    patch_jump(k);
  }
}

// compound = "begin" statement { ";" statement } "end"
void parse_compound() {
  next_symbol();
  parse_statement();
  for (;;) {
    if (current() == semicolon_sym) {
      next_symbol();
      parse_statement();
    } else if (starts_statement_with_keyword(current())) {
      // A statement keyword right after a statement: the ";" between them is missing.
      report_error(semicolon_expected);
    } else if (current() == end_sym) {
      next_symbol();
      return;
    } else {
      report_error(end_expected);
    }
  }
}

// while = "while" condition "do" statement
void parse_while() {
  const int start = code.count;
  next_symbol();
  parse_condition();
  const int j = emit_jump(JPC);
  skip(do_sym, do_expected);
  parse_statement();
  emit(JMP, 0, start);
  patch_jump(j);
}

// write = "write" expression; putc = "putc" expression
void parse_output(int opcode) {
  next_symbol();
  parse_expression();
  emit(opcode, 0, 0);
}

// read = "read" target; getc = "getc" target; target = identifier ["[" expression "]"]
void parse_input(int opcode, int operand) {
  next_symbol();
  expect(identifier_sym, identifier_expected);
  const int e = find_variable();
  next_symbol();
  const bool indexed = current() == lbracket_sym;
  if (indexed) parse_index();
  emit(opcode, 0, operand);
  emit(indexed ? STT : STO, level_of(e), entry(e).address);
}

// The statements, each with the symbol that starts it: the one list that both parse_statement
// and the check for a missing ";" read.
struct StatementRule {
  Symbol starter;
  void (*parse)();
};
constexpr StatementRule statement_rules[] = {
    {identifier_sym, parse_assignment},
    {call_sym, parse_call},
    {begin_sym, parse_compound},
    {if_sym, parse_if},
    {while_sym, parse_while},
    {write_sym, [] { parse_output(WRITE); }},
    {putc_sym, [] { parse_output(PUTC); }},
    {read_sym, [] { parse_input(READ, 0); }},
    {getc_sym, [] { parse_input(GETC, 1); }},
};

const StatementRule* statement_rule(int symbol) {
  for (const StatementRule& rule : statement_rules) {
    if (rule.starter == symbol) return &rule;
  }
  return nullptr;
}

bool starts_statement_with_keyword(int symbol) {
  return symbol != identifier_sym && statement_rule(symbol) != nullptr;
}

// statement = assignment | call | compound | if | while | write | putc | read | getc | nothing
// where nothing is allowed only before "end".
void parse_statement() {
  Nesting nesting;
  if (const StatementRule* rule = statement_rule(current())) {
    rule->parse();
  } else if (current() != end_sym) {
    report_error(unknown_keyword);
  }
}

// const-list = "const" identifier "=" ["-"] number { "," identifier "=" ["-"] number } ";"
void parse_const_list() {
  do {
    next_symbol();
    expect(identifier_sym, identifier_after_declaration);
    next_symbol();
    skip(eq_sym, eq_after_identifier);
    const bool negative = current() == minus_sym;
    if (negative) next_symbol();
    expect(number_sym, number_after_eq);
    if (negative) reader.number_value = wrap_neg(reader.number_value);
    enter_name(constant_kind, 1);
    next_symbol();
    if (current() != comma_sym) expect(semicolon_sym, comma_expected);
  } while (current() == comma_sym);
  next_symbol();
}

// var-list = "var" identifier ["[" number "]"] { "," identifier ["[" number "]"] } ";"
void parse_var_list() {
  do {
    next_symbol();
    expect(identifier_sym, identifier_after_declaration);
    next_symbol();
    int cells = 1;
    if (current() == lbracket_sym) {
      next_symbol();
      expect(number_sym, number_after_lbracket);
      next_symbol();
      skip(rbracket_sym, rbracket_expected);
      cells = wrap_add(reader.number_value, 1);
    }
    enter_name(variable_kind, cells);
    if (current() != comma_sym) expect(semicolon_sym, comma_expected);
  } while (current() == comma_sym);
  next_symbol();
}

// procedure-declaration = "procedure" identifier ";" block ";"
void parse_procedure() {
  next_symbol();
  expect(identifier_sym, identifier_after_declaration);
  enter_name(procedure_kind, 1);
  next_symbol();
  skip(semicolon_sym, semicolon_expected);
  const int saved_top = names.top;
  const int saved_address = names.data_address;
  ++names.level;
  names.data_address = first_data_address;
  parse_block();
  --names.level;
  names.top = saved_top;
  names.data_address = saved_address;
  skip(semicolon_sym, semicolon_expected);
}

}  // namespace

void reset_code() {
  code = CodeBuffer{};
  depth = 0;
}

// block = { const-list | var-list | procedure-declaration } statement
// Its code: a jump over its procedures, their code, then its INT, statement and RTN.
void parse_block() {
  Nesting nesting;
  const int own = names.top;
  const int jump = code.count;
  entry(own).address = jump;
  emit(JMP, 0, 0);
  for (;;) {
    if (current() == const_sym) {
      parse_const_list();
    } else if (current() == var_sym) {
      parse_var_list();
    } else if (current() == procedure_sym) {
      parse_procedure();
    } else {
      break;
    }
  }
  patch_jump(entry(own).address);
  entry(own).address = code.count;  // calls compiled from now on go straight to the INT
  // The main frame's link cells are in place before the machine starts; a procedure's INT
  // reserves its three link cells too.
  const int frame =
      names.level == 0 ? wrap_sub(names.data_address, first_data_address) : names.data_address;
  const int body = code.count;
  emit(INT, 0, frame, reader.symbol_line);  // where the body starts, not the last declaration
  parse_statement();
  emit(RTN, 0, 0);
  if (compile_observer != nullptr) compile_observer->block_compiled(own, jump, body, code.count - 1);
}

}  // namespace pl0::compiler
