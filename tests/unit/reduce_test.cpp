// pl0 conform's cut-downs as a student reads them: a generated program that shows a fault
// comes down to a dozen lines of ordinary PL/0, and a code file keeps its columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "ordinary.h"
#include "programs.h"
#include "reduce.h"
#include "reference.h"
#include "vocabulary.h"

namespace pl0::conform {
namespace {

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(Ordinary, EveryFactorAndConditionInPlace) {
  EXPECT_TRUE(ordinary("var x, a[3];\nbegin x := -(1 + a[2]) mod 3; if odd x then write x else read a[0] end."));
  EXPECT_TRUE(ordinary("const c = -5; procedure p; ; begin call p; x := 'ab'; while x # c do ! x end."));
  // What the Compiler takes but no one writes: the cut-downs students were shown.
  for (const char* odd : {"begin x := ; write 1 end.", "begin if < then write 1 end.", "begin write j[ ] end.",
                          "begin write(-j[]1)/5 end.", "begin x := 1 2 end.", "var ;begin end.", "begin end"}) {
    EXPECT_FALSE(ordinary(odd)) << odd;
  }
}

TEST(Ordinary, LaidOutOneStatementALine) {
  EXPECT_EQ(laid_out("var i;procedure P;begin i:=i+1;if i<3 then call P end;\n"
                     "begin i:=0;while i<3 do begin write i;call P end;if odd i then write-i else write(i) end."),
            "var i;\n"
            "procedure P;\n"
            "  begin\n"
            "    i := i + 1;\n"
            "    if i < 3 then call P\n"
            "  end;\n"
            "begin\n"
            "  i := 0;\n"
            "  while i < 3 do begin\n"
            "    write i;\n"
            "    call P\n"
            "  end;\n"
            "  if odd i then write -i\n"
            "  else write (i)\n"
            "end.\n");
  EXPECT_FALSE(laid_out("begin x := end."));
}

// A fault the Compiler might have: MOD compiled as DIV. The test is what pl0 conform checks,
// made in this process: the program still compiles to a MOD.
TEST(Reduce, GeneratedProgramComesDownToADozenOrdinaryLines) {
  const auto has_mod = [](const std::string& text) {
    const Compiled c = compile(text);
    return c.compiled && c.code.find(" MOD\n") != std::string::npos;
  };
  std::string source;
  for (std::uint32_t seed = 1; seed < 100 && !(has_mod(source) && lines(source) >= 20); ++seed) {
    Random random(seed);
    source = valid_program(random).source;
  }
  ASSERT_TRUE(has_mod(source));
  const Reduction r = reduce(source, Shape::pl0, has_mod, 1e9);
  EXPECT_TRUE(has_mod(r.result));
  EXPECT_TRUE(ordinary(r.result)) << r.result;
  EXPECT_LE(lines(r.result), 12) << r.result;
  EXPECT_EQ(r.result, laid_out(r.result)) << "not one statement a line:\n" << r.result;
}

// Candidates run side by side must not change what is kept: the first in order that still
// fails, as one at a time. Keyed by the code they compile to, as pl0 conform keys them.
TEST(Reduce, SameResultWhateverTheJobs) {
  const std::string source =
      "const k = 3;\nvar i, a[4];\nprocedure p; begin i := i + 1; a[i] := i * k end;\n"
      "begin i := 0; while i < k do call p; if odd i then write a[1] else putc 33; read i end.\n";
  const Prepare prepare = [](const std::string& text) -> std::optional<Trial> {
    const Compiled c = compile(text);
    if (!c.compiled) return std::nullopt;
    const bool fails = c.code.find(" WRITE\n") != std::string::npos;
    return Trial{c.code, [fails](double) { return fails; }};
  };
  ASSERT_TRUE(prepare(source) && prepare(source)->still_fails(1));
  const Reduction one = reduce(source, Shape::pl0, prepare, 1e9, 1);
  const Reduction three = reduce(source, Shape::pl0, prepare, 1e9, 3);
  EXPECT_EQ(one.result, three.result);
  EXPECT_LE(one.tests, three.tests);
}

// A test that keeps every fourth byte, so that any 0 may stand for a 1 and back: a cut-down
// once kept rewrites that left the length alone, and went through the settings of the numbers
// one after another, 2^n of them (this program kept it busy for minutes). The 120 s only end
// the test should that come back; what it checks is the count of candidates.
TEST(Reduce, EndsWhereRewritesKeepTheLength) {
  const std::string source =
      "var x, a[2];\nbegin\n  read x; getc a[1]; read a[x]; getc x;\n"
      "  write x mod 3 + a[0] / 2 * x; putc 65; ! x % 2; ? x;\n"
      "  if x # 1 then x := 0; if x <> 1 then x := 0;\n  while x <= 1 do x := x + 1;\n"
      "  if x >= 0 then x := 1; if x > 0 then x := 1; if x < 0 then x := 1; if x = 0 then\nend.\n";
  std::string wanted;
  for (std::size_t k = 0; k < source.size(); k += 4) wanted += source[k];
  const auto keeps = [&](const std::string& text) {
    std::size_t at = 0;
    for (const char c : text) at += at < wanted.size() && c == wanted[at] ? 1 : 0;
    return at == wanted.size();
  };
  ASSERT_TRUE(ordinary(source));
  const Reduction r = reduce(source, Shape::pl0, keeps, 120);
  EXPECT_TRUE(r.complete);
  EXPECT_LE(r.tests, 400);
  EXPECT_TRUE(keeps(r.result));
}

TEST(Reduce, CodeFileKeepsItsColumns) {
  std::vector<Instruction> program;
  for (int k = 0; k < 40; ++k) program.push_back({k % 3 == 0 ? WRITE : LIT, k % 2, 1000 + k});
  program.push_back({JMP, 0, 40});
  const auto writes = [](const std::string& text) { return text.find("; WRITE") != std::string::npos; };
  const Reduction r = reduce(code_file_text(program), Shape::code, writes, 1e9);
  // "%7d %6d %5d %7d ; %4s", column for column.
  const std::regex row("[ -]{6}\\d [ \\d-]{5}\\d [ \\d-]{4}\\d [ \\d-]{6}\\d ; [ A-Z]{3}[A-Z]+");
  std::istringstream text(r.result);
  std::string line;
  std::getline(text, line);
  EXPECT_EQ(line, "Address OpCode Level Operand ; Code");
  int rows = 0;
  while (std::getline(text, line) && !line.empty()) {
    EXPECT_TRUE(std::regex_match(line, row)) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 1) << r.result;
}

}  // namespace
}  // namespace pl0::conform
