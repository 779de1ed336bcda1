// Comparing what an implementation did with what it should have done: every file of its
// folder, both streams and the exit status, exactly where the programs' rules fix them.
#pragma once

#include <string>
#include <vector>

#include "cases.h"
#include "sandbox.h"

namespace pl0::conform {

struct Difference {
  std::string what;  // a file's name, "standard output", "standard error", "exit status", "run"
  std::string expected, actual;
};

// The expected outcome of a case: this tool chain's (the golden files for a curated case),
// with a teacher's files in place of ours. Runs the programs' code: not thread-safe.
Outcome expected_outcome(const Case& c);

std::vector<Difference> differences(const Case& c, const Outcome& expected, const SandboxRun& run,
                                    const Limits& limits, bool strict);

// The first differing lines of two texts as a unified diff, with up to three lines of context.
std::string unified_diff(const std::string& expected, const std::string& actual,
                         const std::string& label, int most_lines = 24);

}  // namespace pl0::conform
