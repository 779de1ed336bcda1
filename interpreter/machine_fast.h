// The untraced run loop: the decoded program, the registers in locals, and one dispatch per
// decoded entry, threaded through a table of label addresses (GCC and Clang; other compilers
// run the simple loop). Each handler is its group's instructions written one after the other
// as the steps of machine_steps.h; they are inlined, so the compiler fuses a group's work (a
// value pushed and popped again at once is not read back from memory). Every cell access is
// still checked, so a fault stops at the right PC, and the test for PC 0 or less stands only
// where control can reach it: jumps, calls and returns.
#pragma once

#include <string>

#include "decode.h"
#include "machine_detail.h"
#include "vocabulary.h"

#if defined(__GNUC__)
#define PL0_THREADED 1

#include "machine_steps.h"  // written for GCC and Clang: always_inline, __builtin_expect

namespace pl0::interpreter::detail {

// The only macros: PL0_CHECK leaves by the fault exit when its steps fail; PL0_NEXT moves on
// past the `count` instructions just run and dispatches the next entry (first reporting to an
// active observer); PL0_JUMP goes to `to` instead, ending the run at PC 0 or less.
#define PL0_CHECK(steps) \
  if (!(steps)) goto cell_fault

#define PL0_NEXT(count)                      \
  do {                                       \
    ip += (count);                           \
    if constexpr (Observer::active) {        \
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
      save(target);                                   \
      if (!observer(m, count)) goto stopped;          \
    }                                                 \
    goto* labels[static_cast<int>(ip->kind)];         \
  } while (false)

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
  do_ADD:
    PL0_CHECK(r.binary(ADD, 0));
    PL0_NEXT(1);
  do_MIN:
    PL0_CHECK(r.binary(MIN, 0));
    PL0_NEXT(1);
  do_MUL:
    PL0_CHECK(r.binary(MUL, 0));
    PL0_NEXT(1);
  do_DIV:
    PL0_CHECK(r.binary(DIV, 0));
    PL0_NEXT(1);
  do_MOD:
    PL0_CHECK(r.binary(MOD, 0));
    PL0_NEXT(1);
  do_EQU:
    PL0_CHECK(r.binary(EQU, 0));
    PL0_NEXT(1);
  do_NEQ:
    PL0_CHECK(r.binary(NEQ, 0));
    PL0_NEXT(1);
  do_LES:
    PL0_CHECK(r.binary(LES, 0));
    PL0_NEXT(1);
  do_LEQ:
    PL0_CHECK(r.binary(LEQ, 0));
    PL0_NEXT(1);
  do_GTR:
    PL0_CHECK(r.binary(GTR, 0));
    PL0_NEXT(1);
  do_GEQ:
    PL0_CHECK(r.binary(GEQ, 0));
    PL0_NEXT(1);
  do_NOP:
    PL0_NEXT(1);
  do_END:
    target = at(ip);
    goto fetch_fault;

