// Each answer of the language server, from one document's text and analysis, in the protocol's
// JSON shapes.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis.h"
#include "text.h"

namespace pl0::lsp {

using nlohmann::json;

// The legend of semantic_tokens: the types and modifiers their numbers stand for.
json semantic_legend();

json diagnostics(const Text& text, const Analysis& a);
json hover(const Text& text, const Analysis& a, long offset);
json definition(const Text& text, const Analysis& a, long offset, const std::string& uri);
json references(const Text& text, const Analysis& a, long offset, bool with_declaration,
                const std::string& uri);
json rename(const Text& text, const Analysis& a, long offset, const std::string& name,
            const std::string& uri);
json document_symbols(const Text& text, const Analysis& a);
json semantic_tokens(const Text& text, const Analysis& a);
json completion(const Analysis& a, long offset);
json folding_ranges(const Text& text, const Analysis& a);

}  // namespace pl0::lsp
