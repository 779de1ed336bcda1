// The run loop's fused instance (decoded groups) against its plain one, which runs one
// instruction a dispatch: the same state after every instruction, the same faults at the same
// PC, the same output. (The steps themselves are held to the register operations by the
// cross-check.)
#include <gtest/gtest.h>

#include "decode.h"
#include "machine_run.h"
#include "run_helpers.h"
#include "vocabulary.h"

namespace pl0 {
namespace {

using namespace interpreter;

// Records the state after every dispatch with the running count of instructions.
struct Trail {
  static constexpr bool active = true;
  explicit Trail(long most) : limit(most) {}
  long limit;
  long executed = 0;
  std::vector<std::pair<long, MachineState>> states;
  bool operator()(const MachineState& state, int instructions) {
    executed += instructions;
    states.emplace_back(executed, state);
    return executed < limit;
  }
};

struct Outcome {
  RunResult result;
  Trail trail;
  std::string output;
};

// Runs `program` with empty input through `loop`, reporting to `observer`; the output into
// `output`, the final state into `state`.
template <typename Loop, typename Observer>
RunResult run_observed(Loop loop, const std::vector<Instruction>& program, Observer& observer,
                       MachineState& state, std::string& output) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  RunResult result;
  {
    Output off;
    Output stdout_buffer(out);
    result = loop(program, state, MachineIO{in, &off, &stdout_buffer, &off}, observer);
  }
  output = test::read_all(out);
  std::fclose(in);
  std::fclose(out);
  return result;
}

template <typename Loop>
Outcome run_with(Loop loop, const std::vector<Instruction>& program, long limit) {
  Outcome outcome{{}, Trail(limit), ""};
  MachineState state;
  outcome.result = run_observed(loop, program, outcome.trail, state, outcome.output);
  return outcome;
}

Outcome run_simple(const std::vector<Instruction>& program, long limit = 400) {
  return run_with(detail::run_simple<Trail>, program, limit);
}
Outcome run_fast(const std::vector<Instruction>& program, long limit = 400) {
  return run_with(detail::run_fast<Trail>, program, limit);
}

bool same_state(const MachineState& a, const MachineState& b) {
  return a.pc == b.pc && a.sp == b.sp && a.bp == b.bp && a.ax == b.ax && a.bx == b.bx &&
         a.tx == b.tx && a.cells == b.cells;
}

void expect_same_run(const std::vector<Instruction>& program) {
  const Outcome slow = run_simple(program);
  const Outcome fast = run_fast(program);
  // Every state the fast loop reports must be the simple loop's after as many instructions.
  const std::vector<Decoded> decoded = decode(program);
  std::size_t k = 0;
  std::int32_t from = 0;  // where the group just run started
  for (const auto& [count, state] : fast.trail.states) {
    while (k < slow.trail.states.size() && slow.trail.states[k].first < count) ++k;
    if (k == slow.trail.states.size()) break;  // the simple loop stopped at its limit first
    ASSERT_EQ(slow.trail.states[k].first, count);
    ASSERT_TRUE(same_state(slow.trail.states[k].second, state))
        << "after " << count << " instructions, at PC " << state.pc << ", after the kind "
        << (from >= 0 && static_cast<std::size_t>(from) < decoded.size()
                ? kind_names[static_cast<int>(decoded[static_cast<std::size_t>(from)].kind)]
                : "?");
    from = state.pc;
  }
  const bool both_ended =
      slow.result.kind != RunResult::stopped && fast.result.kind != RunResult::stopped;
  if (both_ended) {
    EXPECT_EQ(fast.result.kind, slow.result.kind);
    EXPECT_EQ(fast.result.message, slow.result.message);
    EXPECT_EQ(fast.output, slow.output);
  }
}

// Unwatched, with the decoder's shortcuts: the same ending, output and final state.
void expect_same_unwatched(const std::vector<Instruction>& program) {
  NoObserver none;
  MachineState plain_state;
  MachineState fused_state;
  std::string plain_output;
  std::string fused_output;
  const RunResult plain =
      run_observed(detail::run_simple<NoObserver>, program, none, plain_state, plain_output);
  const RunResult fused =
      run_observed(detail::run_fast<NoObserver>, program, none, fused_state, fused_output);
  EXPECT_EQ(fused.kind, plain.kind);
  EXPECT_EQ(fused.message, plain.message);
  EXPECT_EQ(fused_output, plain_output);
  EXPECT_TRUE(same_state(fused_state, plain_state));
}

TEST(FastMachine, JumpIntoTheMiddleOfAPairRunsThePlainInstruction) {
  // 3 and 4 (LIT, ADD) fuse; the jump to 4 must add the two pushed values, not the 1.
  const std::vector<Instruction> program = {{LIT, 0, 10}, {LIT, 0, 20},  {JMP, 0, 4}, {LIT, 0, 1},
                                            {ADD, 0, 0},  {WRITE, 0, 0}, {JMP, 0, 0}};
  ASSERT_EQ(decode(program)[3].kind, Kind::LIT_ADD);
  EXPECT_EQ(run_fast(program).output, "30 ");
  expect_same_run(program);
}

TEST(FastMachine, JumpsIntoATripleAndFaultsInItsSecondPart) {
  // 2, 3, 4 (LOD, LIT, ADD) fuse; the jump to 3 runs LIT and ADD on the 100 pushed before.
  const std::vector<Instruction> into_second = {{LIT, 0, 100}, {JMP, 0, 3}, {LOD, 0, 3},
                                                {LIT, 0, 1},   {ADD, 0, 0}, {WRITE, 0, 0},
                                                {JMP, 0, 0}};
  ASSERT_EQ(decode(into_second)[2].kind, Kind::LOD0_LIT_ADD);
  EXPECT_EQ(run_fast(into_second).output, "101 ");
  // 3, 4, 5 fuse; the jump to 5 runs ADD alone on the 30 and 2 pushed before.
  const std::vector<Instruction> into_third = {{LIT, 0, 30},  {LIT, 0, 2}, {JMP, 0, 5},
                                               {LOD, 0, 3},   {LIT, 0, 1}, {ADD, 0, 0},
                                               {WRITE, 0, 0}, {JMP, 0, 0}};
  EXPECT_EQ(run_fast(into_third).output, "32 ");
  // SP 1 after INT 97: the variable is pushed into cell 0, the literal would go to cell -1.
  const std::vector<Instruction> deep = {{INT, 0, 97}, {LOD, 0, 3}, {LIT, 0, 1}, {ADD, 0, 0}};
  EXPECT_EQ(run_fast(deep).result.message, "stack cell -1 out of range at PC 2");
  for (const auto& program : {into_second, into_third, deep}) expect_same_run(program);
}

TEST(FastMachine, FaultInTheSecondHalfOfAPairNamesItsPc) {
  // SP 101: LIT pushes into cell 100, ADD then pops 100 and 101.
  const std::vector<Instruction> program = {{INT, 0, -3}, {LIT, 0, 1}, {ADD, 0, 0}};
  EXPECT_EQ(run_fast(program).result.message, "stack cell 101 out of range at PC 2");
  // LOD, LOD: the second reads outside.
  const std::vector<Instruction> loads = {{LOD, 0, 3}, {LOD, 0, 200}, {RTN, 0, 0}};
  EXPECT_EQ(run_fast(loads).result.message, "stack cell -100 out of range at PC 1");
  // LIT, STO: the store goes outside.
  const std::vector<Instruction> store = {{LIT, 0, 1}, {STO, 0, -1}, {RTN, 0, 0}};
  EXPECT_EQ(run_fast(store).result.message, "stack cell 101 out of range at PC 1");
  expect_same_run(program);
  expect_same_run(loads);
  expect_same_run(store);
}

TEST(FastMachine, EveryPairAndLevelAgreesWithTheSimpleLoop) {
  const std::int32_t operations[] = {ADD, MIN, MUL, DIV, MOD, EQU, NEQ, LES, LEQ, GTR, GEQ};
  for (std::int32_t op : operations) {
    for (std::int32_t right : {-7, 0, 3}) {
      expect_same_run({{LIT, 0, 17}, {LIT, 0, right}, {op, 0, 0}, {WRITE, 0, 0}, {JMP, 0, 0}});
      expect_same_run({{LIT, 0, right},
                       {STO, 0, 3},
                       {LIT, 0, -9},
                       {LOD, 0, 3},
                       {op, 0, 0},
                       {WRITE, 0, 0},
                       {JMP, 0, 0}});
      // The triples: a variable and a literal, two variables.
      expect_same_run({{LIT, 0, right},
                       {STO, 0, 3},
                       {LOD, 0, 3},
                       {LIT, 0, 5},
                       {op, 0, 0},
                       {WRITE, 0, 0},
                       {LIT, 0, 4},
                       {STO, 0, 4},
                       {LOD, 0, 4},
                       {LOD, 0, 3},
                       {op, 0, 0},
                       {WRITE, 0, 0},
                       {JMP, 0, 0}});
      if (op >= EQU) {
        expect_same_run({{LIT, 0, 5},
                         {LIT, 0, right},
                         {op, 0, 0},
                         {JPC, 0, 6},
                         {LIT, 0, 1},
                         {WRITE, 0, 0},
                         {JMP, 0, 0}});
      }
    }
  }
  // The comparisons with their JPC, and the fours, taken and not taken.
  const std::int32_t relations[] = {EQU, NEQ, LES, LEQ, GTR, GEQ};
  for (std::int32_t relation : relations) {
    for (std::int32_t limit : {2, 5, 9}) {
      expect_same_run({{LIT, 0, 5},
                       {STO, 0, 3},
                       {LIT, 0, 4},
                       {LOD, 0, 3},
                       {relation, 0, 0},
                       {JPC, 0, 7},
                       {LIT, 0, 1},
                       {LIT, 0, limit},
                       {relation, 0, 0},
                       {JPC, 0, 11},
                       {LIT, 0, 2},
                       {LOD, 0, 3},
                       {LIT, 0, limit},
                       {relation, 0, 0},
                       {JPC, 0, 16},
                       {LIT, 0, 3},
                       {WRITE, 0, 0},
                       {JMP, 0, 0}});
    }
  }
  for (std::int32_t op : {ADD, MIN}) {
    // i := i + 7 at level 0, and from a procedure at level 1.
    expect_same_run({{JMP, 0, 1},
                     {INT, 0, 1},
                     {LOD, 0, 3},
                     {LIT, 0, 7},
                     {op, 0, 0},
                     {STO, 0, 3},
                     {CAL, 0, 9},
                     {LOD, 0, 3},
                     {JMP, 0, 12},
                     {INT, 0, 4},
                     {LOD, 0, 3},
                     {LIT, 0, 7},
                     {op, 0, 0},
                     {STO, 1, 3},
                     {RTN, 0, 0}});
  }
  // An element indexed by a variable, inside the array and outside the stack.
  for (std::int32_t index : {0, 2, 120}) {
    expect_same_run({{LIT, 0, 33},
                     {STO, 0, 6},
                     {LIT, 0, index},
                     {STO, 0, 3},
                     {LOD, 0, 3},
                     {LDT, 0, 4},
                     {WRITE, 0, 0},
                     {JMP, 0, 0}});
  }
  // Copies between a procedure's frame and the main block's, both ways.
  expect_same_run({{JMP, 0, 1},
                   {INT, 0, 1},
                   {LIT, 0, 6},
                   {STO, 0, 3},
                   {CAL, 0, 7},
                   {LOD, 0, 3},
                   {JMP, 0, 13},
                   {INT, 0, 4},
                   {LOD, 1, 3},
                   {STO, 0, 3},
                   {LOD, 0, 3},
                   {STO, 1, 3},
                   {RTN, 0, 0},
                   {WRITE, 0, 0},
                   {JMP, 0, 0}});
  // Levels 0, 1 and 2 of every addressing opcode, from a procedure two levels deep.
  for (std::int32_t level : {0, 1, 2, 3}) {
    expect_same_run({{JMP, 0, 1},     {INT, 0, 3},     {CAL, 0, 4},     {JMP, 0, 0},
                     {INT, 0, 4},     {CAL, 1, 7},     {RTN, 0, 0},     {INT, 0, 5},
                     {LIT, 0, 42},    {STO, level, 3}, {LOD, level, 3}, {LIT, 0, 1},
                     {LDT, level, 3}, {LIT, 0, 1},     {LIT, 0, 8},     {STT, level, 3},
                     {LOD, level, 2}, {WRITE, 0, 0},   {WRITE, 0, 0},   {WRITE, 0, 0},
                     {RTN, 0, 0}});
  }
}

// A group whose pushes and pops all stay on the stack skips their own checks: at each distance
// from either end, the groups that push two, pop two beyond their start or both must fault
// where the plain loop does, or run as it does.
TEST(FastMachine, GroupsAtTheEndsOfTheStackAgreeWithTheSimpleLoop) {
  for (std::int32_t reserve = -4; reserve <= 104; reserve += reserve == 2 ? 86 : 1) {
    expect_same_run({{INT, 0, reserve},
                     {LIT, 0, 1},
                     {STO, 0, 0},
                     {LOD, 0, 0},
                     {LIT, 0, 2},
                     {ADD, 0, 0},
                     {STO, 0, 0},
                     {JMP, 0, 0}});
    expect_same_run(
        {{INT, 0, reserve}, {LOD, 0, 0}, {LOD, 0, 0}, {ADD, 0, 0}, {WRITE, 0, 0}, {JMP, 0, 0}});
    expect_same_run(
        {{INT, 0, reserve}, {LES, 0, 0}, {JPC, 0, 0}, {LIT, 0, 3}, {WRITE, 0, 0}, {JMP, 0, 0}});
  }
}

// Random programs, most of which fault or loop: the two loops must agree wherever they go.
TEST(FastMachine, RandomProgramsAgreeWithTheSimpleLoop) {
  const std::int32_t opcodes[] = {LIT, LOD, STO, CAL, INT, JMP, JPC, RTN, WRITE, LDT, STT, NEG, ADD,
                                  MIN, MUL, DIV, MOD, ODD, EQU, NEQ, LES, LEQ,   GTR, GEQ, 27};
  unsigned seed = 2026;
  auto next = [&seed](unsigned range) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::int32_t>((seed >> 8) % range);
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<Instruction> program(static_cast<std::size_t>(4 + next(20)));
    for (Instruction& i : program) {
      i.opcode = opcodes[next(sizeof opcodes / sizeof *opcodes)];
      i.level = next(4) == 0 ? next(3) : 0;
      i.operand = i.opcode == JMP || i.opcode == JPC || i.opcode == CAL
                      ? next(static_cast<unsigned>(program.size()) + 1)
                      : next(16) - 3;
    }
    SCOPED_TRACE("round " + std::to_string(round));
    expect_same_run(program);
    if (HasFatalFailure()) return;
    // Unwatched, the fused loop also goes past a JMP after a group at once: where the program
    // ends, it must end as the plain loop does, in the same state.
    if (run_simple(program).result.kind == RunResult::stopped) continue;
    expect_same_unwatched(program);
  }
}

