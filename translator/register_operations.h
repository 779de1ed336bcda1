// The p-code machine in its lower layer: the register operations, each named by the line the
// Translator writes for it, and every opcode as its sequence of them. This table is the one
// place where the two layers meet; the Interpreter computes each sequence's net effect, and
// the cross-check test runs the Translator's lines against it.
#pragma once

#include <array>
#include <cstddef>

#include "vocabulary.h"

namespace pl0::translator {

// ORDER. Each register operation with the exact line the Translator writes for it; the lines
// with a "%d" print the current instruction's Operand. A new operation can go anywhere here.
// clang-format off
#define PL0_REGISTER_OPERATIONS(X)                                           \
  X(push_Ax, "\tpush_Ax\n")              X(pop_Ax, "\tpop_Ax\n")             \
  X(pop_Bx, "\tpop Bx\n")                X(sub_Ax_Bx, "\tsub_Ax,Bx\n")       \
  X(add_Ax_Bx, "\tadd_Ax,Bx\n")          X(imul_Ax_Bx, "\timul_Ax,Bx\n")     \
  X(idiv_Ax_Bx, "\tidiv_Ax,Bx\n")        X(mod_Ax_Bx, "\tmod_Ax,Bx\n")       \
  X(odd_Ax, "\todd_Ax\n")                X(eq_Ax_Bx, "\teq_Ax,Bx\n")         \
  X(lt_Ax_Bx, "\tlt_Ax,Bx\n")            X(le_Ax_Bx, "\tle_Ax,Bx\n")         \
  X(ne_Ax_Bx, "\tne_Ax,Bx\n")            X(gt_Ax_Bx, "\tgt_Ax,Bx\n")         \
  X(ge_Ax_Bx, "\tge_Ax,Bx\n")            X(mov_Ax_Bx, "\tmov_Ax,Bx\n")       \
  X(mov_Tx_Ax, "\tmov_Tx,Ax\n")          X(mov_Bx_Tx, "\tmov_Bx,Tx\n")       \
  X(mov_Bx_Imm, "\tmov_Bx,Imm\t%d\n")    X(jmp, "\tjmp\t%d\n")               \
  X(jz, "\tjz\t%d\n")                    X(mov_PC_Ax, "\tmov_PC,Ax\n")       \
  X(mov_Ax_PC, "\tmov_Ax,PC\n")          X(mov_Ax_SP, "\tmov_Ax,SP\n")       \
  X(mov_SP_Ax, "\tmov_SP,Ax\n")          X(mov_Ax_BP, "\tmov_Ax,BP\n")       \
  X(mov_BP_Ax, "\tmov_BP,Ax\n")          X(dec_Ax, "\tdec_Ax\n")             \
  X(inc_Ax, "\tinc_Ax\n")                X(mov_Ax_at_Ax, "\tmov_Ax,[Ax]\n")  \
  X(mov_at_Ax_Bx, "\tmov_[Ax],Bx\n")     X(write_Ax, "\twrite_Ax\n")         \
  X(putc_Ax, "\tputc_Ax\n")              X(read_Ax, "\tread_Ax\n")           \
  X(getc_Ax, "\tgetc_Ax\n")

// clang-format on

#define PL0_REGOP_ENUM(name, line) name,
#define PL0_REGOP_LINE(name, line) line,
enum RegOp : int {
  PL0_REGISTER_OPERATIONS(PL0_REGOP_ENUM)
  // Not an operation: "mov_Ax,BP" and then Level times "mov_Ax,[Ax]", leaving base(Level) in Ax.
  base_walk
};
inline constexpr const char* register_lines[] = {PL0_REGISTER_OPERATIONS(PL0_REGOP_LINE)};
#undef PL0_REGOP_ENUM
#undef PL0_REGOP_LINE
#undef PL0_REGISTER_OPERATIONS

inline constexpr int register_operation_count = base_walk;

// Whether an operation's line prints the Operand: read from the line itself.
constexpr bool prints_operand(RegOp op) {
  for (const char* c = register_lines[op]; *c != '\0'; ++c) {
    if (c[0] == '%' && c[1] == 'd') return true;
  }
  return false;
}

struct Sequence {
  int length;
  std::array<RegOp, 16> ops;
};

template <typename... Ops>
constexpr Sequence sequence(Ops... ops) {
  return Sequence{static_cast<int>(sizeof...(ops)), {ops...}};
}

// Every opcode as its register operations. A switch, so that an opcode added to the vocabulary
// without its sequence is a compile error (-Wswitch).
constexpr Sequence opcode_sequence(OpCode opcode) {
  switch (opcode) {
    case LIT: return sequence(mov_Bx_Imm, mov_Ax_Bx, push_Ax);
    case LOD: return sequence(base_walk, mov_Bx_Imm, sub_Ax_Bx, mov_Ax_at_Ax, push_Ax);
    case STO: return sequence(base_walk, mov_Bx_Imm, sub_Ax_Bx, pop_Bx, mov_at_Ax_Bx);
    case CAL:
      return sequence(base_walk, push_Ax, mov_Ax_BP, push_Ax, mov_Ax_PC, push_Ax, mov_Ax_SP,
                      inc_Ax, inc_Ax, mov_BP_Ax, inc_Ax, mov_SP_Ax, jmp);
    case INT: return sequence(mov_Bx_Imm, mov_Ax_SP, sub_Ax_Bx, mov_SP_Ax);
    case JMP: return sequence(jmp);
    case JPC: return sequence(pop_Ax, jz);
    case RTN:
      return sequence(mov_Ax_BP, dec_Ax, dec_Ax, mov_SP_Ax, pop_Ax, mov_PC_Ax, pop_Ax, mov_BP_Ax,
                      pop_Ax);
    case WRITE: return sequence(pop_Ax, write_Ax);
    case READ: return sequence(read_Ax, push_Ax);
    case PUTC: return sequence(pop_Ax, putc_Ax);
    case GETC: return sequence(getc_Ax, push_Ax);
    case LDT:
      return sequence(base_walk, mov_Bx_Imm, sub_Ax_Bx, pop_Bx, sub_Ax_Bx, mov_Ax_at_Ax, push_Ax);
    case STT:
      return sequence(pop_Ax, mov_Tx_Ax, base_walk, mov_Bx_Imm, sub_Ax_Bx, pop_Bx, sub_Ax_Bx,
                      mov_Bx_Tx, mov_at_Ax_Bx);
    case NEG: return sequence(mov_Ax_Bx, sub_Ax_Bx, pop_Bx, sub_Ax_Bx, push_Ax);
    case ADD: return sequence(pop_Bx, pop_Ax, add_Ax_Bx, push_Ax);
    case MIN: return sequence(pop_Bx, pop_Ax, sub_Ax_Bx, push_Ax);
    case MUL: return sequence(pop_Bx, pop_Ax, imul_Ax_Bx, push_Ax);
    case DIV: return sequence(pop_Bx, pop_Ax, idiv_Ax_Bx, push_Ax);
    case ODD: return sequence(pop_Ax, odd_Ax, push_Ax);
    case EQU: return sequence(pop_Bx, pop_Ax, eq_Ax_Bx, push_Ax);
    case NEQ: return sequence(pop_Bx, pop_Ax, ne_Ax_Bx, push_Ax);
    case LES: return sequence(pop_Bx, pop_Ax, lt_Ax_Bx, push_Ax);
    case LEQ: return sequence(pop_Bx, pop_Ax, le_Ax_Bx, push_Ax);
    case GTR: return sequence(pop_Bx, pop_Ax, gt_Ax_Bx, push_Ax);
    case GEQ: return sequence(pop_Bx, pop_Ax, ge_Ax_Bx, push_Ax);
    case MOD: return sequence(pop_Bx, pop_Ax, mod_Ax_Bx, push_Ax);
  }
  return sequence();  // not an opcode: no operations
}

}  // namespace pl0::translator