    // The fused groups: each runs its instructions' steps one after the other.
  do_LIT_ADD:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(ADD, 1));
    PL0_NEXT(2);
  do_LIT_MIN:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(MIN, 1));
    PL0_NEXT(2);
  do_LIT_MUL:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(MUL, 1));
    PL0_NEXT(2);
  do_LIT_DIV:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(DIV, 1));
    PL0_NEXT(2);
  do_LIT_MOD:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(MOD, 1));
    PL0_NEXT(2);
  do_LIT_EQU:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(EQU, 1));
    PL0_NEXT(2);
  do_LIT_NEQ:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(NEQ, 1));
    PL0_NEXT(2);
  do_LIT_LES:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(LES, 1));
    PL0_NEXT(2);
  do_LIT_LEQ:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(LEQ, 1));
    PL0_NEXT(2);
  do_LIT_GTR:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(GTR, 1));
    PL0_NEXT(2);
  do_LIT_GEQ:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(GEQ, 1));
    PL0_NEXT(2);
  do_LOD0_ADD:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(ADD, 1));
    PL0_NEXT(2);
  do_LOD0_MIN:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(MIN, 1));
    PL0_NEXT(2);
  do_LOD0_MUL:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(MUL, 1));
    PL0_NEXT(2);
  do_LOD0_DIV:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(DIV, 1));
    PL0_NEXT(2);
  do_LOD0_MOD:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(MOD, 1));
    PL0_NEXT(2);
  do_LOD0_EQU:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(EQU, 1));
    PL0_NEXT(2);
  do_LOD0_NEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(NEQ, 1));
    PL0_NEXT(2);
  do_LOD0_LES:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(LES, 1));
    PL0_NEXT(2);
  do_LOD0_LEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(LEQ, 1));
    PL0_NEXT(2);
  do_LOD0_GTR:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(GTR, 1));
    PL0_NEXT(2);
  do_LOD0_GEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(GEQ, 1));
    PL0_NEXT(2);
  do_EQU_JPC:
    PL0_CHECK(r.binary(EQU, 0) && r.pop(r.ax, 1));
    if (r.ax == 0) PL0_JUMP(2, ip->last);
    PL0_NEXT(2);
  do_NEQ_JPC:
    PL0_CHECK(r.binary(NEQ, 0) && r.pop(r.ax, 1));
    if (r.ax == 0) PL0_JUMP(2, ip->last);
    PL0_NEXT(2);
  do_LES_JPC:
    PL0_CHECK(r.binary(LES, 0) && r.pop(r.ax, 1));
    if (r.ax == 0) PL0_JUMP(2, ip->last);
    PL0_NEXT(2);
  do_LEQ_JPC:
    PL0_CHECK(r.binary(LEQ, 0) && r.pop(r.ax, 1));
    if (r.ax == 0) PL0_JUMP(2, ip->last);
    PL0_NEXT(2);
  do_GTR_JPC:
    PL0_CHECK(r.binary(GTR, 0) && r.pop(r.ax, 1));
    if (r.ax == 0) PL0_JUMP(2, ip->last);
    PL0_NEXT(2);
  do_GEQ_JPC:
    PL0_CHECK(r.binary(GEQ, 0) && r.pop(r.ax, 1));
    if (r.ax == 0) PL0_JUMP(2, ip->last);
    PL0_NEXT(2);
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
  do_LOD0_LIT_ADD:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(ADD, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_MIN:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(MIN, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_MUL:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(MUL, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_DIV:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(DIV, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_MOD:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(MOD, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_EQU:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(EQU, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_NEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(NEQ, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_LES:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(LES, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_LEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(LEQ, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_GTR:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(GTR, 2));
    PL0_NEXT(3);
  do_LOD0_LIT_GEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(GEQ, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_ADD:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(ADD, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_MIN:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(MIN, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_MUL:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(MUL, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_DIV:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(DIV, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_MOD:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(MOD, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_EQU:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(EQU, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_NEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(NEQ, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_LES:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(LES, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_LEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(LEQ, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_GTR:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(GTR, 2));
    PL0_NEXT(3);
  do_LOD0_LOD0_GEQ:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.load(r.bp, ip->second, 1) &&
              r.binary(GEQ, 2));
    PL0_NEXT(3);
  do_LOD0_EQU_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(EQU, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LOD0_NEQ_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(NEQ, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LOD0_LES_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(LES, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LOD0_LEQ_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(LEQ, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LOD0_GTR_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(GTR, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LOD0_GEQ_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.binary(GEQ, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LIT_EQU_JPC:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(EQU, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LIT_NEQ_JPC:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(NEQ, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LIT_LES_JPC:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(LES, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LIT_LEQ_JPC:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(LEQ, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LIT_GTR_JPC:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(GTR, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LIT_GEQ_JPC:
    PL0_CHECK(r.lit(ip->operand, 0) && r.binary(GEQ, 1) && r.pop(r.ax, 2));
    if (r.ax == 0) PL0_JUMP(3, ip->last);
    PL0_NEXT(3);
  do_LOD0_LIT_EQU_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(EQU, 2) &&
              r.pop(r.ax, 3));
    if (r.ax == 0) PL0_JUMP(4, ip->last);
    PL0_NEXT(4);
  do_LOD0_LIT_NEQ_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(NEQ, 2) &&
              r.pop(r.ax, 3));
    if (r.ax == 0) PL0_JUMP(4, ip->last);
    PL0_NEXT(4);
  do_LOD0_LIT_LES_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(LES, 2) &&
              r.pop(r.ax, 3));
    if (r.ax == 0) PL0_JUMP(4, ip->last);
    PL0_NEXT(4);
  do_LOD0_LIT_LEQ_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(LEQ, 2) &&
              r.pop(r.ax, 3));
    if (r.ax == 0) PL0_JUMP(4, ip->last);
    PL0_NEXT(4);
  do_LOD0_LIT_GTR_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(GTR, 2) &&
              r.pop(r.ax, 3));
    if (r.ax == 0) PL0_JUMP(4, ip->last);
    PL0_NEXT(4);
  do_LOD0_LIT_GEQ_JPC:
    PL0_CHECK(r.load(r.bp, ip->operand, 0) && r.lit(ip->second, 1) && r.binary(GEQ, 2) &&
              r.pop(r.ax, 3));
    if (r.ax == 0) PL0_JUMP(4, ip->last);
    PL0_NEXT(4);
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

}  // namespace pl0::interpreter::detail

#endif  // defined(__GNUC__)