// Unwatched, a group that changes a variable and the comparison with its branch that follows
// (at once or past a JMP) run as one chain: each way of the branch, and each fault at either
// end of the stack, as the plain loop runs them.
TEST(FastMachine, ChainsAgreeWithTheSimpleLoop) {
  const std::int32_t comparisons[] = {EQU, NEQ, LES, LEQ, GTR, GEQ};
  for (const std::int32_t load : {LIT, LOD}) {
    for (const std::int32_t op : {ADD, MIN}) {
      for (const std::int32_t comparison : comparisons) {
        for (const bool hop : {false, true}) {
          for (std::int32_t limit = -1; limit <= 2; ++limit) {
            for (std::int32_t reserve = -4; reserve <= 104; reserve += reserve == 2 ? 86 : 1) {
              std::vector<Instruction> program = {{INT, 0, reserve}, {LIT, 0, 1}, {STO, 0, 1},
                                                  {LOD, 0, 0},       {load, 0, 1}, {op, 0, 0},
                                                  {STO, 0, 0}};
              const auto size = static_cast<std::int32_t>(program.size());
              if (hop) program.push_back({JMP, 0, size + 1});
              const std::int32_t end = static_cast<std::int32_t>(program.size()) + 6;
              program.insert(program.end(), {{LOD, 0, 0}, {LIT, 0, limit}, {comparison, 0, 0},
                                             {JPC, 0, end}, {LIT, 0, 7}, {WRITE, 0, 0},
                                             {LOD, 0, 0}, {WRITE, 0, 0}, {JMP, 0, 0}});
              const Kind kind = decode(program, Decoding::unwatched)[3].kind;
              ASSERT_NE(std::string(kind_names[static_cast<int>(kind)]).find("_THEN_"),
                        std::string::npos);
              SCOPED_TRACE("reserve " + std::to_string(reserve) + ", limit " + std::to_string(limit));
              expect_same_unwatched(program);
              if (HasFailure()) return;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace pl0
