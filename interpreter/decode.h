// The loaded program decoded once into the form the fast run loop executes: each instruction
// becomes a kind specialised by its Level (0, 1, any) and, where the instruction after it
// completes a common pair, a fused kind that does the work of both in one dispatch. Every
// position keeps its own decoding, so a jump into the middle of a pair runs the plain
// instruction there.
#pragma once

#include <cstdint>
#include <vector>

#include "code_file.h"

namespace pl0::interpreter {

// clang-format off
enum Kind : std::int32_t {
  k_lit, k_lod0, k_lod1, k_lod, k_sto0, k_sto1, k_sto, k_cal, k_int, k_jmp, k_jpc, k_rtn,
  k_write, k_read, k_putc, k_getc, k_ldt0, k_ldt, k_stt0, k_stt, k_neg, k_odd,
  k_add, k_min, k_mul, k_div, k_mod, k_equ, k_neq, k_les, k_leq, k_gtr, k_geq,
  k_nop,  // an unknown OpCode: only advances PC
  k_end,  // past the last instruction: a fault when fetched
  // Fused pairs. "lit_" and "lod0_" kinds take the right operand of the operation from
  // the instruction itself; "_jpc" kinds branch on the comparison's result.
  k_lit_add, k_lit_min, k_lit_mul, k_lit_div, k_lit_mod,
  k_lit_equ, k_lit_neq, k_lit_les, k_lit_leq, k_lit_gtr, k_lit_geq,
  k_lod0_add, k_lod0_min, k_lod0_mul, k_lod0_div, k_lod0_mod,
  k_lod0_equ, k_lod0_neq, k_lod0_les, k_lod0_leq, k_lod0_gtr, k_lod0_geq,
  k_equ_jpc, k_neq_jpc, k_les_jpc, k_leq_jpc, k_gtr_jpc, k_geq_jpc,
  k_lod0_lod0, k_lit_sto0, k_lod1_sto0, k_lod0_sto1, k_lod0_ldt0,
  // Fused triples: a variable and a literal, or two variables, and the operation on them.
  k_lod0_lit_add, k_lod0_lit_min, k_lod0_lit_mul, k_lod0_lit_div, k_lod0_lit_mod,
  k_lod0_lit_equ, k_lod0_lit_neq, k_lod0_lit_les, k_lod0_lit_leq, k_lod0_lit_gtr, k_lod0_lit_geq,
  k_lod0_lod0_add, k_lod0_lod0_min, k_lod0_lod0_mul, k_lod0_lod0_div, k_lod0_lod0_mod,
  k_lod0_lod0_equ, k_lod0_lod0_neq, k_lod0_lod0_les, k_lod0_lod0_leq, k_lod0_lod0_gtr,
  k_lod0_lod0_geq,
  // A comparison of a variable or a literal with the top, and the JPC after it.
  k_lod0_equ_jpc, k_lod0_neq_jpc, k_lod0_les_jpc, k_lod0_leq_jpc, k_lod0_gtr_jpc, k_lod0_geq_jpc,
  k_lit_equ_jpc, k_lit_neq_jpc, k_lit_les_jpc, k_lit_leq_jpc, k_lit_gtr_jpc, k_lit_geq_jpc,
  // Fused fours: a variable compared with a literal and the JPC (while i < 80 do), and a
  // variable plus or minus a literal stored at level 0 or 1 (i := i + 1, n := k - 1).
  k_lod0_lit_equ_jpc, k_lod0_lit_neq_jpc, k_lod0_lit_les_jpc, k_lod0_lit_leq_jpc,
  k_lod0_lit_gtr_jpc, k_lod0_lit_geq_jpc,
  k_lod0_lit_add_sto0, k_lod0_lit_min_sto0, k_lod0_lit_add_sto1, k_lod0_lit_min_sto1,
  kind_count
};
// clang-format on

struct Decoded {
  std::int32_t kind;
  std::int32_t level;
  std::int32_t operand;
  std::int32_t second;  // for a fused kind: the Operand of its second instruction, or the
                        // JPC's when the second has none
  std::int32_t third;   // for a fused four: the Operand of its last instruction
};

// One entry per instruction and a final k_end entry.
std::vector<Decoded> decode(const std::vector<Instruction>& program);

}  // namespace pl0::interpreter
