#include "token_reader.h"

#include "program.h"
#include "vocabulary.h"

namespace pl0::compiler {

TokenReader reader;

namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the next line whole, however long; false at the end of the file.
bool read_line() {
  reader.line.clear();
  reader.position = 0;
  int c = std::fgetc(reader.tokens);
  if (c == EOF) return false;
  for (; c != EOF; c = std::fgetc(reader.tokens)) {
    reader.line += static_cast<char>(c);
    if (c == '\n') break;
  }
  ++reader.line_count;
  return true;
}

// The next word of the current line; false when the line has no further word.
bool word_in_line(std::string& word) {
  const std::string& line = reader.line;
  std::size_t start = reader.position;
  while (start < line.size() && is_separator(line[start])) ++start;
  if (start == line.size()) {
    reader.position = start;
    return false;
  }
  std::size_t stop = start;
  while (stop < line.size() && !is_separator(line[stop])) ++stop;
  word.assign(line, start, stop - start);
  reader.position = stop;
  return true;
}

// The Tokeniser writes a string with no characters as "3" and two blanks; a spelling is never
// separated from its number by more than one blank, so the second blank marks the empty string.
bool empty_string_follows() {
  const std::string& line = reader.line;
  const std::size_t at = reader.position;
  if (at + 1 < line.size() && line[at] == ' ' && line[at + 1] == ' ') {
    reader.position = at + 2;
    return true;
  }
  return false;
}

const char* symbol_name(int symbol) {
  return is_symbol(symbol) ? symbol_names[symbol] : "?";
}

}  // namespace

int last_symbol() { return reader.symbol_count - 1; }
int identifier_symbol() { return reader.identifier_symbol; }

std::int32_t word_to_int(const std::string& word) {
  std::size_t i = 0;
  const bool negative = i < word.size() && word[i] == '-';
  if (i < word.size() && (word[i] == '-' || word[i] == '+')) ++i;
  std::uint32_t value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(word[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

void reset_reader(std::FILE* tokens, std::FILE* err) {
  reader = TokenReader{};
  reader.tokens = tokens;
  reader.err = err;
}

void next_symbol() {
  reader.previous_symbol = reader.current_symbol;
  reader.previous_line = reader.symbol_line;
  std::string word;
  while (!word_in_line(word)) {
    if (!read_line()) report_error(unexpected_end);
  }
  reader.current_symbol = word_to_int(word);
  reader.symbol_line = reader.line_count;
  ++reader.symbol_count;
  switch (reader.current_symbol) {
    case identifier_sym:
      if (!word_in_line(reader.identifier)) report_error(unexpected_end);
      reader.identifier_symbol = reader.symbol_count - 1;
      break;
    case number_sym:
      if (!word_in_line(word)) report_error(unexpected_end);
      reader.number_value = word_to_int(word);
      break;
    case string_sym:
      if (empty_string_follows()) {
        reader.string_spelling.clear();
      } else if (!word_in_line(reader.string_spelling)) {
        report_error(unexpected_end);
      }
      break;
    default: break;
  }
}

void report_error(ErrorNumber error) {
  std::FILE* err = reader.err;
  std::fprintf(err, "Error %d on line %d: After '%s' found '%s'", error, reader.line_count,
               symbol_name(reader.previous_symbol), symbol_name(reader.current_symbol));
  switch (reader.current_symbol) {
    case identifier_sym: std::fprintf(err, " \"%s\"", reader.identifier.c_str()); break;
    case number_sym: std::fprintf(err, " \"%d\"", reader.number_value); break;
    case string_sym: std::fprintf(err, " \"%s\"", reader.string_spelling.c_str()); break;
    default: break;
  }
  std::fprintf(err, ", %s\n", error_messages[error]);
  throw EarlyEnd{1};
}

}  // namespace pl0::compiler
