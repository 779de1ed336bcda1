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

std::string names_from(const char* const* names, int first, int count) {
  std::string all;
  for (int k = first; k < first + count; ++k) all += std::string(names[k]) + " ";
  return all;
}

// The numbers stored in token and code files: a name inserted anywhere but in its place (a new
// keyword just before "int", a new opcode at the end) renumbers files already written.
TEST(Vocabulary, NumbersInStoredFilesNeverChange) {
  EXPECT_EQ(names_from(symbol_names, 0, 40),
            "null identifier number string plus minus times slash eq neq les leq gtr geq lparent "
            "rparent lbracket rbracket comma semicolon becomes comment period begin end if then "
            "while do call const var procedure write putc read getc else odd mod ");
  EXPECT_EQ(names_from(opcode_names, 0, 27),
            "LIT LOD STO CAL INT JMP JPC RTN WRITE READ PUTC GETC LDT STT NEG ADD MIN MUL DIV ODD "
            "EQU NEQ LES LEQ GTR GEQ MOD ");
  EXPECT_STREQ(symbol_names[int_sym], "int");
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
