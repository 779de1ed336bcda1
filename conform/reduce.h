// Cutting a failing input down: the smallest input the test still accepts, found by trying
// edits in a fixed order (so every run gives the same result) until no single one is kept.
// PL/0 is cut by its own structure first (declarations, statements, procedures, the words
// around a statement, expressions), then symbol by symbol; token files by entries, code files
// by instructions and fields, other text by bytes.
#pragma once

#include <functional>
#include <string>

namespace pl0::conform {

enum class Shape { pl0, tokens, code, text };

// A file's shape by its name: .pl0, .tok, .code, anything else text.
Shape shape_of(const std::string& file_name);

// True when a candidate still shows what is being looked for.
using Test = std::function<bool(const std::string&)>;

struct Reduction {
  std::string result;
  int tests = 0;          // candidates tried
  bool complete = false;  // no single edit is left to make (false: time ran out first)
};

// `input` must pass `test`; so does every result.
Reduction reduce(const std::string& input, Shape shape, const Test& test, double seconds = 30);

}  // namespace pl0::conform
