// Pieces shared by the machine's two run loops: the faults they leave by, the division rules,
// the long base walk and the input and output operations.
#pragma once

#include <string>

#include "machine.h"
#include "vocabulary.h"
#include "wrapping.h"

namespace pl0::interpreter {

namespace detail {

struct CellFault {
  std::int32_t index;
};

struct OutputFailed {};

inline std::int32_t divide(std::int32_t a, std::int32_t b) {
  if (b == 0) return division_by_zero;
  if (b == -1) return wrap_neg(a);  // INT32_MIN / -1 wraps to INT32_MIN
  return a / b;                     // C++ truncates toward zero, as the machine does
}

inline std::int32_t remainder(std::int32_t a, std::int32_t b) {
  if (b == 0) return division_by_zero;
  if (b == -1) return 0;
  return a % b;  // takes the sign of a
}

// The binary operations (PL0_BINARY) on a left and a right operand; the fast loop inlines it
// with a constant opcode, so that it folds to the one operation. Every opcode has its case, so
// a new opcode does not compile until it is placed here (-Wswitch).
[[gnu::always_inline]] inline std::int32_t operate(OpCode op, std::int32_t l, std::int32_t r) {
  switch (op) {
    case ADD: return wrap_add(l, r);
    case MIN: return wrap_sub(l, r);
    case MUL: return wrap_mul(l, r);
    case DIV: return divide(l, r);
    case MOD: return remainder(l, r);
    case EQU: return l == r;
    case NEQ: return l != r;
    case LES: return l < r;
    case LEQ: return l <= r;
    case GTR: return l > r;
    case GEQ: return l >= r;
    case LIT:
    case LOD:
    case STO:
    case CAL:
    case INT:
    case JMP:
    case JPC:
    case RTN:
    case WRITE:
    case READ:
    case PUTC:
    case GETC:
    case LDT:
    case STT:
    case NEG:
    case ODD: break;  // not binary operations
  }
  return 0;
}

// A walk of more steps than there are cells: after stack_cells steps it has entered a cycle of
// cells (or faulted on the way), so the remaining steps go round that cycle, and only their
// count modulo the cycle's length matters. Same result as every step, in at most 303 reads.
template <typename Cell>
std::int32_t long_base_walk(std::int32_t ax, std::int32_t level, Cell& cell) {
  for (int step = 0; step < stack_cells; ++step) ax = cell(ax);
  std::int32_t length = 0;
  std::int32_t x = ax;
  do {
    x = cell(x);
    ++length;
  } while (x != ax);
  for (std::int32_t left = (level - stack_cells) % length; left > 0; --left) ax = cell(ax);
  return ax;
}

// The static links followed `level` times from `bp` (none for a Level of 0 or less).
template <typename Cell>
std::int32_t base_walk(std::int32_t bp, std::int32_t level, Cell& cell) {
  if (level > stack_cells) return long_base_walk(bp, level, cell);
  for (std::int32_t step = 0; step < level; ++step) bp = cell(bp);
  return bp;
}

// What a run reports when it stops at a fault.
inline std::string cell_fault_message(std::int32_t index, std::int32_t at) {
  return "stack cell " + std::to_string(index) + " out of range at PC " + std::to_string(at);
}
inline std::string no_instruction_message(std::int32_t at) {
  return "no instruction at PC " + std::to_string(at);
}

// Inline, so that a native program's runtime, which calls them for each WRITE and PUTC, pays
// no call beyond its own.
inline void write_number(const MachineIO& io, std::int32_t value) {
  if (io.run->on()) {
    io.run->put_int(value);
    io.run->put(' ');
  }
  io.out->put_int(value);
  io.out->put(' ');
  if (io.out->failed() || io.run->failed()) throw OutputFailed{};
}

inline void write_character(const MachineIO& io, std::int32_t value) {
  const auto c = static_cast<char>(value & 0xff);
  if (io.run->on()) io.run->put(c);
  io.out->put(c);
  if (io.out->failed() || io.run->failed()) throw OutputFailed{};
}

void read_number(const MachineIO& io, std::int32_t& ax);
void read_character(const MachineIO& io, MachineState& state);

}  // namespace detail

}  // namespace pl0::interpreter
