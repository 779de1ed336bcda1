// The instructions' work as small steps on the registers (`lit`, `load`, `binary`, ...), each
// leaving them exactly as the instruction's register operations do. instructions.h writes each
// instruction as its steps, the run loop each group as its instructions' steps in order, and
// the compiler, inlining them, fuses a group's work.
#pragma once

#include <algorithm>
#include <cassert>
#include <type_traits>
#include <utility>

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
// `stack_checked` false: the group's handler has checked beforehand that every cell its pushes
// and pops reach lies on the stack (group_fits below), so they skip their own checks; the
// other cells a step reaches (a frame's variables, its links) are checked as ever.
template <bool stack_checked>
struct Registers {
  std::int32_t* cells;
  std::int32_t sp, bp, ax, bx, tx;
  std::int32_t bad_cell = 0;
  std::int32_t bad_step = 0;
  std::int32_t target = 0;  // where a jump goes
  std::int32_t first_loaded = 0;  // the cell a group's first step, a LOD, read (STO0_SAME)

  [[gnu::always_inline]] bool fits(std::int32_t index, int step) {
    if (PL0_EXPECT_TRUE(!outside(index))) return true;
    bad_cell = index;
    bad_step = step;
    return false;
  }
  // Unchecked, the top of the stack is also a pointer, which the compiler follows better than
  // an index: a value pushed and popped again at once stays in a register.
  struct NoTop {};
  std::conditional_t<stack_checked, NoTop, std::int32_t*> top{};

  // The same registers with their pushes and pops checked, or not.
  template <bool other>
  explicit Registers(const Registers<other>& r)
      : cells(r.cells),
        sp(r.sp),
        bp(r.bp),
        ax(r.ax),
        bx(r.bx),
        tx(r.tx),
        bad_cell(r.bad_cell),
        bad_step(r.bad_step),
        target(r.target) {
    if constexpr (!stack_checked) top = cells + sp;  // at most one past the last cell
  }
  Registers(std::int32_t* cells_, std::int32_t sp_, std::int32_t bp_, std::int32_t ax_,
            std::int32_t bx_, std::int32_t tx_)
      : cells(cells_), sp(sp_), bp(bp_), ax(ax_), bx(bx_), tx(tx_) {}

  [[gnu::always_inline]] bool push(std::int32_t value, [[maybe_unused]] int step) {
    if constexpr (stack_checked) {
      sp = wrap_sub(sp, 1);
      if (!fits(sp, step)) return false;
      cells[sp] = value;
    } else {
      --sp;  // cannot overflow, nor leave the stack: checked before the group
      assert(!outside(sp));
      *--top = value;
    }
    return true;
  }
  [[gnu::always_inline]] bool pop(std::int32_t& into, [[maybe_unused]] int step) {
    if constexpr (stack_checked) {
      if (!fits(sp, step)) return false;
      into = cells[sp];
      ++sp;  // cannot overflow: the cell is on the stack
    } else {
      assert(!outside(sp));
      ++sp;
      into = *top++;
    }
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
    if (step == 0) first_loaded = ax;
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
  // STO0_SAME: STO into the cell the group's first step, a LOD, read and checked. Checked,
  // each step tests its own cells, and this is a STO.
  [[gnu::always_inline]] bool store_same(std::int32_t frame, std::int32_t offset, int step) {
    if constexpr (stack_checked) {
      return store(frame, offset, step);
    } else {
      assert(first_loaded == wrap_sub(frame, offset));
      bx = offset;
      ax = first_loaded;
      if (!pop(bx, step)) return false;
      cells[ax] = bx;
      return true;
    }
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
  // A jump's target into `target`, for the run loop to leave by.
  [[gnu::always_inline]] bool go_to(std::int32_t address) {
    target = address;
    return true;
  }
  // RTN: the frame's link cells back into the registers; the return address into `to`.
  [[gnu::always_inline]] bool return_from(std::int32_t& to, int step) {
    sp = wrap_sub(bp, 2);
    return pop(to, step) && pop(bp, step) && pop(ax, step);
  }
};

// How a kind that may stand in a group moves the stack: the cells it pops, then the cells it
// pushes (a Level 1 kind's static link is a frame's cell, checked as ever).
struct StackEffect {
  int pops;
  int pushes;
};
constexpr StackEffect stack_effect(Kind kind) {
  switch (kind) {
    case Kind::LIT:
    case Kind::LOD0:
    case Kind::LOD1: return {0, 1};
    case Kind::STO0:
    case Kind::STO0_SAME:
    case Kind::STO1:
    case Kind::JPC: return {1, 0};
    case Kind::LDT0:
    case Kind::LDT1: return {1, 1};
    case Kind::STT0:
    case Kind::STT1: return {2, 0};
#define PL0_KIND_LABEL(opcode, ...) case Kind::opcode:
      PL0_BINARY(PL0_KIND_LABEL, )
#undef PL0_KIND_LABEL
      return {2, 1};
    default: return {-1, -1};
  }
}

// Whether every cell the pushes and pops of a group of `kinds` reach, counted from SP at its
// start, lies on the stack: one test for the whole group in place of one a push or pop.
template <Kind... kinds>
[[gnu::always_inline]] inline bool group_fits(std::int32_t sp) {
  constexpr auto reach = [] {
    int depth = 0;
    int lowest = 0;
    int highest = -1;
    for (const Kind kind : {kinds...}) {
      const StackEffect effect = stack_effect(kind);
      if (effect.pops < 0) throw "a kind in a group with no stack effect";
      if (effect.pops > 0) highest = std::max(highest, depth + effect.pops - 1);
      depth += effect.pops - effect.pushes;
      lowest = std::min(lowest, depth);
    }
    // SP itself at most one past the last cell, so that a pointer can stand for it
    return std::pair{lowest, std::max(highest, -1)};
  }();
  return bits(wrap_add(sp, reach.first)) <=
         static_cast<std::uint32_t>(top_cell - (reach.second - reach.first));
}

// What a group's entry does not keep for one of its places: its Level after the first, the
// Operand of the third of four. A step that names it does not compile.
struct NotKept {};

// The work of the instruction of `kind` at place `s` of its group, as instructions.h writes it.
template <Kind kind, int s, typename Regs, typename Level, typename Operand>
[[gnu::always_inline]] inline bool step([[maybe_unused]] Regs& r, [[maybe_unused]] Level level,
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
