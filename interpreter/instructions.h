// The machine's instructions, one row each, and the groups the fast loop fuses: the only place
// an instruction's work is written. Both run loops, the decoder and every fused group are
// expanded from these two lists, so a new instruction is one step in machine_steps.h and one
// row here.
#pragma once

#include "vocabulary.h"

// A row: the kind's name; the opcode it runs and at which Levels (`any`, `zero`, `one`, or
// `never` for the kinds no instruction decodes to); how control leaves it (`next`, `jump` to
// its Operand, `branch` there when the popped Ax is 0, `back` to the address the work left in
// `r.target`, `past_end`); its work, an expression that is false when a step touched a cell
// outside the stack. In the work, `r` is the registers (machine_steps.h), `level` and
// `operand` the instruction's fields, `here` its address, `s` its place in its group, `io` the
// files, `m` the machine's state.
// ORDER: the rows of one opcode stand most specific first; the decoder takes the first that
// fits. Any other place in the list will do.
// clang-format off
#define PL0_INSTRUCTIONS(X)                                                                     \
  X(LIT,   LIT,   any,  next,   r.lit(operand, s))                                              \
  X(LOD0,  LOD,   zero, next,   r.load(r.bp, operand, s))                                       \
  X(LOD1,  LOD,   one,  next,   r.static_link(s) && r.load(r.ax, operand, s))                   \
  X(LOD,   LOD,   any,  next,   r.base(level, s) && r.load(r.ax, operand, s))                   \
  X(STO0,  STO,   zero, next,   r.store(r.bp, operand, s))                                      \
  /* in a group only: STO0 into the cell its first LOD0 read (decode) */                        \
  X(STO0_SAME, STO, never, next, r.store_same(r.bp, operand, s))                                \
  X(STO1,  STO,   one,  next,   r.static_link(s) && r.store(r.ax, operand, s))                  \
  X(STO,   STO,   any,  next,   r.base(level, s) && r.store(r.ax, operand, s))                  \
  X(CAL,   CAL,   any,  jump,   r.call(level, here + 1, s))                                     \
  X(INT,   INT,   any,  next,   r.reserve(operand))                                             \
  X(JMP,   JMP,   any,  jump,   true)                                                           \
  X(JPC,   JPC,   any,  branch, r.pop(r.ax, s))                                                 \
  X(RTN,   RTN,   any,  back,   r.return_from(r.target, s))                                     \
  X(WRITE, WRITE, any,  next,   r.pop(r.ax, s) && r.write_number(io))                           \
  X(READ,  READ,  any,  next,   r.read_number(io) && r.push(r.ax, s))                           \
  X(PUTC,  PUTC,  any,  next,   r.pop(r.ax, s) && r.write_character(io))                        \
  X(GETC,  GETC,  any,  next,   r.read_character(io, m) && r.push(r.ax, s))                     \
  X(LDT0,  LDT,   zero, next,   r.load_element(r.bp, operand, s))                               \
  X(LDT1,  LDT,   one,  next,   r.static_link(s) && r.load_element(r.ax, operand, s))           \
  X(LDT,   LDT,   any,  next,   r.base(level, s) && r.load_element(r.ax, operand, s))           \
  X(STT0,  STT,   zero, next,   r.pop(r.tx, s) && r.store_element(r.bp, operand, s))            \
  X(STT1,  STT,   one,  next,   r.pop(r.tx, s) && r.static_link(s) &&                           \
                                r.store_element(r.ax, operand, s))                              \
  X(STT,   STT,   any,  next,   r.pop(r.tx, s) && r.base(level, s) &&                           \
                                r.store_element(r.ax, operand, s))                              \
  X(NEG,   NEG,   any,  next,   r.negate(s))                                                    \
  X(ODD,   ODD,   any,  next,   r.odd(s))                                                       \
  PL0_BINARY(PL0_BINARY_INSTRUCTION, X)                                                         \
  /* a number that is no opcode: only advances PC */                                            \
  X(NOP,   -1,    never, next,  true)                                                           \
  /* past the last instruction: a fault when fetched */                                         \
  X(END,   -1,    never, past_end, true)                                                        \
  /* where an unwatched run's jump goes when it ends the run or leaves the program (decode) */  \
  X(EXIT,  -1,    never, back,  r.go_to(operand))
#define PL0_BINARY_INSTRUCTION(opcode, X) X(opcode, opcode, any, next, r.binary(opcode, s))

