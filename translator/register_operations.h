// The p-code machine in its lower layer: the 35 register operations, each named by the line the
// Translator writes for it, and every opcode as its sequence of them. This table is the one
// place where the two layers meet; the Interpreter computes each sequence's net effect, and
// the cross-check test runs the Translator's lines against it.
#pragma once

#include <array>
#include <cstddef>

#include "vocabulary.h"

namespace pl0::translator {

enum RegOp : int {
  push_Ax,
  pop_Ax,
  pop_Bx,
  sub_Ax_Bx,
  add_Ax_Bx,
  imul_Ax_Bx,
  idiv_Ax_Bx,
  mod_Ax_Bx,
  odd_Ax,
  eq_Ax_Bx,
  lt_Ax_Bx,
  le_Ax_Bx,
  ne_Ax_Bx,
  gt_Ax_Bx,
  ge_Ax_Bx,
  mov_Ax_Bx,
  mov_Tx_Ax,
  mov_Bx_Tx,
  mov_Bx_Imm,
  jmp,
  jz,
  mov_PC_Ax,
  mov_Ax_PC,
  mov_Ax_SP,
  mov_SP_Ax,
  mov_Ax_BP,
  mov_BP_Ax,
  dec_Ax,
  inc_Ax,
  mov_Ax_at_Ax,
  mov_at_Ax_Bx,
  write_Ax,
  putc_Ax,
  read_Ax,
  getc_Ax,
  // Not an operation: "mov_Ax,BP" and then Level times "mov_Ax,[Ax]", leaving base(Level) in Ax.
  base_walk
};

inline constexpr int register_operation_count = 35;

// The exact lines; the three with a number print the current instruction's Operand.
inline constexpr const char* register_lines[] = {
    "\tpush_Ax\n",     "\tpop_Ax\n",     "\tpop Bx\n",    "\tsub_Ax,Bx\n",      "\tadd_Ax,Bx\n",
    "\timul_Ax,Bx\n",  "\tidiv_Ax,Bx\n", "\tmod_Ax,Bx\n", "\todd_Ax\n",         "\teq_Ax,Bx\n",
    "\tlt_Ax,Bx\n",    "\tle_Ax,Bx\n",   "\tne_Ax,Bx\n",  "\tgt_Ax,Bx\n",       "\tge_Ax,Bx\n",
    "\tmov_Ax,Bx\n",   "\tmov_Tx,Ax\n",  "\tmov_Bx,Tx\n", "\tmov_Bx,Imm\t%d\n", "\tjmp\t%d\n",
    "\tjz\t%d\n",      "\tmov_PC,Ax\n",  "\tmov_Ax,PC\n", "\tmov_Ax,SP\n",      "\tmov_SP,Ax\n",
    "\tmov_Ax,BP\n",   "\tmov_BP,Ax\n",  "\tdec_Ax\n",    "\tinc_Ax\n",         "\tmov_Ax,[Ax]\n",
    "\tmov_[Ax],Bx\n", "\twrite_Ax\n",   "\tputc_Ax\n",   "\tread_Ax\n",        "\tgetc_Ax\n",
};
static_assert(sizeof register_lines / sizeof *register_lines == register_operation_count);
static_assert(base_walk == register_operation_count);

inline constexpr bool prints_operand(RegOp op) {
  return op == mov_Bx_Imm || op == jmp || op == jz;
}

struct Sequence {
  int length;
  std::array<RegOp, 16> ops;
};

template <typename... Ops>
constexpr Sequence sequence(Ops... ops) {
  return Sequence{static_cast<int>(sizeof...(ops)), {ops...}};
}

// clang-format off
inline constexpr Sequence opcode_sequences[] = {
  /* LIT   */ sequence(mov_Bx_Imm, mov_Ax_Bx, push_Ax),
  /* LOD   */ sequence(base_walk, mov_Bx_Imm, sub_Ax_Bx, mov_Ax_at_Ax, push_Ax),
  /* STO   */ sequence(base_walk, mov_Bx_Imm, sub_Ax_Bx, pop_Bx, mov_at_Ax_Bx),
  /* CAL   */ sequence(base_walk, push_Ax, mov_Ax_BP, push_Ax, mov_Ax_PC, push_Ax, mov_Ax_SP,
                       inc_Ax, inc_Ax, mov_BP_Ax, inc_Ax, mov_SP_Ax, jmp),
  /* INT   */ sequence(mov_Bx_Imm, mov_Ax_SP, sub_Ax_Bx, mov_SP_Ax),
  /* JMP   */ sequence(jmp),
  /* JPC   */ sequence(pop_Ax, jz),
  /* RTN   */ sequence(mov_Ax_BP, dec_Ax, dec_Ax, mov_SP_Ax, pop_Ax, mov_PC_Ax, pop_Ax, mov_BP_Ax,
                       pop_Ax),
  /* WRITE */ sequence(pop_Ax, write_Ax),
  /* READ  */ sequence(read_Ax, push_Ax),
  /* PUTC  */ sequence(pop_Ax, putc_Ax),
  /* GETC  */ sequence(getc_Ax, push_Ax),
  /* LDT   */ sequence(base_walk, mov_Bx_Imm, sub_Ax_Bx, pop_Bx, sub_Ax_Bx, mov_Ax_at_Ax, push_Ax),
  /* STT   */ sequence(pop_Ax, mov_Tx_Ax, base_walk, mov_Bx_Imm, sub_Ax_Bx, pop_Bx, sub_Ax_Bx,
                       mov_Bx_Tx, mov_at_Ax_Bx),
  /* NEG   */ sequence(mov_Ax_Bx, sub_Ax_Bx, pop_Bx, sub_Ax_Bx, push_Ax),
  /* ADD   */ sequence(pop_Bx, pop_Ax, add_Ax_Bx, push_Ax),
  /* MIN   */ sequence(pop_Bx, pop_Ax, sub_Ax_Bx, push_Ax),
  /* MUL   */ sequence(pop_Bx, pop_Ax, imul_Ax_Bx, push_Ax),
  /* DIV   */ sequence(pop_Bx, pop_Ax, idiv_Ax_Bx, push_Ax),
  /* ODD   */ sequence(pop_Ax, odd_Ax, push_Ax),
  /* EQU   */ sequence(pop_Bx, pop_Ax, eq_Ax_Bx, push_Ax),
  /* NEQ   */ sequence(pop_Bx, pop_Ax, ne_Ax_Bx, push_Ax),
  /* LES   */ sequence(pop_Bx, pop_Ax, lt_Ax_Bx, push_Ax),
  /* LEQ   */ sequence(pop_Bx, pop_Ax, le_Ax_Bx, push_Ax),
  /* GTR   */ sequence(pop_Bx, pop_Ax, gt_Ax_Bx, push_Ax),
  /* GEQ   */ sequence(pop_Bx, pop_Ax, ge_Ax_Bx, push_Ax),
  /* MOD   */ sequence(pop_Bx, pop_Ax, mod_Ax_Bx, push_Ax),
};
// clang-format on
static_assert(sizeof opcode_sequences / sizeof *opcode_sequences == opcode_count);

}  // namespace pl0::translator
