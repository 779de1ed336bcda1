#include "tokeniser.h"

#include <gtest/gtest.h>

#include "run_helpers.h"
#include "scanner.h"
#include "vocabulary.h"

namespace pl0 {
namespace {

using test::read_file;
using test::run_entry;
using test::write_file;

TEST(Vocabulary, TablesMatchTheirEnums) {
  EXPECT_STREQ(symbol_names[lparent_sym], "lparent");
  EXPECT_STREQ(symbol_names[int_sym], "int");
  EXPECT_STREQ(opcode_names[WRITE], "WRITE");
  EXPECT_EQ(les_sym + relation_to_opcode, LES);
}

TEST(Lookups, SearchOnlyTheirOwnRangeAndIgnoreCase) {
  EXPECT_EQ(tokeniser::find_keyword("BeGiN"), begin_sym);
  EXPECT_EQ(tokeniser::find_keyword("plus"), error_sym);
  EXPECT_EQ(tokeniser::find_operator("PERIOD"), period_sym);
  EXPECT_EQ(tokeniser::find_operator("begin"), error_sym);
  EXPECT_EQ(tokeniser::find_symbol("eof"), eof_sym);
  EXPECT_EQ(tokeniser::find_symbol("error"), error_sym);  // 42 is outside the range searched
  EXPECT_EQ(tokeniser::find_keyword(std::string(40, 'x')), error_sym);
}

// The entry function must start from fresh scanner state every time: a run that stopped in the
// middle of a string or at a line number far down must leave nothing behind for the next one.
TEST(TokeniserEntry, RunsRepeatedlyFromFreshState) {
  write_file("unit_broken.pl0", "x\n\n\n'unclosed");
  write_file("unit_good.pl0", "a.");
  const auto broken =
      run_entry(tokeniser_main, {"Tokeniser", "-i", "unit_broken.pl0", "-o", "unit.tok"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.err, "Unexpected end of source file\n");
  for (int round = 0; round < 3; ++round) {
    const auto good =
        run_entry(tokeniser_main, {"Tokeniser", "-i", "unit_good.pl0", "-o", "unit.tok", "-nl"});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.err, "");
    EXPECT_EQ(read_file("unit.tok"), "1 a 22 ");
  }
  std::remove("unit_broken.pl0");
  std::remove("unit_good.pl0");
  std::remove("unit.tok");
}

}  // namespace
}  // namespace pl0
