#include "source_spans.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "scanner.h"
#include "vocabulary.h"

namespace pl0::explorer {

std::vector<Span> source_symbols(const std::string& source) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("cannot create a temporary file");
  std::fwrite(source.data(), 1, source.size(), file);
  std::rewind(file);
  using tokeniser::scanner;
  tokeniser::reset_scanner(file);
  std::vector<Span> spans;
  try {
    tokeniser::next_char();
    for (;;) {
      tokeniser::scan_symbol();
      const int symbol = scanner.current_symbol;
      // The period and an unknown byte are not consumed: the scanner never reads past them.
      const bool unconsumed = symbol == period_sym || symbol == not_found;
      spans.push_back({scanner.symbol_start,
                       unconsumed ? scanner.symbol_start + 1 : scanner.characters_read - 1,
                       symbol});
      if (unconsumed) break;
    }
  } catch (const tokeniser::EndOfSource&) {
    // the source ends without its period: every symbol before it has its span
  }
  std::fclose(file);
  return spans;
}

std::vector<Span> symbol_spans(const std::string& source) {
  std::vector<Span> spans = source_symbols(source);
  spans.erase(std::remove_if(spans.begin(), spans.end(),
                             [](const Span& s) { return s.symbol == comment_sym; }),
              spans.end());
  return spans;
}

}  // namespace pl0::explorer
