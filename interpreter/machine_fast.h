// The untraced run loop: the decoded program, the registers in locals, and one dispatch per
// decoded entry, threaded through a table of label addresses (GCC and Clang; other compilers
// run the simple loop). Every cell access is still checked with one unsigned compare, so a
// fault stops at the right PC, and the test for PC 0 or less stands only where control can
// reach it: jumps, calls and returns. Each handler leaves the state exactly as its register
// operations do; a fused pair leaves it as both instructions would, including the cell the
// first pushes and the second pops again.
#pragma once

#include <string>

#include "decode.h"
#include "machine_detail.h"

#if defined(__GNUC__)
#define PL0_THREADED 1

namespace pl0::interpreter::detail {

inline bool outside(std::int32_t index) {
  return static_cast<std::uint32_t>(index) > static_cast<std::uint32_t>(top_cell);
}

// The eleven two-operand operations, by kind; folds to one operation where the kind is known.
inline std::int32_t operate(std::int32_t kind, std::int32_t l, std::int32_t r) {
  switch (kind) {
    case k_add: return wrap_add(l, r);
    case k_min: return wrap_sub(l, r);
    case k_mul: return wrap_mul(l, r);
    case k_div: return divide(l, r);
    case k_mod: return remainder(l, r);
    case k_equ: return l == r;
    case k_neq: return l != r;
    case k_les: return l < r;
    case k_leq: return l <= r;
    case k_gtr: return l > r;
    default: return l >= r;
  }
}

// The handlers are written with a few local macros, the usual way to spell the dispatch of a
// threaded interpreter: PL0_NEXT dispatches the next entry (reporting the instructions just
// executed to an active observer), PL0_CHECK leaves by the fault exit when a cell index is
// outside the stack, and PL0_JUMP goes to `target` (stopping at 0 or less).
#define PL0_NEXT(count)                      \
  do {                                       \
    if constexpr (Observer::active) {        \
      save(at(ip));                          \
      if (!observer(m, count)) goto stopped; \
    }                                        \
    goto* labels[ip->kind];                  \
  } while (false)

#define PL0_CHECK(index, where) \
  do {                          \
    if (outside(index)) {       \
      fault_cell = (index);     \
      fault_pc = at(where);     \
      goto cell_fault;          \
    }                           \
  } while (false)

#define PL0_JUMP(count)                               \
  do {                                                \
    if (target <= 0) {                                \
      executed = (count);                             \
      goto finished;                                  \
    }                                                 \
    if (static_cast<std::uint32_t>(target) >= size) { \
      fetch_pc = target;                              \
      goto fetch_fault;                               \
    }                                                 \
    ip = code + target;                               \
    PL0_NEXT(count);                                  \
  } while (false)

// A two-operand operation on the top two cells.
#define PL0_BINARY(kind)                 \
  PL0_CHECK(sp, ip);                     \
  bx = cells[sp];                        \
  PL0_CHECK(sp + 1, ip);                 \
  ax = operate(kind, cells[sp + 1], bx); \
  cells[++sp] = ax;                      \
  ++ip;                                  \
  PL0_NEXT(1)

// LIT or LOD (level 0) of `value`, then a two-operand operation taking it as its right
// operand: the value is pushed and popped again, the result replaces the old top.
#define PL0_WITH_OPERAND(kind, value)            \
  {                                              \
    const std::int32_t right = (value);          \
    const std::int32_t pushed = wrap_sub(sp, 1); \
    PL0_CHECK(pushed, ip);                       \
    cells[pushed] = right;                       \
    PL0_CHECK(sp, ip + 1);                       \
    bx = right;                                  \
    ax = operate(kind, cells[sp], right);        \
    cells[sp] = ax;                              \
    ip += 2;                                     \
    PL0_NEXT(2);                                 \
  }

// LOD (level 0) of a variable, then LIT or a second LOD (level 0) of `right`, then an
// operation on the two: both are pushed, popped again, and the result replaces the first.
#define PL0_TRIPLE(kind, right_value, right_check)            \
  {                                                           \
    const std::int32_t left_cell = wrap_sub(bp, ip->operand); \
    PL0_CHECK(left_cell, ip);                                 \
    const std::int32_t s1 = wrap_sub(sp, 1);                  \
    PL0_CHECK(s1, ip);                                        \
    const std::int32_t left = cells[left_cell];               \
    cells[s1] = left;                                         \
    right_check;                                              \
    const std::int32_t right = (right_value);                 \
    PL0_CHECK(s1 - 1, ip + 1);                                \
    cells[s1 - 1] = right;                                    \
    bx = right;                                               \
    ax = operate(kind, left, right);                          \
    cells[s1] = ax;                                           \
    sp = s1;                                                  \
    ip += 3;                                                  \
    PL0_NEXT(3);                                              \
  }
#define PL0_RIGHT_CELL wrap_sub(bp, ip->second)
#define PL0_CHECK_RIGHT_CELL PL0_CHECK(PL0_RIGHT_CELL, ip + 1)
#define PL0_LIT_TRIPLE(kind) PL0_TRIPLE(kind, ip->second, (void)0)
#define PL0_LOD_TRIPLE(kind) PL0_TRIPLE(kind, cells[PL0_RIGHT_CELL], PL0_CHECK_RIGHT_CELL)

// A variable (LOD, level 0) or a literal compared with the top, and the JPC after it: the
// value is pushed and popped, the result replaces the top and is popped again by the JPC.
#define PL0_VALUE_COMPARE_JUMP(kind, value, value_check) \
  {                                                      \
    value_check;                                         \
    const std::int32_t right = (value);                  \
    const std::int32_t s1 = wrap_sub(sp, 1);             \
    PL0_CHECK(s1, ip);                                   \
    cells[s1] = right;                                   \
    PL0_CHECK(sp, ip + 1);                               \
    bx = right;                                          \
    ax = operate(kind, cells[sp], right);                \
    cells[sp++] = ax;                                    \
    if (ax == 0) {                                       \
      target = ip->second;                               \
      PL0_JUMP(3);                                       \
    }                                                    \
    ip += 3;                                             \
    PL0_NEXT(3);                                         \
  }
#define PL0_LEFT_CELL wrap_sub(bp, ip->operand)
#define PL0_LOD_COMPARE_JUMP(kind) \
  PL0_VALUE_COMPARE_JUMP(kind, cells[PL0_LEFT_CELL], PL0_CHECK(PL0_LEFT_CELL, ip))
#define PL0_LIT_COMPARE_JUMP(kind) PL0_VALUE_COMPARE_JUMP(kind, ip->operand, (void)0)

// The first three instructions of the fours: LOD (level 0) of a variable, LIT, and an
// operation on them, leaving the result in `result` and in the cell of the variable's push.
#define PL0_VARIABLE_WITH_LITERAL(kind)                     \
  const std::int32_t left_cell = wrap_sub(bp, ip->operand); \
  PL0_CHECK(left_cell, ip);                                 \
  const std::int32_t s1 = wrap_sub(sp, 1);                  \
  PL0_CHECK(s1, ip);                                        \
  const std::int32_t left = cells[left_cell];               \
  cells[s1] = left;                                         \
  PL0_CHECK(s1 - 1, ip + 1);                                \
  const std::int32_t right = ip->second;                    \
  cells[s1 - 1] = right;                                    \
  const std::int32_t result = operate(kind, left, right);   \
  cells[s1] = result

// while i < 80 do: the comparison's result is popped again by the JPC.
#define PL0_FOUR_COMPARE_JUMP(kind)  \
  {                                  \
    PL0_VARIABLE_WITH_LITERAL(kind); \
    bx = right;                      \
    ax = result;                     \
    sp = s1 + 1;                     \
    if (ax == 0) {                   \
      target = ip->third;            \
      PL0_JUMP(4);                   \
    }                                \
    ip += 4;                         \
    PL0_NEXT(4);                     \
  }

// i := i + 1: the result is popped again by the STO at level 0 or 1.
#define PL0_FOUR_STORE(kind, level)  \
  {                                  \
    PL0_VARIABLE_WITH_LITERAL(kind); \
    std::int32_t frame = bp;         \
    if (level == 1) {                \
      PL0_CHECK(bp, ip + 3);         \
      frame = cells[bp];             \
    }                                \
    ax = wrap_sub(frame, ip->third); \
    bx = result;                     \
    sp = s1 + 1;                     \
    PL0_CHECK(ax, ip + 3);           \
    cells[ax] = result;              \
    ip += 4;                         \
    PL0_NEXT(4);                     \
  }

// A comparison and the JPC after it, which pops the comparison's result again.
#define PL0_COMPARE_JUMP(kind)           \
  PL0_CHECK(sp, ip);                     \
  bx = cells[sp];                        \
  PL0_CHECK(sp + 1, ip);                 \
  ax = operate(kind, cells[sp + 1], bx); \
  cells[sp + 1] = ax;                    \
  sp += 2;                               \
  if (ax == 0) {                         \
    target = ip->second;                 \
    PL0_JUMP(2);                         \
  }                                      \
  ip += 2;                               \
  PL0_NEXT(2)

template <typename Observer>
RunResult run_fast(const std::vector<Instruction>& program, MachineState& m, const MachineIO& io,
                   Observer& observer) {
  const std::vector<Decoded> decoded = decode(program);
  const Decoded* const code = decoded.data();
  const auto size = static_cast<std::uint32_t>(program.size());
  std::int32_t* const cells = m.cells.data();
  std::int32_t sp = m.sp, bp = m.bp, ax = m.ax, bx = m.bx, tx = m.tx;
  const Decoded* ip = code + m.pc;
  std::int32_t fault_pc = 0, fault_cell = 0, fetch_pc = 0, target = 0;
  int executed = 1;

  auto at = [code](const Decoded* p) { return static_cast<std::int32_t>(p - code); };
  auto save = [&](std::int32_t pc) {
    m.pc = pc;
    m.sp = sp;
    m.bp = bp;
    m.ax = ax;
    m.bx = bx;
    m.tx = tx;
  };
  auto checked = [cells](std::int32_t index) -> std::int32_t& {
    if (outside(index)) throw CellFault{index};
    return cells[index];
  };
  // The static links followed Level times from BP for the instruction at `where`; false, with
  // the fault set, when the walk leaves the stack.
  auto walk = [&](const Decoded* where, std::int32_t& a) {
    const std::int32_t level = where->level;
    fault_pc = at(where);
    a = bp;
    if (level > stack_cells) {
      try {
        a = long_base_walk(a, level, checked);
      } catch (const CellFault& fault) {
        fault_cell = fault.index;
        return false;
      }
      return true;
    }
    for (std::int32_t step = 0; step < level; ++step) {
      if (outside(a)) {
        fault_cell = a;
        return false;
      }
      a = cells[a];
    }
    return true;
  };

  // clang-format off
  static const void* const labels[kind_count] = {
    &&op_lit, &&op_lod0, &&op_lod1, &&op_lod, &&op_sto0, &&op_sto1, &&op_sto, &&op_cal,
    &&op_int, &&op_jmp, &&op_jpc, &&op_rtn, &&op_write, &&op_read, &&op_putc, &&op_getc,
    &&op_ldt0, &&op_ldt, &&op_stt0, &&op_stt, &&op_neg, &&op_odd,
    &&op_add, &&op_min, &&op_mul, &&op_div, &&op_mod,
    &&op_equ, &&op_neq, &&op_les, &&op_leq, &&op_gtr, &&op_geq,
    &&op_nop, &&op_end,
    &&lit_add, &&lit_min, &&lit_mul, &&lit_div, &&lit_mod,
    &&lit_equ, &&lit_neq, &&lit_les, &&lit_leq, &&lit_gtr, &&lit_geq,
    &&lod0_add, &&lod0_min, &&lod0_mul, &&lod0_div, &&lod0_mod,
    &&lod0_equ, &&lod0_neq, &&lod0_les, &&lod0_leq, &&lod0_gtr, &&lod0_geq,
    &&equ_jpc, &&neq_jpc, &&les_jpc, &&leq_jpc, &&gtr_jpc, &&geq_jpc,
    &&lod0_lod0, &&lit_sto0, &&lod1_sto0, &&lod0_sto1, &&lod0_ldt0,
    &&lod0_lit_add, &&lod0_lit_min, &&lod0_lit_mul, &&lod0_lit_div, &&lod0_lit_mod,
    &&lod0_lit_equ, &&lod0_lit_neq, &&lod0_lit_les, &&lod0_lit_leq, &&lod0_lit_gtr,
    &&lod0_lit_geq,
    &&lod0_lod0_add, &&lod0_lod0_min, &&lod0_lod0_mul, &&lod0_lod0_div, &&lod0_lod0_mod,
    &&lod0_lod0_equ, &&lod0_lod0_neq, &&lod0_lod0_les, &&lod0_lod0_leq, &&lod0_lod0_gtr,
    &&lod0_lod0_geq,
    &&lod0_equ_jpc, &&lod0_neq_jpc, &&lod0_les_jpc, &&lod0_leq_jpc, &&lod0_gtr_jpc,
    &&lod0_geq_jpc,
    &&lit_equ_jpc, &&lit_neq_jpc, &&lit_les_jpc, &&lit_leq_jpc, &&lit_gtr_jpc, &&lit_geq_jpc,
    &&lod0_lit_equ_jpc, &&lod0_lit_neq_jpc, &&lod0_lit_les_jpc, &&lod0_lit_leq_jpc,
    &&lod0_lit_gtr_jpc, &&lod0_lit_geq_jpc,
    &&lod0_lit_add_sto0, &&lod0_lit_min_sto0, &&lod0_lit_add_sto1, &&lod0_lit_min_sto1,
  };
  // clang-format on

  try {
    goto* labels[ip->kind];

  op_lit:
    bx = ip->operand;
    ax = bx;
    sp = wrap_sub(sp, 1);
    PL0_CHECK(sp, ip);
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_lod0:
    bx = ip->operand;
    ax = wrap_sub(bp, bx);
    PL0_CHECK(ax, ip);
    ax = cells[ax];
    sp = wrap_sub(sp, 1);
    PL0_CHECK(sp, ip);
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_lod:
    if (!walk(ip, ax)) goto cell_fault;
    goto lod_from_base;
  op_lod1:
    PL0_CHECK(bp, ip);
    ax = cells[bp];
  lod_from_base:
    bx = ip->operand;
    ax = wrap_sub(ax, bx);
    PL0_CHECK(ax, ip);
    ax = cells[ax];
    sp = wrap_sub(sp, 1);
    PL0_CHECK(sp, ip);
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_sto0:
    bx = ip->operand;
    ax = wrap_sub(bp, bx);
    PL0_CHECK(sp, ip);
    bx = cells[sp++];
    PL0_CHECK(ax, ip);
    cells[ax] = bx;
    ++ip;
    PL0_NEXT(1);
  op_sto:
    if (!walk(ip, ax)) goto cell_fault;
    goto sto_from_base;
  op_sto1:
    PL0_CHECK(bp, ip);
    ax = cells[bp];
  sto_from_base:
    bx = ip->operand;
    ax = wrap_sub(ax, bx);
    PL0_CHECK(sp, ip);
    bx = cells[sp++];
    PL0_CHECK(ax, ip);
    cells[ax] = bx;
    ++ip;
    PL0_NEXT(1);
  op_cal : {
    if (!walk(ip, ax)) goto cell_fault;
    const std::int32_t s = sp;
    PL0_CHECK(wrap_sub(s, 1), ip);
    cells[s - 1] = ax;  // static link
    PL0_CHECK(wrap_sub(s, 2), ip);
    cells[s - 2] = bp;  // dynamic link
    PL0_CHECK(wrap_sub(s, 3), ip);
    cells[s - 3] = at(ip) + 1;  // return address
    ax = s;
    bp = s - 1;
    target = ip->operand;
    PL0_JUMP(1);
  }
  op_int:
    bx = ip->operand;
    ax = wrap_sub(sp, bx);
    sp = ax;
    ++ip;
    PL0_NEXT(1);
  op_jmp:
    target = ip->operand;
    PL0_JUMP(1);
  op_jpc:
    PL0_CHECK(sp, ip);
    ax = cells[sp++];
    if (ax == 0) {
      target = ip->operand;
      PL0_JUMP(1);
    }
    ++ip;
    PL0_NEXT(1);
  op_rtn:
    sp = wrap_sub(bp, 2);
    PL0_CHECK(sp, ip);
    target = cells[sp++];
    PL0_CHECK(sp, ip);
    bp = cells[sp++];
    PL0_CHECK(sp, ip);
    ax = cells[sp++];
    PL0_JUMP(1);
  op_write:
    PL0_CHECK(sp, ip);
    ax = cells[sp++];
    write_number(io, ax);
    ++ip;
    PL0_NEXT(1);
  op_read:
    read_number(io, ax);
    sp = wrap_sub(sp, 1);
    PL0_CHECK(sp, ip);
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_putc:
    PL0_CHECK(sp, ip);
    ax = cells[sp++];
    write_character(io, ax);
    ++ip;
    PL0_NEXT(1);
  op_getc:
    read_character(io, m);
    ax = m.ax;
    sp = wrap_sub(sp, 1);
    PL0_CHECK(sp, ip);
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_ldt0:
    bx = ip->operand;
    ax = wrap_sub(bp, bx);
    goto ldt_index;
  op_ldt:
    if (!walk(ip, ax)) goto cell_fault;
    bx = ip->operand;
    ax = wrap_sub(ax, bx);
  ldt_index:
    PL0_CHECK(sp, ip);
    bx = cells[sp];
    ax = wrap_sub(ax, bx);
    PL0_CHECK(ax, ip);
    ax = cells[ax];
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_stt0:
    PL0_CHECK(sp, ip);
    tx = cells[sp++];
    bx = ip->operand;
    ax = wrap_sub(bp, bx);
    goto stt_index;
  op_stt:
    PL0_CHECK(sp, ip);
    tx = cells[sp++];
    if (!walk(ip, ax)) goto cell_fault;
    bx = ip->operand;
    ax = wrap_sub(ax, bx);
  stt_index:
    PL0_CHECK(sp, ip);
    bx = cells[sp++];
    ax = wrap_sub(ax, bx);
    bx = tx;
    PL0_CHECK(ax, ip);
    cells[ax] = bx;
    ++ip;
    PL0_NEXT(1);
  op_neg:
    PL0_CHECK(sp, ip);
    bx = cells[sp];
    ax = wrap_neg(bx);
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_odd:
    PL0_CHECK(sp, ip);
    ax = cells[sp] & 1;
    cells[sp] = ax;
    ++ip;
    PL0_NEXT(1);
  op_add:
    PL0_BINARY(k_add);
  op_min:
    PL0_BINARY(k_min);
  op_mul:
    PL0_BINARY(k_mul);
  op_div:
    PL0_BINARY(k_div);
  op_mod:
    PL0_BINARY(k_mod);
  op_equ:
    PL0_BINARY(k_equ);
  op_neq:
    PL0_BINARY(k_neq);
  op_les:
    PL0_BINARY(k_les);
  op_leq:
    PL0_BINARY(k_leq);
  op_gtr:
    PL0_BINARY(k_gtr);
  op_geq:
    PL0_BINARY(k_geq);
  op_nop:
    ++ip;
    PL0_NEXT(1);
  op_end:
    fetch_pc = at(ip);
    goto fetch_fault;

  lit_add:
    PL0_WITH_OPERAND(k_add, ip->operand)
  lit_min:
    PL0_WITH_OPERAND(k_min, ip->operand)
  lit_mul:
    PL0_WITH_OPERAND(k_mul, ip->operand)
  lit_div:
    PL0_WITH_OPERAND(k_div, ip->operand)
  lit_mod:
    PL0_WITH_OPERAND(k_mod, ip->operand)
  lit_equ:
    PL0_WITH_OPERAND(k_equ, ip->operand)
  lit_neq:
    PL0_WITH_OPERAND(k_neq, ip->operand)
  lit_les:
    PL0_WITH_OPERAND(k_les, ip->operand)
  lit_leq:
    PL0_WITH_OPERAND(k_leq, ip->operand)
  lit_gtr:
    PL0_WITH_OPERAND(k_gtr, ip->operand)
  lit_geq:
    PL0_WITH_OPERAND(k_geq, ip->operand)

    // LOD at level 0 first reads its variable, with its own check.
#define PL0_LOD0_WITH(kind)                              \
  {                                                      \
    const std::int32_t cell = wrap_sub(bp, ip->operand); \
    PL0_CHECK(cell, ip);                                 \
    PL0_WITH_OPERAND(kind, cells[cell])                  \
  }
  lod0_add:
    PL0_LOD0_WITH(k_add)
  lod0_min:
    PL0_LOD0_WITH(k_min)
  lod0_mul:
    PL0_LOD0_WITH(k_mul)
  lod0_div:
    PL0_LOD0_WITH(k_div)
  lod0_mod:
    PL0_LOD0_WITH(k_mod)
  lod0_equ:
    PL0_LOD0_WITH(k_equ)
  lod0_neq:
    PL0_LOD0_WITH(k_neq)
  lod0_les:
    PL0_LOD0_WITH(k_les)
  lod0_leq:
    PL0_LOD0_WITH(k_leq)
  lod0_gtr:
    PL0_LOD0_WITH(k_gtr)
  lod0_geq:
    PL0_LOD0_WITH(k_geq)
#undef PL0_LOD0_WITH

  equ_jpc:
    PL0_COMPARE_JUMP(k_equ);
  neq_jpc:
    PL0_COMPARE_JUMP(k_neq);
  les_jpc:
    PL0_COMPARE_JUMP(k_les);
  leq_jpc:
    PL0_COMPARE_JUMP(k_leq);
  gtr_jpc:
    PL0_COMPARE_JUMP(k_gtr);
  geq_jpc:
    PL0_COMPARE_JUMP(k_geq);

  lod0_lod0 : {
    const std::int32_t first = wrap_sub(bp, ip->operand);
    PL0_CHECK(first, ip);
    const std::int32_t s1 = wrap_sub(sp, 1);
    PL0_CHECK(s1, ip);
    cells[s1] = cells[first];
    bx = ip->second;
    const std::int32_t second = wrap_sub(bp, bx);
    PL0_CHECK(second, ip + 1);
    const std::int32_t s2 = wrap_sub(s1, 1);
    PL0_CHECK(s2, ip + 1);
    ax = cells[second];
    cells[s2] = ax;
    sp = s2;
    ip += 2;
    PL0_NEXT(2);
  }
  lit_sto0 : {
    const std::int32_t value = ip->operand;
    const std::int32_t s1 = wrap_sub(sp, 1);
    PL0_CHECK(s1, ip);
    cells[s1] = value;
    ax = wrap_sub(bp, ip->second);
    bx = value;
    PL0_CHECK(ax, ip + 1);
    cells[ax] = value;
    ip += 2;
    PL0_NEXT(2);
  }

  lod0_lit_add:
    PL0_LIT_TRIPLE(k_add)
  lod0_lit_min:
    PL0_LIT_TRIPLE(k_min)
  lod0_lit_mul:
    PL0_LIT_TRIPLE(k_mul)
  lod0_lit_div:
    PL0_LIT_TRIPLE(k_div)
  lod0_lit_mod:
    PL0_LIT_TRIPLE(k_mod)
  lod0_lit_equ:
    PL0_LIT_TRIPLE(k_equ)
  lod0_lit_neq:
    PL0_LIT_TRIPLE(k_neq)
  lod0_lit_les:
    PL0_LIT_TRIPLE(k_les)
  lod0_lit_leq:
    PL0_LIT_TRIPLE(k_leq)
  lod0_lit_gtr:
    PL0_LIT_TRIPLE(k_gtr)
  lod0_lit_geq:
    PL0_LIT_TRIPLE(k_geq)
  lod0_lod0_add:
    PL0_LOD_TRIPLE(k_add)
  lod0_lod0_min:
    PL0_LOD_TRIPLE(k_min)
  lod0_lod0_mul:
    PL0_LOD_TRIPLE(k_mul)
  lod0_lod0_div:
    PL0_LOD_TRIPLE(k_div)
  lod0_lod0_mod:
    PL0_LOD_TRIPLE(k_mod)
  lod0_lod0_equ:
    PL0_LOD_TRIPLE(k_equ)
  lod0_lod0_neq:
    PL0_LOD_TRIPLE(k_neq)
  lod0_lod0_les:
    PL0_LOD_TRIPLE(k_les)
  lod0_lod0_leq:
    PL0_LOD_TRIPLE(k_leq)
  lod0_lod0_gtr:
    PL0_LOD_TRIPLE(k_gtr)
  lod0_lod0_geq:
    PL0_LOD_TRIPLE(k_geq)

  lod0_equ_jpc:
    PL0_LOD_COMPARE_JUMP(k_equ)
  lod0_neq_jpc:
    PL0_LOD_COMPARE_JUMP(k_neq)
  lod0_les_jpc:
    PL0_LOD_COMPARE_JUMP(k_les)
  lod0_leq_jpc:
    PL0_LOD_COMPARE_JUMP(k_leq)
  lod0_gtr_jpc:
    PL0_LOD_COMPARE_JUMP(k_gtr)
  lod0_geq_jpc:
    PL0_LOD_COMPARE_JUMP(k_geq)
  lit_equ_jpc:
    PL0_LIT_COMPARE_JUMP(k_equ)
  lit_neq_jpc:
    PL0_LIT_COMPARE_JUMP(k_neq)
  lit_les_jpc:
    PL0_LIT_COMPARE_JUMP(k_les)
  lit_leq_jpc:
    PL0_LIT_COMPARE_JUMP(k_leq)
  lit_gtr_jpc:
    PL0_LIT_COMPARE_JUMP(k_gtr)
  lit_geq_jpc:
    PL0_LIT_COMPARE_JUMP(k_geq)
  lod0_lit_equ_jpc:
    PL0_FOUR_COMPARE_JUMP(k_equ)
  lod0_lit_neq_jpc:
    PL0_FOUR_COMPARE_JUMP(k_neq)
  lod0_lit_les_jpc:
    PL0_FOUR_COMPARE_JUMP(k_les)
  lod0_lit_leq_jpc:
    PL0_FOUR_COMPARE_JUMP(k_leq)
  lod0_lit_gtr_jpc:
    PL0_FOUR_COMPARE_JUMP(k_gtr)
  lod0_lit_geq_jpc:
    PL0_FOUR_COMPARE_JUMP(k_geq)
  lod0_lit_add_sto0:
    PL0_FOUR_STORE(k_add, 0)
  lod0_lit_min_sto0:
    PL0_FOUR_STORE(k_min, 0)
  lod0_lit_add_sto1:
    PL0_FOUR_STORE(k_add, 1)
  lod0_lit_min_sto1:
    PL0_FOUR_STORE(k_min, 1)

  lod1_sto0 : {
    PL0_CHECK(bp, ip);
    const std::int32_t from = wrap_sub(cells[bp], ip->operand);
    PL0_CHECK(from, ip);
    const std::int32_t s1 = wrap_sub(sp, 1);
    PL0_CHECK(s1, ip);
    bx = cells[from];
    cells[s1] = bx;
    ax = wrap_sub(bp, ip->second);
    PL0_CHECK(ax, ip + 1);
    cells[ax] = bx;
    ip += 2;
    PL0_NEXT(2);
  }
  lod0_sto1 : {
    const std::int32_t from = wrap_sub(bp, ip->operand);
    PL0_CHECK(from, ip);
    const std::int32_t s1 = wrap_sub(sp, 1);
    PL0_CHECK(s1, ip);
    bx = cells[from];
    cells[s1] = bx;
    PL0_CHECK(bp, ip + 1);
    ax = wrap_sub(cells[bp], ip->second);
    PL0_CHECK(ax, ip + 1);
    cells[ax] = bx;
    ip += 2;
    PL0_NEXT(2);
  }

  lod0_ldt0: {
    const std::int32_t index_cell = wrap_sub(bp, ip->operand);
    PL0_CHECK(index_cell, ip);
    const std::int32_t s1 = wrap_sub(sp, 1);
    PL0_CHECK(s1, ip);
    bx = cells[index_cell];
    cells[s1] = bx;
    ax = wrap_sub(wrap_sub(bp, ip->second), bx);
    PL0_CHECK(ax, ip + 1);
    ax = cells[ax];
    cells[s1] = ax;
    sp = s1;
    ip += 2;
    PL0_NEXT(2);
  }
  } catch (const OutputFailed&) {
    save(at(ip));
    return {RunResult::write_failed, ""};
  }

finished:
  save(target);
  if constexpr (Observer::active) observer(m, executed);
  return {RunResult::finished, ""};
cell_fault:
  save(fault_pc);
  return {RunResult::fault, "stack cell " + std::to_string(fault_cell) + " out of range at PC " +
                                std::to_string(fault_pc)};
fetch_fault:
  save(fetch_pc);
  return {RunResult::fault, "no instruction at PC " + std::to_string(fetch_pc)};
stopped:  // reached only with an active observer
  __attribute__((unused));
  return {RunResult::stopped, ""};
}

#undef PL0_NEXT
#undef PL0_CHECK
#undef PL0_JUMP
#undef PL0_BINARY
#undef PL0_WITH_OPERAND
#undef PL0_COMPARE_JUMP
#undef PL0_TRIPLE
#undef PL0_RIGHT_CELL
#undef PL0_CHECK_RIGHT_CELL
#undef PL0_LIT_TRIPLE
#undef PL0_LOD_TRIPLE
#undef PL0_VALUE_COMPARE_JUMP
#undef PL0_LEFT_CELL
#undef PL0_LOD_COMPARE_JUMP
#undef PL0_LIT_COMPARE_JUMP
#undef PL0_VARIABLE_WITH_LITERAL
#undef PL0_FOUR_COMPARE_JUMP
#undef PL0_FOUR_STORE

}  // namespace pl0::interpreter::detail

#endif  // defined(__GNUC__)
