// The instructions' work as small steps on the registers (`lit`, `load`, `binary`, ...), each
// leaving them exactly as the instruction's register operations do. instructions.h writes each
// instruction as its steps, the run loop each group as its instructions' steps in order, and
// the compiler, inlining them, fuses a group's work.
#pragma once

#include "decode.h"
#include "machine_detail.h"
#include "vocabulary.h"

#if defined(__GNUC__)
#define PL0_EXPECT_TRUE(condition) __builtin_expect(static_cast<long>(condition), 1)
#else
#define PL0_EXPECT_TRUE(condition) (condition)
#endif

namespace pl0::interpreter::detail {

inline bool outside(std::int32_t index) {
  return static_cast<std::uint32_t>(index) > static_cast<std::uint32_t>(top_cell);
}

// A base walk longer than the stack, kept out of line: the registers must not have their address
// taken, or the compiler keeps them in memory.
struct LongWalk {
  bool ok;
  std::int32_t base;
  std::int32_t bad_cell;
};
[[gnu::noinline]] inline LongWalk long_walk(const std::int32_t* cells, std::int32_t from,
                                            std::int32_t level) {
  auto cell = [cells](std::int32_t index) {
    if (outside(index)) throw CellFault{index};
    return cells[index];
  };
  try {
    return {true, long_base_walk(from, level, cell), 0};
  } catch (const CellFault& fault) {
    return {false, from, fault.index};
  }
}

// The registers while the fast loop runs, and the instructions' work as steps. A step returns
// false when it would touch a cell outside the stack, with that cell in `bad_cell` and in
// `bad_step` the place of its instruction in the handler's group (0 for the first).
struct Registers {
  std::int32_t* cells;
  std::int32_t sp, bp, ax, bx, tx;
  std::int32_t bad_cell = 0;
  std::int32_t bad_step = 0;
  std::int32_t target = 0;  // where a jump goes

  [[gnu::always_inline]] bool fits(std::int32_t index, int step) {
    if (PL0_EXPECT_TRUE(!outside(index))) return true;
    bad_cell = index;
    bad_step = step;
    return false;
  }
  [[gnu::always_inline]] bool push(std::int32_t value, int step) {
    sp = wrap_sub(sp, 1);
    if (!fits(sp, step)) return false;
    cells[sp] = value;
    return true;
  }
  [[gnu::always_inline]] bool pop(std::int32_t& into, int step) {
    if (!fits(sp, step)) return false;
    into = cells[sp];
    ++sp;  // cannot overflow: the cell check passed
    return true;
  }

  // The frame `level` static links out, into Ax.
  [[gnu::always_inline]] bool base(std::int32_t level, int step) {
    ax = bp;
    if (level > stack_cells) {
      const LongWalk walk = long_walk(cells, ax, level);
      ax = walk.base;
      return walk.ok || fits(walk.bad_cell, step);
    }
    for (std::int32_t k = 0; k < level; ++k) {
      if (!fits(ax, step)) return false;
      ax = cells[ax];
    }
    return true;
  }
  // The frame one static link out (Level 1), into Ax.
  [[gnu::always_inline]] bool static_link(int step) { return base(1, step); }

