// The Tokeniser's main loop: one entry per symbol the scanner delivers, with -nl's line feeds
// written before each symbol so that entries stand on their source lines.
#include "tokeniser.h"

#include "program.h"
#include "scanner.h"
#include "vocabulary.h"

namespace pl0 {

namespace {

constexpr const char* usage = "Usage: Tokeniser -i PL/0 File -o Token File [-nl keep lines]\n";

using tokeniser::scanner;

struct Run {
  std::FILE* tokens;
  std::FILE* err;
  bool keep_lines;
  int lines_written = 1;
};

void write_line_feeds(Run& run) {
  while (run.lines_written < scanner.line_number) {
    std::fputc('\n', run.tokens);
    ++run.lines_written;
  }
}

// Writes the entry for the current symbol; false when the symbol ends the run.
bool write_entry(Run& run) {
  const int symbol = scanner.current_symbol;
  switch (symbol) {
    case comment_sym: return true;
    case period_sym: std::fprintf(run.tokens, "%d ", symbol); return false;
    case identifier_sym:
    case number_sym:
    case string_sym:
      std::fprintf(run.tokens, "%d %s ", symbol, scanner.spelling.c_str());
      return true;
    case not_found: {
      // A colon that ends the file has no character after it; show the colon itself.
      const int shown = scanner.lookahead == tokeniser::end_of_file ? ':' : scanner.lookahead;
      std::fprintf(run.err, "Line %d: After '%s', unknown symbol '%c' found\n", scanner.line_number,
                   scanner.previous_spelling.c_str(), shown);
      return false;
    }
    default: std::fprintf(run.tokens, "%d ", symbol); return true;
  }
}

// Returns the exit status: 0 at the period, 1 after an unknown symbol (the token file is then
// incomplete, and a script chaining the programs must be able to stop there).
int tokenise(Run& run) {
  tokeniser::next_char();
  tokeniser::scan_symbol();
  for (;;) {
    if (run.keep_lines) write_line_feeds(run);
    if (!write_entry(run)) return scanner.current_symbol == period_sym ? 0 : 1;
    tokeniser::scan_symbol();
  }
}

}  // namespace

int tokeniser_main(int argc, const char* const* argv, std::FILE* /*in*/, std::FILE* out,
                   std::FILE* err) {
  std::vector<Switch> switches{{"-i", true}, {"-o", true}, {"-nl", false}};
  const Switch& input = switches[0];
  Switch& output = switches[1];
  scan_switches(argc, argv, switches);
  if (argc <= 1 || !input.seen) {
    std::fputs(usage, out);
    return 0;
  }
  if (!output.seen) output.name = "stdout";

  FileOpener files("Tokeniser", err);
  std::FILE* source = files.open_input("source file", input);
  if (source == nullptr) return 1;
  std::FILE* tokens = files.open_output("token file", output);
  if (tokens == nullptr) {
    std::fclose(source);
    return 1;
  }

  tokeniser::reset_scanner(source);
  Run run{tokens, err, switches[2].seen};
  int status;
  try {
    status = tokenise(run);
  } catch (const tokeniser::EndOfSource&) {
    std::fputs("Unexpected end of source file\n", err);
    std::fclose(source);
    files.close_output(tokens, "token file", output);
    return 1;
  }
  const bool written = files.close_output(tokens, "token file", output);
  std::fclose(source);
  return written ? status : 1;
}

}  // namespace pl0
