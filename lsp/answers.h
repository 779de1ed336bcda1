// Each answer of the language server, from one document's text and analysis, in the protocol's
// JSON shapes.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis.h"
#include "text.h"

namespace pl0::lsp {

using nlohmann::json;

// A request the server understood but will not carry out, with the reason for the student.
struct Refusal {
  std::string message;
};

// The legend of semantic_tokens: the types and modifiers their numbers stand for.
json semantic_legend();

json position_json(const Text& text, long offset);
json range_json(const Text& text, const Span& at);

json hover(const Text& text, const Analysis& a, long offset);
json definition(const Text& text, const Analysis& a, long offset, const std::string& uri);
json references(const Text& text, const Analysis& a, long offset, bool with_declaration,
                const std::string& uri);
json document_symbols(const Text& text, const Analysis& a);
json semantic_tokens(const Text& text, const Analysis& a);
json completion(const Analysis& a, long offset);
json folding_ranges(const Text& text, const Analysis& a);

// advice.cpp: the error where the student must act, the warnings, and the quick fixes.
json diagnostics(const Text& text, const Analysis& a, const std::string& uri);
json code_actions(const Text& text, const Analysis& a, const Span& range, const std::string& uri);

// rename.cpp: the name under the cursor, and a rename that keeps every use meaning what it did
// (or a Refusal saying which use would not).
json prepare_rename(const Text& text, const Analysis& a, long offset);
json rename(const Text& text, const Analysis& a, long offset, const std::string& name,
            const std::string& uri);

}  // namespace pl0::lsp
