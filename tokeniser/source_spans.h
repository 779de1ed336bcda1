// Where each symbol stands in the source: the Tokeniser's scanner run once more, keeping the
// byte range of every symbol it writes to the token file, so that a tool can point at the
// symbol a message is about (the Compiler's messages name only a line). It writes nothing, so
// the Tokeniser's own output is untouched by it. This header is all a tool sees of the
// Tokeniser: the language server and the conformance kit scan through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pl0::tokeniser {

struct Span {
  long from, to;   // byte offsets in the source, `to` one past the symbol's last byte
  int symbol = 0;  // its number (vocabulary.h)
};

// Every symbol the scanner finds, comments included, up to the period or the first byte that
// begins no symbol (whose one-byte span comes last).
std::vector<Span> source_symbols(const std::string& source);

// The spans of the token file's symbols, in its order: source_symbols without the comments.
std::vector<Span> symbol_spans(const std::string& source);

// Where a comment or string opens that the source ends inside (the Tokeniser's "Unexpected end
// of source file" then names no place): the span of its opening ("{", "(*", "/*" or a quote)
// with the symbol comment or string; symbol 0 when the source ends elsewhere. A "//" comment
// ends with its line, so it is never the one left open.
Span unclosed_opening(const std::string& source);

// The keyword's symbol when `spelling` is one, as the scanner decides it; not_found otherwise.
int keyword_symbol(std::string_view spelling);

}  // namespace pl0::tokeniser
