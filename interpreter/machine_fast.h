// The machine's one run loop, in two instances: fused (untraced: the decoded groups, one
// dispatch per group) and plain (one dispatch per instruction, with a trace line and the
// observer's call before and after each). The registers live in locals; every handler is
// expanded from instructions.h as its instructions' steps (machine_steps.h), inlined, so that
// the compiler fuses a group's work (a value pushed and popped again at once is not read back
// from memory). Dispatch is threaded on GCC and Clang: each entry keeps its handler's label,
// so dispatch is one indirect jump through the entry (a table of labels would hold one more of
// the registers the handlers need); a switch elsewhere. Every cell access is still checked, so
// a fault stops at the right PC: a group's pushes and pops by one test before it where they all
// stay on the stack (the usual case), each on its own where they might not. The test for PC 0
// or less stands only where control can reach it: jumps, calls and returns.
#pragma once

#include <string>

#include "decode.h"
#include "instructions.h"
#include "machine_detail.h"
#include "machine_steps.h"
#include "vocabulary.h"

#if defined(__GNUC__) && !defined(PL0_SWITCH_DISPATCH)
#define PL0_THREADED 1
#define PL0_ALWAYS_INLINE __attribute__((always_inline))
#define PL0_HANDLER(name) PL0_LABEL_OF(name) :
#define PL0_LABEL_OF(name) PL0_LABEL_PASTE(name)
#define PL0_LABEL_PASTE(name) do_##name
#define PL0_DISPATCH() goto * ip->handler
#else
#define PL0_THREADED 0
#define PL0_ALWAYS_INLINE
#define PL0_HANDLER(name) case Kind::name:
#define PL0_DISPATCH() goto dispatch
#endif

