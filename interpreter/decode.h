// The loaded program decoded once into the form the fast run loop executes: each instruction
// becomes a kind specialised by its Level (0, 1, any) and, where the instructions after it
// complete a common group, a fused kind that does the work of the whole group in one dispatch.
// Every position keeps its own decoding, so a jump into the middle of a group runs the plain
// instruction there.
#pragma once

#include <cstdint>
#include <vector>

#include "code_file.h"
#include "vocabulary.h"

namespace pl0::interpreter {

// The operations on the top two cells (PL0_BINARY in vocabulary.h) as a family of kinds:
// `before` and `after` name the instructions fused around the operation, `length` is the
// group's number of instructions.
#define PL0_FAMILY_MEMBER(opcode, X, before, after, length) X(before##opcode##after, length)
#define PL0_OPERATIONS(X, before, after, length) \
  PL0_BINARY(PL0_FAMILY_MEMBER, X, before, after, length)
#define PL0_RELATIONS(X, before, after, length) \
  PL0_COMPARISONS(PL0_FAMILY_MEMBER, X, before, after, length)

// ORDER. Every kind, named by the instructions it runs (LOD0 is LOD at Level 0, LOD1 at Level
// 1, LOD any other), with the number of instructions it runs. This list makes the enum, the
// names, the lengths and the fast loop's table of handlers; a kind without a handler does not
// compile. A new kind can go anywhere in the list; the decoder picks it in decode.cpp.
// clang-format off
#define PL0_KINDS(X)                                                                      \
  X(LIT, 1) X(LOD0, 1) X(LOD1, 1) X(LOD, 1) X(STO0, 1) X(STO1, 1) X(STO, 1) X(CAL, 1)     \
  X(INT, 1) X(JMP, 1) X(JPC, 1) X(RTN, 1) X(WRITE, 1) X(READ, 1) X(PUTC, 1) X(GETC, 1)    \
  X(LDT0, 1) X(LDT, 1) X(STT0, 1) X(STT, 1) X(NEG, 1) X(ODD, 1)                           \
  PL0_OPERATIONS(X, , , 1)                                                                \
  X(NOP, 1)  /* an unknown OpCode: only advances PC */                                    \
  X(END, 1)  /* past the last instruction: a fault when fetched */                        \
  /* an operation taking its right operand from a LIT or a LOD at Level 0 */              \
  PL0_OPERATIONS(X, LIT_, , 2) PL0_OPERATIONS(X, LOD0_, , 2)                              \
  /* a comparison and the JPC that branches on it */                                      \
  PL0_RELATIONS(X, , _JPC, 2)                                                             \
  /* copies: two loads, a constant stored, a variable copied between frames, a[j] */      \
  X(LOD0_LOD0, 2) X(LIT_STO0, 2) X(LOD1_STO0, 2) X(LOD0_STO1, 2) X(LOD0_LDT0, 2)          \
  /* a variable and a literal, or two variables, and the operation on them */             \
  PL0_OPERATIONS(X, LOD0_LIT_, , 3) PL0_OPERATIONS(X, LOD0_LOD0_, , 3)                    \
  /* a variable or a literal compared with the top, and the JPC */                        \
  PL0_RELATIONS(X, LOD0_, _JPC, 3) PL0_RELATIONS(X, LIT_, _JPC, 3)                        \
  /* while i < 80 do; i := i + 1 and n := k - 1 at Level 0 and 1 */                       \
  PL0_RELATIONS(X, LOD0_LIT_, _JPC, 4)                                                    \
  X(LOD0_LIT_ADD_STO0, 4) X(LOD0_LIT_MIN_STO0, 4) X(LOD0_LIT_ADD_STO1, 4)                 \
  X(LOD0_LIT_MIN_STO1, 4)
// clang-format on

#define PL0_KIND_ENUM(name, length) name,
enum class Kind : std::int32_t { PL0_KINDS(PL0_KIND_ENUM) };
#undef PL0_KIND_ENUM

#define PL0_KIND_NAME(name, length) #name,
inline constexpr const char* kind_names[] = {PL0_KINDS(PL0_KIND_NAME)};
#undef PL0_KIND_NAME

#define PL0_KIND_LENGTH(name, length) length,
inline constexpr int kind_lengths[] = {PL0_KINDS(PL0_KIND_LENGTH)};
#undef PL0_KIND_LENGTH

inline constexpr int kind_count = sizeof kind_lengths / sizeof *kind_lengths;

struct Decoded {
  Kind kind;
  std::int32_t level;    // the Level of the group's first instruction
  std::int32_t operand;  // the Operand of the group's first instruction
  std::int32_t second;   // the Operand of its second instruction (0 for a group of one)
  std::int32_t last;     // the Operand of its last instruction: a JPC's target, a STO's address
};

// One entry per instruction and a final END entry.
std::vector<Decoded> decode(const std::vector<Instruction>& program);

}  // namespace pl0::interpreter
