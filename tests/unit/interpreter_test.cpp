#include "interpreter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "machine_run.h"
#include "run_helpers.h"
#include "vocabulary.h"

namespace pl0 {
namespace {

using interpreter::MachineIO;
using interpreter::MachineState;
using interpreter::Output;
using interpreter::RunResult;

RunResult run(const std::vector<Instruction>& program, MachineState& state) {
  Output none;
  Output out(nullptr);
  std::FILE* in = std::tmpfile();
  const RunResult result =
      interpreter::run_program(program, state, MachineIO{in, &none, &out, &none});
  std::fclose(in);
  return result;
}

TEST(Machine, MainReturnLeavesBaseZeroAndStackPointer101) {
  MachineState state;
  EXPECT_EQ(run({{RTN, 0, 0}}, state).kind, RunResult::finished);
  EXPECT_EQ(state.pc, 0);
  EXPECT_EQ(state.bp, 0);
  EXPECT_EQ(state.sp, 101);
  EXPECT_EQ(state.ax, 0);
}

// The work registers are part of the state every later instruction sees.
TEST(Machine, WorkRegistersEndAsTheRegisterOperationsLeaveThem) {
  MachineState state;
  // LIT 2; LIT 5; STT 0 3: the value 5 is stored at base - 3 - 2 = 95.
  run({{JMP, 0, 1}, {LIT, 0, 2}, {LIT, 0, 5}, {STT, 0, 3}, {NEG, 0, 0}, {RTN, 0, 0}}, state);
  EXPECT_EQ(state.cells[95], 5);
  MachineState neg;
  run({{JMP, 0, 1}, {LIT, 0, 9}, {NEG, 0, 0}, {JMP, 0, 0}}, neg);
  EXPECT_EQ(neg.ax, -9);
  EXPECT_EQ(neg.bx, 9);
  EXPECT_EQ(neg.cells[97], -9);
  MachineState stt;
  run({{JMP, 0, 1}, {LIT, 0, 1}, {LIT, 0, 44}, {STT, 0, 3}, {JMP, 0, 0}}, stt);
  EXPECT_EQ(stt.tx, 44);
  EXPECT_EQ(stt.bx, 44);
  EXPECT_EQ(stt.ax, 96);
  EXPECT_EQ(stt.sp, 98);
}

// What the program's input looks like from the machine: each read records what standard
// output held at that moment, as a user at a terminal would see it.
struct PromptCheck {
  std::FILE* out;
  std::string input;
  std::size_t given = 0;
  std::vector<std::string> seen_before_reads;
};

ssize_t read_recording(void* cookie, char* buffer, std::size_t size) {
  auto& check = *static_cast<PromptCheck*>(cookie);
  check.seen_before_reads.push_back(test::read_file_stream(check.out));
  if (check.given == check.input.size() || size == 0) return 0;
  buffer[0] = check.input[check.given++];  // one byte at a time, as a typist
  return 1;
}

TEST(InterpreterEntry, PromptIsVisibleBeforeEachRead) {
  test::write_file("unit_prompt.code",
                   "Address OpCode Level Operand ; Code\n"
                   "0 0 0 63 ; LIT\n1 10 0 0 ; PUTC\n2 9 0 0 ; READ\n3 8 0 0 ; WRITE\n"
                   "4 0 0 33 ; LIT\n5 10 0 0 ; PUTC\n6 11 0 1 ; GETC\n7 11 0 1 ; GETC\n"
                   "8 7 0 0 ; RTN\n");
  PromptCheck check;
  check.out = std::tmpfile();
  check.input = "5\n";
  cookie_io_functions_t functions{read_recording, nullptr, nullptr, nullptr};
  std::FILE* in = fopencookie(&check, "r", functions);
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::FILE* err = std::tmpfile();
  const char* args[] = {"Interpreter", "-i", "unit_prompt.code"};
  EXPECT_EQ(interpreter_main(3, args, in, check.out, err), 0);
  // READ leaves the line feed after "5" unread, and the first GETC takes it; the second asks
  // for more input after the "!" prompt.
  ASSERT_GE(check.seen_before_reads.size(), 2u);
  EXPECT_EQ(check.seen_before_reads.front(), "Begin PL/0:\n?");
  EXPECT_EQ(check.seen_before_reads.back(), "Begin PL/0:\n?5 !");
  EXPECT_EQ(test::read_file_stream(check.out), "Begin PL/0:\n?5 !\nEnd PL/0.\n");
  std::fclose(in);
  std::fclose(check.out);
  std::fclose(err);
  std::remove("unit_prompt.code");
}

// The shortcut for walks longer than the stack must land where every single step would.
TEST(Machine, LongBaseWalkEqualsStepByStep) {
  std::array<std::int32_t, interpreter::stack_cells> cells{};
  unsigned seed = 12345;
  for (int round = 0; round < 200; ++round) {
    for (auto& c : cells) {
      seed = seed * 1103515245u + 12345u;
      c = static_cast<std::int32_t>((seed >> 16) % 101u);
    }
    if (round % 7 == 0) cells[static_cast<std::size_t>(round % 101)] = 150;  // an exit
    auto cell = [&](std::int32_t i) -> std::int32_t& {
      if (i < 0 || i > 100) throw interpreter::detail::CellFault{i};
      return cells[static_cast<std::size_t>(i)];
    };
    for (std::int32_t level : {102, 103, 250, 1000, 4099}) {
      std::int32_t slow = 100;
      std::int32_t slow_fault = 0;
      std::int32_t fast_fault = 0;
      std::int32_t fast = 0;
      try {
        for (std::int32_t step = 0; step < level; ++step) slow = cell(slow);
      } catch (const interpreter::detail::CellFault& f) {
        slow_fault = f.index;
      }
      try {
        fast = interpreter::detail::long_base_walk(100, level, cell);
      } catch (const interpreter::detail::CellFault& f) {
        fast_fault = f.index;
      }
      EXPECT_EQ(fast_fault, slow_fault);
      if (slow_fault == 0) {
        EXPECT_EQ(fast, slow) << "level " << level << " round " << round;
      }
    }
  }
}

TEST(Output, FormatsNumbersAsPrintfDoes) {
  std::FILE* file = std::tmpfile();
  {
    Output out(file);
    for (std::int32_t v : {0, -1, 7, INT32_MIN, INT32_MAX}) {
      out.put_int(v, 5);
      out.put('|');
    }
  }
  EXPECT_EQ(test::read_file_stream(file), "    0|   -1|    7|-2147483648|2147483647|");
  std::fclose(file);
}

}  // namespace
}  // namespace pl0
