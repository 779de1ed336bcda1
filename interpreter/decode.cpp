#include "decode.h"

#include <optional>

#include "vocabulary.h"

namespace pl0::interpreter {

namespace {

// The families of decode.h as tables indexed like `operations`: the opcode of each operation,
// and the kind of each family for it.
#define PL0_OPCODE_OF(name, length) name,
#define PL0_KIND_OF(name, length) Kind::name,
constexpr OpCode operations[] = {PL0_OPERATIONS(PL0_OPCODE_OF, , , 1)};
constexpr Kind plain_operation[] = {PL0_OPERATIONS(PL0_KIND_OF, , , 1)};
constexpr Kind literal_operation[] = {PL0_OPERATIONS(PL0_KIND_OF, LIT_, , 2)};
constexpr Kind variable_operation[] = {PL0_OPERATIONS(PL0_KIND_OF, LOD0_, , 2)};
constexpr Kind variable_literal_operation[] = {PL0_OPERATIONS(PL0_KIND_OF, LOD0_LIT_, , 3)};
constexpr Kind two_variable_operation[] = {PL0_OPERATIONS(PL0_KIND_OF, LOD0_LOD0_, , 3)};
constexpr OpCode relations[] = {PL0_RELATIONS(PL0_OPCODE_OF, , , 1)};
constexpr Kind relation_jump[] = {PL0_RELATIONS(PL0_KIND_OF, , _JPC, 2)};
constexpr Kind variable_relation_jump[] = {PL0_RELATIONS(PL0_KIND_OF, LOD0_, _JPC, 3)};
constexpr Kind literal_relation_jump[] = {PL0_RELATIONS(PL0_KIND_OF, LIT_, _JPC, 3)};
constexpr Kind variable_literal_relation_jump[] = {PL0_RELATIONS(PL0_KIND_OF, LOD0_LIT_, _JPC, 4)};
#undef PL0_OPCODE_OF
#undef PL0_KIND_OF

// The place of `opcode` in `table`, or -1.
template <std::size_t size>
int index_in(const OpCode (&table)[size], std::int32_t opcode) {
  for (std::size_t k = 0; k < size; ++k) {
    if (table[k] == opcode) return static_cast<int>(k);
  }
  return -1;
}
int operation_index(std::int32_t opcode) {
  return index_in(operations, opcode);
}
int relation_index(std::int32_t opcode) {
  return index_in(relations, opcode);
}

Kind by_level(std::int32_t level, Kind zero, Kind one, Kind any) {
  return level == 0 ? zero : level == 1 ? one : any;
}

// Every opcode has its case (-Wswitch); any other number is a NOP.
Kind plain_kind(const Instruction& i) {
  switch (static_cast<OpCode>(i.opcode)) {
    case LIT: return Kind::LIT;
    case LOD: return by_level(i.level, Kind::LOD0, Kind::LOD1, Kind::LOD);
    case STO: return by_level(i.level, Kind::STO0, Kind::STO1, Kind::STO);
    case CAL: return Kind::CAL;
    case INT: return Kind::INT;
    case JMP: return Kind::JMP;
    case JPC: return Kind::JPC;
    case RTN: return Kind::RTN;
    case WRITE: return Kind::WRITE;
    case READ: return Kind::READ;
    case PUTC: return Kind::PUTC;
    case GETC: return Kind::GETC;
    case LDT: return i.level == 0 ? Kind::LDT0 : Kind::LDT;
    case STT: return i.level == 0 ? Kind::STT0 : Kind::STT;
    case NEG: return Kind::NEG;
    case ODD: return Kind::ODD;
    PL0_BINARY_CASES return plain_operation[operation_index(i.opcode)];
  }
  return Kind::NOP;
}

bool is_lod0(const Instruction& i) {
  return i.opcode == LOD && i.level == 0;
}
bool is_sto(const Instruction& i, std::int32_t level) {
  return i.opcode == STO && i.level == level;
}

// The fused kind for the pair (first, second).
std::optional<Kind> fused_pair(const Instruction& first, const Instruction& second) {
  const int op = operation_index(second.opcode);
  if (first.opcode == LIT && op >= 0) return literal_operation[op];
  if (is_lod0(first) && op >= 0) return variable_operation[op];
  if (is_lod0(first) && is_lod0(second)) return Kind::LOD0_LOD0;
  if (first.opcode == LIT && is_sto(second, 0)) return Kind::LIT_STO0;
  if (is_lod0(first) && second.opcode == LDT && second.level == 0) return Kind::LOD0_LDT0;
  if (first.opcode == LOD && first.level == 1 && is_sto(second, 0)) return Kind::LOD1_STO0;
  if (is_lod0(first) && is_sto(second, 1)) return Kind::LOD0_STO1;
  const int relation = relation_index(first.opcode);
  if (relation >= 0 && second.opcode == JPC) return relation_jump[relation];
  return std::nullopt;
}

// The fused kind for the triple from `i`.
std::optional<Kind> fused_triple(const Instruction* i) {
  const int relation = relation_index(i[1].opcode);
  if (relation >= 0 && i[2].opcode == JPC) {
    if (is_lod0(i[0])) return variable_relation_jump[relation];
    if (i[0].opcode == LIT) return literal_relation_jump[relation];
  }
  const int op = operation_index(i[2].opcode);
  if (op < 0 || !is_lod0(i[0])) return std::nullopt;
  if (i[1].opcode == LIT) return variable_literal_operation[op];
  if (is_lod0(i[1])) return two_variable_operation[op];
  return std::nullopt;
}

// The fused kind for the four instructions from `i`.
std::optional<Kind> fused_four(const Instruction* i) {
  if (!is_lod0(i[0]) || i[1].opcode != LIT) return std::nullopt;
  const int relation = relation_index(i[2].opcode);
  if (relation >= 0 && i[3].opcode == JPC) return variable_literal_relation_jump[relation];
  const bool add = i[2].opcode == ADD;
  if (!add && i[2].opcode != MIN) return std::nullopt;
  if (is_sto(i[3], 0)) return add ? Kind::LOD0_LIT_ADD_STO0 : Kind::LOD0_LIT_MIN_STO0;
  if (is_sto(i[3], 1)) return add ? Kind::LOD0_LIT_ADD_STO1 : Kind::LOD0_LIT_MIN_STO1;
  return std::nullopt;
}

// The longest group that starts at `at`.
Kind kind_at(const std::vector<Instruction>& program, std::size_t at) {
  const std::size_t left = program.size() - at;
  const Instruction* i = &program[at];
  std::optional<Kind> kind;
  if (left >= 4) kind = fused_four(i);
  if (!kind && left >= 3) kind = fused_triple(i);
  if (!kind && left >= 2) kind = fused_pair(i[0], i[1]);
  return kind.value_or(plain_kind(i[0]));
}

}  // namespace

std::vector<Decoded> decode(const std::vector<Instruction>& program) {
  std::vector<Decoded> decoded;
  decoded.reserve(program.size() + 1);
  for (std::size_t at = 0; at < program.size(); ++at) {
    const Kind kind = kind_at(program, at);
    const auto length = static_cast<std::size_t>(kind_lengths[static_cast<int>(kind)]);
    const Instruction& first = program[at];
    decoded.push_back({kind, first.level, first.operand, length > 1 ? program[at + 1].operand : 0,
                       program[at + length - 1].operand});
  }
  decoded.push_back({Kind::END, 0, 0, 0, 0});
  return decoded;
}

}  // namespace pl0::interpreter