  // LIT
  [[gnu::always_inline]] bool lit(std::int32_t value, int step) {
    bx = value;
    ax = value;
    return push(ax, step);
  }
  // LOD from the frame at `frame`
  [[gnu::always_inline]] bool load(std::int32_t frame, std::int32_t offset, int step) {
    bx = offset;
    ax = wrap_sub(frame, bx);
    if (!fits(ax, step)) return false;
    ax = cells[ax];
    return push(ax, step);
  }
  // STO into the frame at `frame`
  [[gnu::always_inline]] bool store(std::int32_t frame, std::int32_t offset, int step) {
    bx = offset;
    ax = wrap_sub(frame, bx);
    if (!pop(bx, step) || !fits(ax, step)) return false;
    cells[ax] = bx;
    return true;
  }
  // LDT from the frame at `frame`
  [[gnu::always_inline]] bool load_element(std::int32_t frame, std::int32_t offset, int step) {
    bx = offset;
    ax = wrap_sub(frame, bx);
    if (!pop(bx, step)) return false;
    ax = wrap_sub(ax, bx);
    if (!fits(ax, step)) return false;
    ax = cells[ax];
    return push(ax, step);
  }
  // STT into the frame at `frame`, the value already popped into Tx
  [[gnu::always_inline]] bool store_element(std::int32_t frame, std::int32_t offset, int step) {
    bx = offset;
    ax = wrap_sub(frame, bx);
    if (!pop(bx, step)) return false;
    ax = wrap_sub(ax, bx);
    bx = tx;
    if (!fits(ax, step)) return false;
    cells[ax] = bx;
    return true;
  }
  // ADD .. GEQ, MOD
  [[gnu::always_inline]] bool binary(OpCode op, int step) {
    std::int32_t left = 0;
    if (!pop(bx, step) || !pop(left, step)) return false;
    ax = operate(op, left, bx);
    return push(ax, step);
  }
  [[gnu::always_inline]] bool negate(int step) {
    if (!pop(bx, step)) return false;
    ax = wrap_neg(bx);
    return push(ax, step);
  }
  [[gnu::always_inline]] bool odd(int step) {
    if (!pop(ax, step)) return false;
    ax &= 1;
    return push(ax, step);
  }
  // INT
  [[gnu::always_inline]] bool reserve(std::int32_t cells_wanted) {
    bx = cells_wanted;
    ax = wrap_sub(sp, bx);
    sp = ax;
    return true;
  }
  // WRITE and PUTC of the popped Ax; READ and GETC into Ax. A copy of Ax is read into: see
  // LongWalk.
  [[gnu::always_inline]] bool write_number(const MachineIO& io) const {
    detail::write_number(io, ax);
    return true;
  }
  [[gnu::always_inline]] bool write_character(const MachineIO& io) const {
    detail::write_character(io, ax);
    return true;
  }
  [[gnu::always_inline]] bool read_number(const MachineIO& io) {
    std::int32_t value = ax;
    detail::read_number(io, value);
    ax = value;
    return true;
  }
  [[gnu::always_inline]] bool read_character(const MachineIO& io, MachineState& m) {
    detail::read_character(io, m);
    ax = m.ax;
    return true;
  }
  // CAL: the three link cells of the new frame, with the frame base `level` links out.
  [[gnu::always_inline]] bool call(std::int32_t level, std::int32_t return_address, int step) {
    if (!base(level, step)) return false;
    const std::int32_t s = sp;
    if (!push(ax, step) || !push(bp, step) || !push(return_address, step)) return false;
    ax = s;
    bp = s - 1;  // cannot overflow: the cell check of the first push passed
    sp = s;
    return true;
  }
  // RTN: the frame's link cells back into the registers; the return address into `to`.
  [[gnu::always_inline]] bool return_from(std::int32_t& to, int step) {
    sp = wrap_sub(bp, 2);
    return pop(to, step) && pop(bp, step) && pop(ax, step);
  }
};

// What a group's entry does not keep for one of its places: its Level after the first, the
// Operand of the third of four. A step that names it does not compile.
struct NotKept {};

// The work of the instruction of `kind` at place `s` of its group, as instructions.h writes it.
template <Kind kind, int s, typename Level, typename Operand>
[[gnu::always_inline]] inline bool step([[maybe_unused]] Registers& r, [[maybe_unused]] Level level,
                                        [[maybe_unused]] Operand operand,
                                        [[maybe_unused]] std::int32_t here,
                                        [[maybe_unused]] const MachineIO& io,
                                        [[maybe_unused]] MachineState& m) {
#define PL0_WORK(name, opcode, levels, ending, work) \
  if constexpr (kind == Kind::name) {                \
    return work;                                     \
  } else
  // Two rows may do the same work (NOP and END differ only in where control goes).
  PL0_INSTRUCTIONS(PL0_WORK) {  // NOLINT(bugprone-branch-clone)
    static_assert(kind != kind, "a kind with no row");
    return false;
  }
#undef PL0_WORK
}

}  // namespace pl0::interpreter::detail
