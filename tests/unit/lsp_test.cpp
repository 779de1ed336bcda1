// The server's own parse of names and scopes against the Compiler's: on every example and
// golden program, each use the Compiler resolved must mean the same declaration in the
// server's parse, and a program that compiles must have no use the Compiler did not see.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> programs() {
  std::vector<fs::path> found;
  for (const char* folder : {"examples", "tests/golden"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(PL0_SOURCE_DIR) / folder)) {
      if (entry.path().extension() == ".pl0") found.push_back(entry.path());
    }
  }
  return found;
}

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(LspScopes, AgreeWithTheCompilerOnEveryProgram) {
  int compiled = 0;
  for (const fs::path& path : programs()) {
    SCOPED_TRACE(path.string());
    const std::string source = contents(path);
    const pl0::lsp::Analysis a = pl0::lsp::analyse(source);
    for (const pl0::lsp::Use& theirs : a.compiler_uses) {
      const auto ours = std::find_if(a.uses.begin(), a.uses.end(),
                                     [&](const pl0::lsp::Use& u) { return u.at.from == theirs.at.from; });
      ASSERT_NE(ours, a.uses.end()) << "no use at byte " << theirs.at.from;
      EXPECT_EQ(ours->declaration, theirs.declaration) << "at byte " << theirs.at.from;
    }
    if (a.compiled.error_program.empty()) {
      ++compiled;
      EXPECT_EQ(a.uses.size(), a.compiler_uses.size());
      EXPECT_TRUE(a.skipped.empty());
      for (const pl0::lsp::Declaration& d : a.declarations) EXPECT_FALSE(d.table_line.empty()) << d.name;
    }
  }
  EXPECT_GT(compiled, 60);
}
