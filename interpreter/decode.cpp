#include "decode.h"

#include "vocabulary.h"

namespace pl0::interpreter {

namespace {

// The operations 15..26 (ADD .. MOD) in the order of the lit_/lod0_ kinds, or -1.
int operation_index(std::int32_t opcode) {
  switch (opcode) {
    case ADD: return 0;
    case MIN: return 1;
    case MUL: return 2;
    case DIV: return 3;
    case MOD: return 4;
    case EQU: return 5;
    case NEQ: return 6;
    case LES: return 7;
    case LEQ: return 8;
    case GTR: return 9;
    case GEQ: return 10;
    default: return -1;
  }
}

constexpr std::int32_t plain_operations[] = {k_add, k_min, k_mul, k_div, k_mod, k_equ,
                                             k_neq, k_les, k_leq, k_gtr, k_geq};

std::int32_t by_level(std::int32_t level, std::int32_t zero, std::int32_t one, std::int32_t any) {
  return level == 0 ? zero : level == 1 ? one : any;
}

std::int32_t plain_kind(const Instruction& i) {
  switch (i.opcode) {
    case LIT: return k_lit;
    case LOD: return by_level(i.level, k_lod0, k_lod1, k_lod);
    case STO: return by_level(i.level, k_sto0, k_sto1, k_sto);
    case CAL: return k_cal;
    case INT: return k_int;
    case JMP: return k_jmp;
    case JPC: return k_jpc;
    case RTN: return k_rtn;
    case WRITE: return k_write;
    case READ: return k_read;
    case PUTC: return k_putc;
    case GETC: return k_getc;
    case LDT: return i.level == 0 ? k_ldt0 : k_ldt;
    case STT: return i.level == 0 ? k_stt0 : k_stt;
    case NEG: return k_neg;
    case ODD: return k_odd;
    default: {
      const int op = operation_index(i.opcode);
      return op >= 0 ? plain_operations[op] : k_nop;
    }
  }
}

bool is_lod0(const Instruction& i) { return i.opcode == LOD && i.level == 0; }

// The relations 20..25 as 0..5, or -1.
int relation_index(std::int32_t opcode) {
  const int op = operation_index(opcode);
  return op >= 5 ? op - 5 : -1;
}

// The fused kind for the pair (first, second), or -1 when they are no such pair.
std::int32_t fused_kind(const Instruction& first, const Instruction& second) {
  const int op = operation_index(second.opcode);
  if (first.opcode == LIT && op >= 0) return k_lit_add + op;
  if (is_lod0(first) && op >= 0) return k_lod0_add + op;
  if (is_lod0(first) && is_lod0(second)) return k_lod0_lod0;
  if (first.opcode == LIT && second.opcode == STO && second.level == 0) return k_lit_sto0;
  // An element indexed by a variable: a[j].
  if (is_lod0(first) && second.opcode == LDT && second.level == 0) return k_lod0_ldt0;
  // A variable copied between a procedure's frame and the one around it.
  if (first.opcode == LOD && second.opcode == STO) {
    if (first.level == 1 && second.level == 0) return k_lod1_sto0;
    if (first.level == 0 && second.level == 1) return k_lod0_sto1;
  }
  const int relation = relation_index(first.opcode);
  if (relation >= 0 && second.opcode == JPC) return k_equ_jpc + relation;
  return -1;
}


// The fused kind for the triple (first, second, third), or -1.
std::int32_t fused_triple(const Instruction& first, const Instruction& second,
                          const Instruction& third) {
  const int relation = relation_index(second.opcode);
  if (relation >= 0 && third.opcode == JPC) {
    if (is_lod0(first)) return k_lod0_equ_jpc + relation;
    if (first.opcode == LIT) return k_lit_equ_jpc + relation;
  }
  const int op = operation_index(third.opcode);
  if (op < 0 || !is_lod0(first)) return -1;
  if (second.opcode == LIT) return k_lod0_lit_add + op;
  if (is_lod0(second)) return k_lod0_lod0_add + op;
  return -1;
}

// The fused kind for the four instructions from `i`, or -1.
std::int32_t fused_four(const Instruction* i) {
  if (!is_lod0(i[0]) || i[1].opcode != LIT) return -1;
  const int relation = relation_index(i[2].opcode);
  if (relation >= 0 && i[3].opcode == JPC) return k_lod0_lit_equ_jpc + relation;
  const bool add = i[2].opcode == ADD;
  if ((add || i[2].opcode == MIN) && i[3].opcode == STO && (i[3].level == 0 || i[3].level == 1)) {
    return (i[3].level == 0 ? k_lod0_lit_add_sto0 : k_lod0_lit_add_sto1) + (add ? 0 : 1);
  }
  return -1;
}

}  // namespace

std::vector<Decoded> decode(const std::vector<Instruction>& program) {
  std::vector<Decoded> decoded;
  decoded.reserve(program.size() + 1);
  for (std::size_t at = 0; at < program.size(); ++at) {
    const Instruction& i = program[at];
    Decoded d{plain_kind(i), i.level, i.operand, 0, 0};
    if (at + 1 < program.size()) {
      const Instruction& next = program[at + 1];
      std::int32_t fused = fused_kind(i, next);
      if (at + 2 < program.size()) {
        if (const std::int32_t triple = fused_triple(i, next, program[at + 2]); triple >= 0) {
          fused = triple;
        }
      }
      if (fused >= 0) {
        d.kind = fused;
        d.second = next.operand;
        // A comparison has no operand: the JPC's target takes its place.
        if (fused >= k_lod0_equ_jpc && fused <= k_lit_geq_jpc) d.second = program[at + 2].operand;
      }
      if (at + 3 < program.size()) {
        if (const std::int32_t four = fused_four(&program[at]); four >= 0) {
          d.kind = four;
          d.second = next.operand;
          d.third = program[at + 3].operand;
        }
      }
    }
    decoded.push_back(d);
  }
  decoded.push_back({k_end, 0, 0, 0, 0});
  return decoded;
}

}  // namespace pl0::interpreter
