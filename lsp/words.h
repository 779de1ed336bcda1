// The server's own scanner: the Tokeniser's symbols, but it never stops. It reads past a byte
// that begins no symbol and past the period, and an unclosed comment or string runs to the end
// of the text and is remembered with where it opened, so that the editor can keep answering on
// the rest of a file the Tokeniser gave up on and can say where an end-of-file error began.
#pragma once

#include <string>
#include <vector>

#include "source_spans.h"

namespace pl0::lsp {

using Word = tokeniser::Span;  // symbol error_sym: a byte that begins no symbol, or a lone ':'

struct Words {
  std::vector<Word> list;  // comments included
  enum Open { none, comment, string } open = none;
  long open_at = -1;  // the byte where the unclosed comment or string starts
};

Words scan_words(const std::string& source);

}  // namespace pl0::lsp
