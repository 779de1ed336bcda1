// Cutting a failing input down: the smallest input the test still accepts, found by trying
// edits in a fixed order (so every run gives the same result) until no single one is kept.
// A slow program under test decides the cost, so a candidate is run only when it must be:
// what it would hand the program is worked out first (cheaply, in this thread), candidates
// that hand it the same thing are run once, and up to `jobs` of them run at once, the first
// in order that still fails being kept. PL/0 is cut by its structure in big steps first
// (statement lists halved, declarations, procedures, the words around a statement), then a
// few symbols at a time, and stays ordinary PL/0 if it was; token files by entries, code files
// by instructions with their fields' layout kept, other text by bytes.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pl0::conform {

enum class Shape { pl0, tokens, code, text };

// A file's shape by its name: .pl0, .tok, .code, anything else text.
Shape shape_of(const std::string& file_name);

// True when a candidate still shows what is being looked for.
using Test = std::function<bool(const std::string&)>;

// A candidate made ready to run: `key` is all that its run depends on (two candidates with
// one key have one outcome), and `still_fails` runs it within `seconds`, possibly beside
// other trials.
struct Trial {
  std::string key;
  std::function<bool(double seconds)> still_fails;
};
// Nothing for a candidate that is no use without a run (the test would refuse it anyway).
using Prepare = std::function<std::optional<Trial>(const std::string& candidate)>;

struct Reduction {
  std::string result;
  int tests = 0;          // candidates run
  bool complete = false;  // no single edit is left to make (false: time ran out first)
};

// `input` must pass the test; so does every result, and none is longer. Each candidate kept is
// shorter than the one before, or as long and plainer (small letters, blanks, 0 and 1), so a
// cut-down always ends. A PL/0 result is laid out one statement a line at the end, when that
// still fails.
Reduction reduce(const std::string& input, Shape shape, const Prepare& prepare, double seconds, int jobs);

// The same with a test that is its own key, one candidate at a time.
Reduction reduce(const std::string& input, Shape shape, const Test& test, double seconds = 30);

}  // namespace pl0::conform
