// The values on top of the stack while a block is written, in the spirit of Wirth's items: each
// is a constant, a register's copy or only its cell. A push's store waits (and is dropped when
// the next push to its cell comes first); the cells in memory are otherwise always exactly the
// machine's. Offsets count cells from SP at the block's start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "emitter.h"
#include "range.h"

namespace pl0::native {

// The registers that hold stack values; %eax and %edx are kept for addresses and division.
inline constexpr const char* pool[] = {"%ecx", "%esi", "%edi", "%r8d", "%r9d", "%r10d", "%r11d"};
inline constexpr const char* pool64[] = {"%rcx", "%rsi", "%rdi", "%r8", "%r9", "%r10", "%r11"};  // to address with
inline constexpr int pool_size = sizeof pool / sizeof *pool;
// The pool's %edi, where the runtime's services take their argument.
inline constexpr int argument_register = 2;

// `resident`: the register a loop keeps a variable in (loops.h), read but never written by
// the value's users (to_register copies it).
struct Value {
  enum Kind { constant, held, stored, resident } kind;
  std::int32_t number;  // the constant
  int reg;              // an index into the register pool
  int offset;           // its cell
  // The variable (its offset from BP) it is a copy of, while the variable keeps that value.
  std::optional<std::int64_t> from = std::nullopt;
};

// Variables' copies in registers that no value holds (ValueStack::remember): each variable's
// cell, as ValueStack names it, and the register.
using Copies = std::vector<std::pair<std::int64_t, int>>;

// One operand of a division: the variable (its offset from BP) it was a copy of, or a constant.
struct Operand {
  enum Kind { unknown, variable, constant } kind = unknown;
  std::int64_t value = 0;
  bool same_as(const Operand& other) const {
    return kind != unknown && kind == other.kind && value == other.value;
  }
};

// A division whose quotient %eax and remainder %edx still hold, of the operands it names: a
// DIV and a MOD of the same operands (n / d and n mod d) divide once.
struct KeptDivision {
  Operand dividend, divisor;
};

class ValueStack {
 public:
  // `depth`: SP - BP at the block's start, where the flow analysis knows it; `popped_unread`:
  // whether no instruction can read a popped cell before it is written again (frames.h).
  ValueStack(Emitter& out, std::optional<std::int64_t> depth, bool popped_unread)
      : out_(out), depth_(depth), popped_unread_(popped_unread) {}

  Value pop();
  void push(const Value& v);
  // The address of the cell at `offset`, and a value as an operand.
  std::string cell(int offset) const;
  std::string text(const Value& v) const;

  // Stores that wait: made for one cell, for every cell, before register `r` is reused,
  // before a Level-0 access to BP + `offset`; or dropped, where the cell is written anyway,
  // and (for every cell and for a register) where the value was popped and nothing reads it.
  void flush(int offset);
  void flush_all();
  void flush_register(int r);
  void touch_frame(std::int64_t offset);
  // Before a STO changes the loop's register `r`: values that are its copies go to their cells.
  void before_writing_resident(int r);
  // A loop's register `r` found by a check to lie within [low, high] after `shift` is added
  // (an element's index among the main program's variables): another check is needless until a
  // STO changes the register.
  bool known_within(int r, std::int64_t shift, std::int64_t low, std::int64_t high) const;
  void note_within(int r, std::int64_t shift, std::int64_t low, std::int64_t high);
  void drop_store(int offset);

  // Copies of variables left in registers by their stores (frames.h's proven frames only): a
  // LOD of the variable next takes the register rather than the cell, until the register is
  // changed, taken for something else, or a call may change it. `variable` names a frame cell from BP,
  // or a fixed cell (fixed_copy + its index).
  static constexpr std::int64_t fixed_copy = std::int64_t{1} << 40;
  void remember(std::int64_t variable, int r);
  void forget_copy(std::int64_t variable);
  std::optional<int> recall(std::int64_t variable);
  // Before a value's register is changed in place: it copies no variable after.
  void changing(int r);
  // Those the block before left, where only it leads in; and those to leave to the next.
  void adopt(const Copies& copies) { copies_ = copies; }
  const Copies& copies() const { return copies_; }

  // Registers a loop keeps its variables in, which no value may take.
  void reserve(unsigned registers) { reserved_ = registers; }
  int allocate(int preferred = -1);
  int to_register(const Value& v);
  Value in_memory(const Value& v);
  // Before a call, which changes the registers, or a store that may change any cell.
  void forget_registers();
  // After a Level-0 store to BP + `offset`: only a copy of that cell is stale.
  void forget_frame_cell(std::int64_t offset);
  // After a store to the variable at BP + `offset`, or to any cell: no value is its copy now.
  void forget_source(std::int64_t offset);
  void forget_sources();
  // After a store to one of the variables named from `low` to `high` (as copies name them).
  void forget_variables(std::int64_t low, std::int64_t high);
  void instruction_done() { taken_ = 0; }

  // SP now, as an offset; `move(count)` lowers it by `count` cells (INT), `settle` makes it the
  // new origin and returns how far it had moved.
  int top() const { return top_; }
  void move(int count);
  int settle();
  void note(int offset) { cells_.add(offset); }
  const Range& cells() const { return cells_; }
  // Whether some push was stored into the static link's cell (always assumed where SP - BP is
  // not known).
  bool link_cell_stored() const { return link_cell_stored_; }
  // Whether the cell at `offset`, above SP now, is one nothing reads before it is written.
  bool unread(int offset) const { return popped_unread_ && offset < top_; }

 private:
  void store(const Value& v);
  void flush_from(Value::Kind kind, int r);
  int take(int preferred);

  Emitter& out_;
  std::optional<std::int64_t> depth_;
  std::vector<std::pair<int, Value>> held_;     // what registers hold of the cells, by offset
  std::vector<std::pair<int, Value>> waiting_;  // pushes not yet stored, by offset
  Copies copies_;
  struct Within {
    int reg;
    std::int64_t shift, low, high;
  };
  std::vector<Within> within_;
  unsigned taken_ = 0;                          // registers taken by the current instruction
  unsigned reserved_ = 0;
  int top_ = 0;
  Range cells_;
  bool link_cell_stored_ = false;
  bool popped_unread_;
};

}  // namespace pl0::native
