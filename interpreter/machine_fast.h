// The untraced run loop: the decoded program, the registers in locals, and one dispatch per
// decoded entry, threaded through a table of label addresses (GCC and Clang; other compilers
// run the simple loop). Each handler is its group's instructions written one after the other
// as the steps of machine_steps.h; they are inlined, so the compiler fuses a group's work (a
// value pushed and popped again at once is not read back from memory); the families of
// binary operations are generated from the opcode lists, one handler per opcode and family.
// Every cell access is still checked, so a fault stops at the right PC, and the test for PC 0
// or less stands only where control can reach it: jumps, calls and returns.
#pragma once

#include <string>

#include "decode.h"
#include "machine_detail.h"
#include "vocabulary.h"

#if defined(__GNUC__)
#define PL0_THREADED 1

#include "machine_steps.h"  // written for GCC and Clang: always_inline, __builtin_expect

namespace pl0::interpreter::detail {

// The macros: PL0_CHECK leaves by the fault exit when its steps fail; PL0_NEXT moves on
// past the `count` instructions just run and dispatches the next entry (first reporting to an
// active observer); PL0_JUMP goes to `to` instead, ending the run at PC 0 or less.
#define PL0_CHECK(steps) \
  if (!(steps)) goto cell_fault

#define PL0_NEXT(count)                      \
  do {                                       \
    ip += (count);                           \
    if constexpr (Observer::active &&        \
                  sees_state<Observer>) {    \
      save(at(ip));                          \
      if (!observer(m, count)) goto stopped; \
    }                                        \
    goto* labels[static_cast<int>(ip->kind)]; \
  } while (false)

#define PL0_JUMP(count, to)                           \
  do {                                                \
    target = (to);                                    \
    if (target <= 0) {                                \
      executed = (count);                             \
      goto finished;                                  \
    }                                                 \
    if (static_cast<std::uint32_t>(target) >= size) { \
      goto fetch_fault;                               \
    }                                                 \
    ip = code + target;                               \
    if constexpr (Observer::active) {                 \
      if constexpr (sees_state<Observer>) {           \
        save(target);                                 \
      }                                               \
      if (!observer(m, count)) goto stopped;          \
    }                                                 \
    goto* labels[static_cast<int>(ip->kind)];         \
  } while (false)

// A handler that runs `steps` and moves on past `count` instructions; one that also pops the
// JPC's condition after them and branches on it.
#define PL0_GROUP(name, count, steps) \
  do_##name:                          \
  PL0_CHECK(steps);                   \
  PL0_NEXT(count);
#define PL0_GROUP_JPC(name, count, steps)                 \
  do_##name:                                              \
  PL0_CHECK(steps && r.pop(r.ax, (count)-1));             \
  if (r.ax == 0) PL0_JUMP(count, ip->last);               \
  PL0_NEXT(count);

// The families of decode.h, one handler per binary opcode. The steps that stand before the
// operation load its operands: a LIT's constant, a LOD at Level 0.
#define PL0_LOAD_FIRST r.load(r.bp, ip->operand, 0)
#define PL0_PLAIN(op, ...) PL0_GROUP(op, 1, r.binary(op, 0))
#define PL0_AFTER_LITERAL(op, ...) PL0_GROUP(LIT_##op, 2, r.lit(ip->operand, 0) && r.binary(op, 1))
#define PL0_AFTER_VARIABLE(op, ...) PL0_GROUP(LOD0_##op, 2, PL0_LOAD_FIRST && r.binary(op, 1))
#define PL0_AFTER_VARIABLE_LITERAL(op, ...) \
  PL0_GROUP(LOD0_LIT_##op, 3, PL0_LOAD_FIRST && r.lit(ip->second, 1) && r.binary(op, 2))
#define PL0_AFTER_TWO_VARIABLES(op, ...) \
  PL0_GROUP(LOD0_LOD0_##op, 3,           \
            PL0_LOAD_FIRST && r.load(r.bp, ip->second, 1) && r.binary(op, 2))
#define PL0_THEN_JUMP(op, ...) PL0_GROUP_JPC(op##_JPC, 2, r.binary(op, 0))
#define PL0_VARIABLE_THEN_JUMP(op, ...) \
  PL0_GROUP_JPC(LOD0_##op##_JPC, 3, PL0_LOAD_FIRST && r.binary(op, 1))
#define PL0_LITERAL_THEN_JUMP(op, ...) \
  PL0_GROUP_JPC(LIT_##op##_JPC, 3, r.lit(ip->operand, 0) && r.binary(op, 1))
#define PL0_VARIABLE_LITERAL_THEN_JUMP(op, ...) \
  PL0_GROUP_JPC(LOD0_LIT_##op##_JPC, 4,         \
                PL0_LOAD_FIRST && r.lit(ip->second, 1) && r.binary(op, 2))

template <typename Observer>
RunResult run_fast(const std::vector<Instruction>& program, MachineState& m, const MachineIO& io,
                   Observer& observer) {
  const std::vector<Decoded> decoded = decode(program);
  const Decoded* const code = decoded.data();
  const auto size = static_cast<std::uint32_t>(program.size());
  Registers r{m.cells.data(), m.sp, m.bp, m.ax, m.bx, m.tx};
  const Decoded* ip = code + m.pc;
  std::int32_t target = 0;
  int executed = 1;

  auto at = [code](const Decoded* p) { return static_cast<std::int32_t>(p - code); };
  // Inlined everywhere, so that the registers never have their address taken (see LongWalk).
  auto save = [&](std::int32_t pc) __attribute__((always_inline)) {
    m.pc = pc;
    m.sp = r.sp;
    m.bp = r.bp;
    m.ax = r.ax;
    m.bx = r.bx;
    m.tx = r.tx;
  };

#define PL0_LABEL(name, length) &&do_##name,
  static const void* const labels[] = {PL0_KINDS(PL0_LABEL)};
#undef PL0_LABEL
  static_assert(sizeof labels / sizeof *labels == kind_count);

  try {
    goto* labels[static_cast<int>(ip->kind)];

  do_LIT:
    PL0_CHECK(r.lit(ip->operand, 0));
    PL0_NEXT(1);
  do_LOD0:
    PL0_CHECK(r.load(r.bp, ip->operand, 0));
    PL0_NEXT(1);
  do_LOD1:
    PL0_CHECK(r.static_link(0) && r.load(r.ax, ip->operand, 0));
    PL0_NEXT(1);
  do_LOD:
    PL0_CHECK(r.base(ip->level, 0) && r.load(r.ax, ip->operand, 0));
    PL0_NEXT(1);
  do_STO0:
    PL0_CHECK(r.store(r.bp, ip->operand, 0));
    PL0_NEXT(1);
  do_STO1:
    PL0_CHECK(r.static_link(0) && r.store(r.ax, ip->operand, 0));
    PL0_NEXT(1);
  do_STO:
    PL0_CHECK(r.base(ip->level, 0) && r.store(r.ax, ip->operand, 0));
    PL0_NEXT(1);
  do_CAL:
    PL0_CHECK(r.call(ip->level, at(ip) + 1, 0));
    PL0_JUMP(1, ip->operand);
  do_INT:
    r.reserve(ip->operand);
    PL0_NEXT(1);
  do_JMP:
    PL0_JUMP(1, ip->operand);
  do_JPC:
    PL0_CHECK(r.pop(r.ax, 0));
    if (r.ax == 0) PL0_JUMP(1, ip->operand);
    PL0_NEXT(1);
  do_RTN:
    PL0_CHECK(r.return_from(target, 0));
    PL0_JUMP(1, target);
  do_WRITE:
    PL0_CHECK(r.pop(r.ax, 0));
    write_number(io, r.ax);
    PL0_NEXT(1);
  do_READ: {
    std::int32_t value = r.ax;  // a copy: see LongWalk
    read_number(io, value);
    r.ax = value;
  }
    PL0_CHECK(r.push(r.ax, 0));
    PL0_NEXT(1);
  do_PUTC:
    PL0_CHECK(r.pop(r.ax, 0));
    write_character(io, r.ax);
    PL0_NEXT(1);
  do_GETC:
    read_character(io, m);
    r.ax = m.ax;
    PL0_CHECK(r.push(r.ax, 0));
    PL0_NEXT(1);
  do_LDT0:
    PL0_CHECK(r.load_element(r.bp, ip->operand, 0));
    PL0_NEXT(1);
  do_LDT:
    PL0_CHECK(r.base(ip->level, 0) && r.load_element(r.ax, ip->operand, 0));
    PL0_NEXT(1);
  do_STT0:
    PL0_CHECK(r.pop(r.tx, 0) && r.store_element(r.bp, ip->operand, 0));
    PL0_NEXT(1);
  do_STT:
    PL0_CHECK(r.pop(r.tx, 0) && r.base(ip->level, 0) && r.store_element(r.ax, ip->operand, 0));
    PL0_NEXT(1);
  do_NEG:
    PL0_CHECK(r.negate(0));
    PL0_NEXT(1);
  do_ODD:
    PL0_CHECK(r.odd(0));
    PL0_NEXT(1);
    PL0_BINARY(PL0_PLAIN, )
  do_NOP:
    PL0_NEXT(1);
  do_END:
    target = at(ip);
    goto fetch_fault;

    // The fused groups: each runs its instructions' steps one after the other. The families
    // first, then the copies and the assignments.
    PL0_BINARY(PL0_AFTER_LITERAL, )
    PL0_BINARY(PL0_AFTER_VARIABLE, )
    PL0_COMPARISONS(PL0_THEN_JUMP, )
  do_LOD0_LOD0:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1));
    PL0_NEXT(2);
  do_LIT_STO0:
    PL0_CHECK(r.lit(ip->operand, 0) && r.store(r.bp, ip->second, 1));
    PL0_NEXT(2);
  do_LOD1_STO0:
    PL0_CHECK(r.static_link(0) && r.load(r.ax, ip->operand, 0) && r.store(r.bp, ip->second, 1));
    PL0_NEXT(2);
  do_LOD0_STO1:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.static_link(1) && r.store(r.ax, ip->second, 1));
    PL0_NEXT(2);
  do_LOD0_LDT0:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load_element(r.bp, ip->second, 1));
    PL0_NEXT(2);
    PL0_BINARY(PL0_AFTER_VARIABLE_LITERAL, )
    PL0_BINARY(PL0_AFTER_TWO_VARIABLES, )
    PL0_COMPARISONS(PL0_VARIABLE_THEN_JUMP, )
    PL0_COMPARISONS(PL0_LITERAL_THEN_JUMP, )
    PL0_COMPARISONS(PL0_VARIABLE_LITERAL_THEN_JUMP, )
  do_LOD0_LIT_ADD_STO0:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(ADD, 2) &&
              r.store(r.bp, ip->last, 3));
    PL0_NEXT(4);
  do_LOD0_LIT_MIN_STO0:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(MIN, 2) &&
              r.store(r.bp, ip->last, 3));
    PL0_NEXT(4);
  do_LOD0_LIT_ADD_STO1:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(ADD, 2) &&
              r.static_link(3) && r.store(r.ax, ip->last, 3));
    PL0_NEXT(4);
  do_LOD0_LIT_MIN_STO1:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(MIN, 2) &&
              r.static_link(3) && r.store(r.ax, ip->last, 3));
    PL0_NEXT(4);

  } catch (const OutputFailed&) {
    save(at(ip));
    return {RunResult::write_failed, ""};
  }

finished:
  save(target);
  if constexpr (Observer::active) observer(m, executed);
  return {RunResult::finished, ""};
cell_fault : {
  const std::int32_t pc = at(ip) + r.bad_step;
  save(pc);
  return {RunResult::fault, cell_fault_message(r.bad_cell, pc)};
}
fetch_fault:
  save(target);
  return {RunResult::fault, no_instruction_message(target)};
stopped:  // reached only with an active observer
  __attribute__((unused));
  return {RunResult::stopped, ""};
}

#undef PL0_CHECK
#undef PL0_NEXT
#undef PL0_JUMP
#undef PL0_GROUP
#undef PL0_GROUP_JPC
#undef PL0_LOAD_FIRST
#undef PL0_PLAIN
#undef PL0_AFTER_LITERAL
#undef PL0_AFTER_VARIABLE
#undef PL0_AFTER_VARIABLE_LITERAL
#undef PL0_AFTER_TWO_VARIABLES
#undef PL0_THEN_JUMP
#undef PL0_VARIABLE_THEN_JUMP
#undef PL0_LITERAL_THEN_JUMP
#undef PL0_VARIABLE_LITERAL_THEN_JUMP

}  // namespace pl0::interpreter::detail

#endif  // defined(__GNUC__)