namespace pl0::interpreter::detail {

// The macros: PL0_CHECK leaves by the fault exit when its steps fail; PL0_NEXT moves on past
// the `count` instructions just run (and, unwatched and `past_jump`, past a JMP after them) and
// dispatches the next entry (first reporting to an active observer); PL0_JUMP goes to `to`
// instead, ending the run at PC 0 or less.
#define PL0_CHECK(steps) \
  if (!(steps)) goto cell_fault

#define PL0_NEXT(count, past_jump)           \
  do {                                       \
    if constexpr (unwatched && past_jump) {  \
      ip = ip->to;                           \
    } else {                                 \
      ip += (count);                         \
    }                                        \
    if constexpr (observe_every_step) {      \
      save(at(ip));                          \
      if (!observer(m, count)) goto stopped; \
    }                                        \
    PL0_DISPATCH();                          \
  } while (false)

#define PL0_JUMP(count, to)                             \
  do {                                                  \
    r.target = (to);                                    \
    if (r.target <= 0) {                                \
      executed = (count);                               \
      goto finished;                                    \
    }                                                   \
    if (static_cast<std::uint32_t>(r.target) >= size) { \
      goto fetch_fault;                                 \
    }                                                   \
    ip = code + r.target;                               \
    if constexpr (Observer::active) {                   \
      if constexpr (observe_every_step) {               \
        save(r.target);                                 \
      }                                                 \
      if (!observer(m, count)) goto stopped;            \
    }                                                   \
    PL0_DISPATCH();                                     \
  } while (false)

// A jump to `to`, an entry the decoder checked: an instruction of the program or an EXIT.
#define PL0_GO(count, to)                    \
  do {                                       \
    ip = (to);                               \
    if constexpr (Observer::active) {        \
      if constexpr (observe_every_step) {    \
        save(at(ip));                        \
      }                                      \
      if (!observer(m, count)) goto stopped; \
    }                                        \
    PL0_DISPATCH();                          \
  } while (false)
#define PL0_JUMP_TO_LAST(count)                                \
  do {                                                         \
    if (unwatched || ip->to != nullptr) PL0_GO(count, ip->to); \
    PL0_JUMP(count, ip->last);                                 \
  } while (false)

// How control leaves a group of `count` instructions whose last is of `kind`; the last
// instruction's Operand is read only on the way taken.
#define PL0_LEAVE(count, kind)                                      \
  if constexpr (ending_of(Kind::kind) == Ending::jump) {            \
    PL0_JUMP_TO_LAST(count);                                        \
  } else if constexpr (ending_of(Kind::kind) == Ending::branch) {   \
    if (r.ax == 0) PL0_JUMP_TO_LAST(count);                         \
    PL0_NEXT(count, false);                                         \
  } else if constexpr (ending_of(Kind::kind) == Ending::back) {     \
    PL0_JUMP(count, r.target);                                      \
  } else if constexpr (ending_of(Kind::kind) == Ending::past_end) { \
    r.target = at(ip);                                              \
    goto fetch_fault;                                               \
  } else {                                                          \
    PL0_NEXT(count, true);                                          \
  }

// The plain instance writes the trace line before each instruction.
#define PL0_BEFORE(name)                                                         \
  if constexpr (!fused && Kind::name != Kind::END) {                             \
    if (tracing) {                                                               \
      save(at(ip));                                                              \
      write_trace_line(*io.trace, m, program[static_cast<std::size_t>(at(ip))]); \
      if (io.trace->failed()) throw OutputFailed{};                              \
    }                                                                            \
  }

// The step of an instruction of `kind` at place `s` of its group, with the fields its entry
// keeps for that place.
#define PL0_STEP(regs, kind, s, level, operand) \
  step<Kind::kind, s>(regs, level, operand, at(ip) + (s), io, m)

// One handler per row, and one per group.
#define PL0_ROW_HANDLER(name, opcode, levels, ending, work) \
  PL0_HANDLER(name)                                         \
  PL0_BEFORE(name)                                          \
  PL0_CHECK(PL0_STEP(r, name, 0, ip->level, ip->operand));  \
  PL0_LEAVE(1, name)
#define PL0_STEPS_2(regs, e, a, b) \
  PL0_STEP(regs, a, 0, e.level, e.operand) && PL0_STEP(regs, b, 1, NotKept{}, e.last)
#define PL0_STEPS_3(regs, e, a, b, c)                                                      \
  PL0_STEP(regs, a, 0, e.level, e.operand) && PL0_STEP(regs, b, 1, NotKept{}, e.second) && \
      PL0_STEP(regs, c, 2, NotKept{}, e.last)
#define PL0_STEPS_4(regs, e, a, b, c, d)                                                   \
  PL0_STEP(regs, a, 0, e.level, e.operand) && PL0_STEP(regs, b, 1, NotKept{}, e.second) && \
      PL0_STEP(regs, c, 2, NotKept{}, NotKept{}) && PL0_STEP(regs, d, 3, NotKept{}, e.last)
#define PL0_KINDS_2(a, b) Kind::a, Kind::b
#define PL0_KINDS_3(a, b, c) Kind::a, Kind::b, Kind::c
#define PL0_KINDS_4(a, b, c, d) Kind::a, Kind::b, Kind::c, Kind::d
#define PL0_LAST_2(a, b) b
#define PL0_LAST_3(a, b, c) c
#define PL0_LAST_4(a, b, c, d) d
#define PL0_LEAVE_GROUP(count, last) PL0_LEAVE(count, last)
// A group's fields read into locals before its first push: the entry's fields and the cells
// are both int32_t, so a field read after a push would otherwise have to wait for it, and a
// push that the group overwrites could not be dropped.
struct Operands {
  std::int32_t level, operand, second, last;
  explicit Operands(const Decoded& entry)
      : level(entry.level), operand(entry.operand), second(entry.second), last(entry.last) {}
};
// A group whose pushes and pops all stay on the stack runs them unchecked.
#define PL0_GROUP_STEPS(length, ...)                                        \
  if (PL0_EXPECT_TRUE(group_fits<PL0_KINDS_##length(__VA_ARGS__)>(r.sp))) { \
    const Operands e{*ip};                                                  \
    Registers<false> unchecked{r};                                          \
    const bool ok = PL0_STEPS_##length(unchecked, e, __VA_ARGS__);          \
    r = Registers<true>{unchecked};                                         \
    PL0_CHECK(ok);                                                          \
  } else {                                                                  \
    PL0_CHECK(PL0_STEPS_##length(r, (*ip), __VA_ARGS__));                   \
  }
#define PL0_GROUP_HANDLER(length, ...)             \
  PL0_HANDLER(PL0_GROUP_NAME(length, __VA_ARGS__)) \
  PL0_GROUP_STEPS(length, __VA_ARGS__)             \
  PL0_LEAVE_GROUP(length, PL0_LAST_##length(__VA_ARGS__))
// A chain runs its first group at its own entry and its second at the entry `to` names.
#define PL0_CHAIN_HANDLER(a, b, c, d, e, f, g, h)         \
  PL0_HANDLER(PL0_CHAIN_NAME(a, b, c, d, e, f, g, h))     \
  PL0_GROUP_STEPS(4, a, b, c, d)                          \
  ip = ip->to;                                            \
  PL0_GROUP_STEPS(4, e, f, g, h)                          \
  PL0_LEAVE_GROUP(4, h)

template <bool fused, typename Observer>
RunResult run_loop(const std::vector<Instruction>& program, MachineState& m, const MachineIO& io,
                   Observer& observer) {
  // The plain instance reports every instruction, whatever the observer looks at.
  constexpr bool observe_every_step = Observer::active && (sees_state<Observer> || !fused);
  // Unwatched, the fused loop takes the decoder's shortcuts: past a JMP that follows a group
  // straight to its target (an observer would miss the JMP's step), and a jump that ends the
  // run through an EXIT entry (an observer would be told of the jump twice).
  constexpr bool unwatched = fused && !Observer::active;
  std::vector<Decoded> decoded = decode(
      program, !fused ? Decoding::plain : unwatched ? Decoding::unwatched : Decoding::fused);
  const Decoded* const code = decoded.data();
  const auto size = static_cast<std::uint32_t>(program.size());
  [[maybe_unused]] const bool tracing = !fused && io.trace->on();
  Registers<true> r{m.cells.data(), m.sp, m.bp, m.ax, m.bx, m.tx};
  const Decoded* ip = code + m.pc;
  int executed = 1;

  auto at = [code](const Decoded* p) { return static_cast<std::int32_t>(p - code); };
  // Inlined everywhere, so that the registers never have their address taken (see LongWalk).
  auto save = [&](std::int32_t pc) PL0_ALWAYS_INLINE {
    m.pc = pc;
    m.sp = r.sp;
    m.bp = r.bp;
    m.ax = r.ax;
    m.bx = r.bx;
    m.tx = r.tx;
  };

#if PL0_THREADED
#define PL0_ROW_LABEL(name, opcode, levels, ending, work) &&PL0_LABEL_OF(name),
#define PL0_GROUP_LABEL(length, ...) &&PL0_LABEL_OF(PL0_GROUP_NAME(length, __VA_ARGS__)),
#define PL0_CHAIN_LABEL(...) &&PL0_LABEL_OF(PL0_CHAIN_NAME(__VA_ARGS__)),
  static const void* const labels[] = {PL0_INSTRUCTIONS(PL0_ROW_LABEL) PL0_GROUPS(PL0_GROUP_LABEL)
                                           PL0_CHAINS(PL0_CHAIN_LABEL)};
#undef PL0_ROW_LABEL
#undef PL0_GROUP_LABEL
#undef PL0_CHAIN_LABEL
  static_assert(sizeof labels / sizeof *labels == kind_count);
  for (Decoded& entry : decoded) entry.handler = labels[static_cast<int>(entry.kind)];
#endif

  try {
#if PL0_THREADED
    PL0_DISPATCH();
#else
  dispatch:
    switch (ip->kind) {
#endif
    PL0_INSTRUCTIONS(PL0_ROW_HANDLER)
    PL0_GROUPS(PL0_GROUP_HANDLER)
    PL0_CHAINS(PL0_CHAIN_HANDLER)
#if !PL0_THREADED
  }
#endif
}
catch (const OutputFailed&) {
  save(at(ip));
  return {RunResult::write_failed, ""};
}

finished : save(r.target);
if constexpr (Observer::active) observer(m, executed);
return {RunResult::finished, ""};
cell_fault : {
  const std::int32_t pc = at(ip) + r.bad_step;
  save(pc);
  return {RunResult::fault, cell_fault_message(r.bad_cell, pc)};
}
fetch_fault : save(r.target);
return {RunResult::fault, no_instruction_message(r.target)};
stopped :  // reached only with an active observer
#if defined(__GNUC__)
           __attribute__((unused));
#endif
return {RunResult::stopped, ""};
}

#undef PL0_CHECK
#undef PL0_NEXT
#undef PL0_JUMP
#undef PL0_GO
#undef PL0_JUMP_TO_LAST
#undef PL0_LEAVE
#undef PL0_BEFORE
#undef PL0_STEP
#undef PL0_ROW_HANDLER
#undef PL0_STEPS_2
#undef PL0_STEPS_3
#undef PL0_STEPS_4
#undef PL0_KINDS_2
#undef PL0_KINDS_3
#undef PL0_KINDS_4
#undef PL0_LAST_2
#undef PL0_LAST_3
#undef PL0_LAST_4
#undef PL0_LEAVE_GROUP
#undef PL0_GROUP_STEPS
#undef PL0_GROUP_HANDLER
#undef PL0_CHAIN_HANDLER
#undef PL0_HANDLER
#undef PL0_LABEL_OF
#undef PL0_LABEL_PASTE
#undef PL0_DISPATCH
#undef PL0_ALWAYS_INLINE

// The untraced loop: the decoded groups.
template <typename Observer>
RunResult run_fast(const std::vector<Instruction>& program, MachineState& m, const MachineIO& io,
                   Observer& observer) {
  return run_loop<true>(program, m, io, observer);
}

// The plain loop: one instruction a dispatch, a trace line before each when tracing, the
// observer told after each.
template <typename Observer>
RunResult run_simple(const std::vector<Instruction>& program, MachineState& m, const MachineIO& io,
                     Observer& observer) {
  return run_loop<false>(program, m, io, observer);
}

}  // namespace pl0::interpreter::detail
