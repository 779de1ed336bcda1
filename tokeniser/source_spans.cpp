// The scanner itself, on a temporary file, rather than a second scanner: a span can never
// disagree with the symbol the Tokeniser writes.
#include "source_spans.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "scanner.h"
#include "vocabulary.h"

namespace pl0::tokeniser {

std::vector<Span> source_symbols(const std::string& source) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("cannot create a temporary file");
  std::fwrite(source.data(), 1, source.size(), file);
  std::rewind(file);
  reset_scanner(file);
  std::vector<Span> spans;
  try {
    next_char();
    for (;;) {
      scan_symbol();
      const int symbol = scanner.current_symbol;
      // The period and an unknown byte are not consumed: the scanner never reads past them.
      const bool unconsumed = symbol == period_sym || symbol == not_found;
      spans.push_back({scanner.symbol_start,
                       unconsumed ? scanner.symbol_start + 1 : scanner.characters_read - 1,
                       symbol});
      if (unconsumed) break;
    }
  } catch (const EndOfSource&) {
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

Span unclosed_opening(const std::string& source) {
  const std::vector<Span> spans = source_symbols(source);
  std::size_t at = spans.empty() ? 0 : static_cast<std::size_t>(spans.back().to);
  // The scanner's blanks: every control byte, the space, and bytes 128 to 255.
  while (at < source.size() && (static_cast<unsigned char>(source[at]) <= ' ' ||
                                static_cast<unsigned char>(source[at]) >= 128)) {
    ++at;
  }
  const std::string rest = source.substr(std::min(at, source.size()));
  const auto open = [&](std::size_t length, const std::string& close, int symbol) {
    // The opening's own characters never close it: "(*)" is still open.
    if (rest.find(close, length) != std::string::npos) return Span{0, 0, 0};
    return Span{static_cast<long>(at), static_cast<long>(at + length), symbol};
  };
  if (rest.rfind('{', 0) == 0) return open(1, "}", comment_sym);
  if (rest.rfind("(*", 0) == 0) return open(2, "*)", comment_sym);
  if (rest.rfind("/*", 0) == 0) return open(2, "*/", comment_sym);
  if (rest.rfind('\'', 0) == 0 || rest.rfind('"', 0) == 0) {
    return open(1, rest.substr(0, 1), string_sym);
  }
  return {0, 0, 0};
}

int keyword_symbol(std::string_view spelling) {
  return find_keyword(spelling);
}

}  // namespace pl0::tokeniser
