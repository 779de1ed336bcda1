// The explorer's recording must show the run the Interpreter makes: every recorded step, written
// as a trace line, gives the Interpreter's own stack file byte for byte, and the recorded output
// is the Interpreter's output.
#include "recording.h"
#include "stack_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "build_paths.h"
#include "interpreter.h"
#include "run_helpers.h"
#include "vocabulary.h"

namespace pl0 {
namespace {

namespace fs = std::filesystem;

// Records `source` and compares with the Interpreter; false when there was nothing to compare.
bool check(const std::string& source, const std::string& input) {
  const explorer::Recording r = explorer::record(source, input, 100000);
  if (!r.ran || r.end.kind == explorer::RunEnd::step_cap) return false;
  // Named after the test: ctest runs each test of this file as a process of its own, side by side
  // in one folder.
  const std::string stem =
      std::string("replay-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string code = stem + ".code", run_file = stem + ".run", stack = stem + ".stk";
  test::write_file(code, r.code);
  const auto run = test::run_entry(
      interpreter_main,
      {"Interpreter", "-i", code.c_str(), "-o", run_file.c_str(), "-s", stack.c_str()}, input);
  EXPECT_EQ(explorer::stack_file_of(r), test::read_file(stack));
  EXPECT_EQ(r.output, run.out);
  if (r.end.kind == explorer::RunEnd::fault) {
    EXPECT_EQ("Interpreter: " + r.end.message + "\n", run.err);
  }
  for (const std::string& name : {code, run_file, stack}) std::remove(name.c_str());
  return true;
}

std::string read_or_empty(const fs::path& path) {
  return fs::exists(path) ? test::read_file(path.string()) : "";
}

TEST(Recording, ReplaysEveryGoldenProgramAndExampleAsTheInterpreterRunsIt) {
  const fs::path root = test::source_dir;
  int compared = 0;
  for (const auto& item : fs::recursive_directory_iterator(root / "tests" / "golden")) {
    const fs::path& path = item.path();
    if (path.extension() != ".pl0" || path.parent_path().filename() != "in") continue;
    SCOPED_TRACE(path.string());
    const fs::path case_dir = path.parent_path().parent_path();
    if (check(test::read_file(path.string()), read_or_empty(case_dir / "stdin"))) ++compared;
  }
  for (const auto& item : fs::directory_iterator(root / "examples")) {
    fs::path path = item.path();
    if (path.extension() != ".pl0") continue;
    SCOPED_TRACE(path.string());
    const std::string source = test::read_file(path.string());
    if (check(source, read_or_empty(path.replace_extension(".stdin")))) ++compared;
  }
  EXPECT_GT(compared, 40);
  std::printf("replayed %d programs\n", compared);
}

TEST(Recording, KeepsErrorsCapsAndFrames) {
  const explorer::Recording error = explorer::record("var x;\nbegin\n  x := y\nend.\n", "");
  EXPECT_FALSE(error.ran);
  EXPECT_EQ(error.error_program, "Compiler");
  EXPECT_EQ(error.error_line, 3);
  EXPECT_EQ(error.error_message.rfind("Error 11 on line 3:", 0), 0u) << error.error_message;

  const explorer::Recording loop =
      explorer::record("var i; begin while 1 = 1 do begin i := i + 1; write i end end.", "", 5000,
                       100);
  EXPECT_EQ(loop.end.kind, explorer::RunEnd::step_cap);
  EXPECT_EQ(loop.steps, 5000);
  EXPECT_TRUE(loop.output_cut);
  EXPECT_EQ(loop.output.size(), 100u);

  const explorer::Recording frames = explorer::record(
      "var a[2];\nprocedure p;\n  var k;\n  k := a[1];\nbegin\n  a[1] := 7;\n  call p\nend.\n",
      "");
  ASSERT_EQ(frames.procedures.size(), 2u);
  EXPECT_EQ(frames.procedures[0].name, "");
  ASSERT_EQ(frames.procedures[0].variables.size(), 1u);
  EXPECT_EQ(frames.procedures[0].variables[0].cells, 3);
  EXPECT_EQ(frames.procedures[1].name, "p");
  EXPECT_EQ(frames.procedures[1].variables[0].name, "k");
  const Instruction& int_of_p =
      frames.instructions[static_cast<std::size_t>(frames.procedures[1].body)].instruction;
  EXPECT_EQ(int_of_p.opcode, INT);
  EXPECT_EQ(frames.instructions[static_cast<std::size_t>(frames.procedures[1].body)].line, 4);
}

// A return to an address without an instruction faults before its trace line is written (found
// by the fuzzer: the replay wrote a line for the missing instruction).
TEST(Recording, JumpToNoInstructionEndsWithoutATraceLine) {
  const std::string source = "procedure p; var a; a[-1] := 500; call p.";
  EXPECT_TRUE(check(source, ""));
  EXPECT_EQ(explorer::record(source, "").end.message, "no instruction at PC 500");
}

// The Tokeniser's "Unexpected end of source file" names no place: the recording points at the
// comment or string the source ends inside, or at the end where only the period is missing.
TEST(Recording, PlacesAnUnexpectedEndAtTheCommentOrStringLeftOpen) {
  struct Case {
    const char* source;
    const char* unclosed;
    long from, to;
  };
  const Case cases[] = {
      {"var x;\nbegin\n  { set x\n  x := 1\nend.\n", "comment", 15, 16},
      {"begin (*) end.", "comment", 6, 8},          // its own "*" does not close it
      {"begin /* end. */ /* x := 1 end.", "comment", 17, 19},
      {"begin x := 'abc\nend.", "string", 11, 12},
      {"begin {done} end", "", 16, 16},              // closed: only the period is missing
      {"begin end // the end.", "", 21, 21},         // a line comment closes with its line
  };
  for (const Case& c : cases) {
    const explorer::Recording r = explorer::record(c.source, "");
    EXPECT_EQ(r.error_message, "Unexpected end of source file\n") << c.source;
    EXPECT_EQ(r.error_unclosed, c.unclosed) << c.source;
    EXPECT_EQ(r.error_from, c.from) << c.source;
    EXPECT_EQ(r.error_to, c.to) << c.source;
  }
}

}  // namespace
}  // namespace pl0
