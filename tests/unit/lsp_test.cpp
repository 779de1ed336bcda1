// The server's own parse of names and scopes against the Compiler's: on every example and
// golden program, each use the Compiler resolved must mean the same declaration in the
// server's parse, and a program that compiles must have no use the Compiler did not see.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "analysis.h"
#include "build_paths.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> programs() {
  std::vector<fs::path> found;
  for (const char* folder : {"examples", "tests/golden"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(pl0::test::source_dir) / folder)) {
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
    // name_at finds a name by halving: both lists must stand in the order of the text.
    EXPECT_TRUE(std::is_sorted(a.uses.begin(), a.uses.end(), [](const auto& x, const auto& y) { return x.at.from < y.at.from; }));
    EXPECT_TRUE(std::is_sorted(a.declarations.begin(), a.declarations.end(),
                               [](const auto& x, const auto& y) { return x.at.from < y.at.from; }));
    if (a.compiled.error_program.empty()) {
      ++compiled;
      EXPECT_EQ(a.uses.size(), a.compiler_uses.size());
      EXPECT_TRUE(a.skipped.empty());
      for (const pl0::lsp::Declaration& d : a.declarations) EXPECT_FALSE(d.table_line.empty()) << d.name;
    }
  }
  EXPECT_GT(compiled, 60);
}

// Each warning on the golden programs read by hand and found true; none on the examples.
TEST(LspWarnings, OnlyWhereTheyAreTrue) {
  const std::multiset<std::string> expected = {
      "compiler/array_of_one_cell_and_plain_index:1:index-outside",
      "compiler/array_of_one_cell_and_plain_index:1:never-assigned",
      "compiler/dangling_else_belongs_to_inner_if:2:never-assigned",  // c and d
      "compiler/dangling_else_belongs_to_inner_if:2:never-assigned",
      "compiler/error_10_after_procedure_block:1:never-used",
      "compiler/error_10_after_procedure_name:1:never-used",
      "compiler/error_24_getc_needs_name:1:never-used",
      "compiler/error_24_read_needs_name:1:never-used",
      "compiler/error_25_array_size_not_closed:1:never-used",
      "compiler/error_2_number_after_eq:1:never-used",
      "compiler/error_2_number_after_minus:1:never-used",
      "compiler/error_3_eq_after_name:1:never-used",
      "compiler/error_4_after_comma:1:never-used",
      "compiler/error_5_const_list:1:never-used",
      "compiler/error_5_var_list:1:never-used",
      "compiler/error_6_array_size:1:never-used",
      "compiler/negative_constants_and_signs:1:never-used",
      "compiler/numbers_wrap_at_32_bits:1:never-used",
      "compiler/same_name_twice:1:never-used",
      "compiler/scopes_and_hiding:5:never-assigned",
      "compiler/symbol_table_example:1:never-used",  // max, a, p and m
      "compiler/symbol_table_example:1:never-used",
      "compiler/symbol_table_example:1:never-used",
      "compiler/symbol_table_example:1:never-used",
      "compiler/symbol_table_example:1:never-assigned",
      "interpreter/reserving_past_cell_0_untouched:1:never-used",
  };
  std::multiset<std::string> found;
  for (const fs::path& path : programs()) {
    const std::string source = contents(path);
    const fs::path relative = fs::relative(path, fs::path(pl0::test::source_dir) / "tests/golden");
    for (const pl0::lsp::Warning& w : pl0::lsp::analyse(source).warnings) {
      const auto line = 1 + std::count(source.begin(), source.begin() + w.at.from, '\n');
      found.insert(relative.parent_path().parent_path().string() + ":" + std::to_string(line) + ":" + w.code);
    }
  }
  EXPECT_EQ(found, expected);
}