// The groups, each as its instructions' kinds (two to four); the kind's name joins theirs
// (LOD0_LIT_ADD). Only a group's last instruction may leave otherwise than `next`, and only its
// first may use `level`, and the third of four may not use `operand`: the decoded entry keeps
// no more (a group that breaks this does not compile). The decoder takes the longest group
// that fits where it stands, the first listed of those as long; STO0_SAME fits a STO0 into the
// cell of the group's first instruction, a LOD0 (x := x + 1), whose test then serves both.
#define PL0_GROUPS(G)                                                                           \
  /* an operation taking its right operand from a LIT or a LOD at Level 0 */                    \
  PL0_BINARY(PL0_AFTER, G, LIT) PL0_BINARY(PL0_AFTER, G, LOD0)                                  \
  /* a comparison and the JPC that branches on it */                                            \
  PL0_COMPARISONS(PL0_THEN_JPC, G)                                                              \
  /* copies: two loads, a constant stored, a variable copied between frames, a[j]; a variable   \
     and a literal that an operation does not follow at once (j < 79 - i) */                    \
  G(2, LOD0, LOD0) G(2, LIT, STO0) G(2, LOD1, STO0) G(2, LOD0, STO1) G(2, LOD0, LDT0)           \
  G(2, LOD0, LIT)                                                                               \
  /* copies with elements: t := a[j]; a[j] := a[j + 1], its element read and stored;            \
     a[j + 1] := t; the same with the array one frame out (a procedure's swap) */               \
  G(3, LOD0, LDT0, STO0) G(2, LDT0, STT0) G(2, LOD0, STT0)                                      \
  G(2, LOD0, LDT1) G(3, LOD0, LDT1, STO0) G(2, LDT1, STT1)                                      \
  /* a variable and a literal, or two variables, and the operation on them */                   \
  PL0_BINARY(PL0_AFTER_TWO, G, LOD0, LIT) PL0_BINARY(PL0_AFTER_TWO, G, LOD0, LOD0)              \
  /* a variable, a literal or an element compared with the top, and the JPC */                  \
  PL0_COMPARISONS(PL0_AFTER_THEN_JPC, G, LOD0) PL0_COMPARISONS(PL0_AFTER_THEN_JPC, G, LIT)      \
  PL0_COMPARISONS(PL0_AFTER_THEN_JPC, G, LDT0)                                                  \
  /* the right side of j < 79 - i, its comparison and the JPC */                                \
  PL0_COMPARISONS(PL0_AFTER_TWO_THEN_JPC, G, LOD0, MIN)                                         \
  /* while i < 80 do; i := i + 1 and n := k - 1 at Level 0 and 1 */                             \
  PL0_COMPARISONS(PL0_AFTER_TWO_THEN_JPC, G, LOD0, LIT)                                         \
  G(4, LOD0, LIT, ADD, STO0_SAME) G(4, LOD0, LIT, MIN, STO0_SAME)                               \
  G(4, LOD0, LIT, ADD, STO0) G(4, LOD0, LIT, MIN, STO0) G(4, LOD0, LIT, ADD, STO1)              \
  G(4, LOD0, LIT, MIN, STO1)                                                                    \
  /* t := t + s */                                                                              \
  G(4, LOD0, LOD0, ADD, STO0_SAME) G(4, LOD0, LOD0, MIN, STO0_SAME)                             \
  G(4, LOD0, LOD0, ADD, STO0) G(4, LOD0, LOD0, MIN, STO0)
#define PL0_AFTER(op, G, first) G(2, first, op)
#define PL0_THEN_JPC(op, G) G(2, op, JPC)
#define PL0_AFTER_TWO(op, G, first, second) G(3, first, second, op)
#define PL0_AFTER_THEN_JPC(op, G, first) G(3, first, op, JPC)
#define PL0_AFTER_TWO_THEN_JPC(op, G, first, second) G(4, first, second, op, JPC)

// The chains, each two groups of four run in one dispatch where an unwatched run goes from the
// first to the second, at once or past a JMP: a variable changed, then a variable compared
// with a literal and the branch (s := s + 7; if s > 1000, and i := i + 1 before its loop's
// test). Each group keeps its own entry, with the fields its steps read.
#define PL0_CHAINS(C)                                                                         \
  PL0_CHAIN_TESTS(C, LOD0, LIT, ADD, STO0_SAME) PL0_CHAIN_TESTS(C, LOD0, LIT, MIN, STO0_SAME)   \
  PL0_CHAIN_TESTS(C, LOD0, LOD0, ADD, STO0_SAME) PL0_CHAIN_TESTS(C, LOD0, LOD0, MIN, STO0_SAME)
#define PL0_CHAIN_TESTS(C, a, b, c, d) PL0_COMPARISONS(PL0_CHAIN_TEST, C, a, b, c, d)
#define PL0_CHAIN_TEST(op, C, a, b, c, d) C(a, b, c, d, LOD0, LIT, op, JPC)
// clang-format on

// A group's name, and its last kind, by its length.
#define PL0_GROUP_NAME_2(a, b) a##_##b
#define PL0_GROUP_NAME_3(a, b, c) a##_##b##_##c
#define PL0_GROUP_NAME_4(a, b, c, d) a##_##b##_##c##_##d
#define PL0_GROUP_NAME(length, ...) PL0_GROUP_NAME_##length(__VA_ARGS__)
#define PL0_CHAIN_NAME(a, b, c, d, e, f, g, h) a##_##b##_##c##_##d##_THEN_##e##_##f##_##g##_##h
