// Writes the fuzzers' dictionaries from the programs' own tables, so that a new keyword, symbol
// or opcode reaches the fuzzers without anyone editing a list by hand.
//   make_dictionaries DIR   writes DIR/pl0.dict, DIR/tokens.dict and DIR/code.dict
#include <cstdio>
#include <string>

#include "vocabulary.h"

namespace {

using namespace pl0;

// Libfuzzer's dictionary syntax: one quoted entry a line, with \xNN for bytes outside ASCII text.
void entry(std::FILE* out, const std::string& text) {
  std::fputc('"', out);
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c == '"' || c == '\\' || c < 32 || c > 126) {
      std::fprintf(out, "\\x%02x", c);
    } else {
      std::fputc(c, out);
    }
  }
  std::fputs("\"\n", out);
}

// Numbers at the edges of the machine: its stack, and 32-bit wrapping.
constexpr const char* edge_numbers[] = {"0",          "100",         "101",       "-1",
                                        "2147483647", "-2147483648", "4294967296"};

// Source text: the keywords, and the spellings of operators, shorthands and comment marks (those
// spellings live in the scanner's code, not in a table).
void write_source(std::FILE* out) {
  for (int s = first_keyword; s <= last_keyword; ++s) entry(out, symbol_names[s]);
  constexpr const char* spellings[] = {":=", "<=", ">=", "<>", "#",  "!",  "?",  "%", "(",
                                       ")",  "[",  "]",  "(*", "*)", "/*", "*/", "//", "{",
                                       "}",  "'",  "\"", ".",  ";",  ",",  "_"};
  for (const char* s : spellings) entry(out, s);
  for (const char* n : edge_numbers) entry(out, n);
}

// Token files: every symbol number as written, with a spelling after those that carry one.
void write_tokens(std::FILE* out) {
  for (int s = 0; s < symbol_count; ++s) {
    std::string text = std::to_string(s) + " ";
    if (s == identifier_sym) text += "x ";
    if (s == number_sym) text += "7 ";
    if (s == string_sym) text += "a_b ";
    entry(out, text);
  }
  entry(out, std::to_string(string_sym) + "  ");  // the empty string
  entry(out, "\n");
  for (const char* n : edge_numbers) entry(out, n);
}

// Code files: the header, the separator, every mnemonic and opcode number.
void write_code(std::FILE* out) {
  entry(out, "Address OpCode Level Operand ; Code\n");
  entry(out, " ; ");
  for (int op = 0; op < opcode_count; ++op) {
    entry(out, opcode_names[op]);
    entry(out, " " + std::to_string(op) + " ");
  }
  for (const char* n : edge_numbers) entry(out, n);
}

bool write(const std::string& path, void (*contents)(std::FILE*)) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  contents(out);
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_dictionaries DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = write(dir + "/pl0.dict", write_source) &&
                  write(dir + "/tokens.dict", write_tokens) && write(dir + "/code.dict", write_code);
  if (!ok) std::perror("make_dictionaries");
  return ok ? 0 : 1;
}
