#include "translate.h"

#include "register_operations.h"

namespace pl0::translator {

namespace {

void emit_line(std::FILE* out, RegOp op, std::int32_t operand) {
  if (prints_operand(op)) {
    std::fprintf(out, register_lines[op], operand);
  } else {
    std::fputs(register_lines[op], out);
  }
}

void emit_base_walk(std::FILE* out, std::int32_t level) {
  emit_line(out, mov_Ax_BP, 0);
  for (std::int32_t step = 0; step < level; ++step) emit_line(out, mov_Ax_at_Ax, 0);
}

}  // namespace

std::size_t find_deep_walk(const std::vector<Instruction>& program) {
  for (std::size_t position = 0; position < program.size(); ++position) {
    const Instruction& i = program[position];
    if (!is_opcode(i.opcode) || i.level <= deepest_level) continue;
    const Sequence group = opcode_sequence(static_cast<OpCode>(i.opcode));
    for (int k = 0; k < group.length; ++k) {
      if (group.ops[static_cast<std::size_t>(k)] == base_walk) return position;
    }
  }
  return program.size();
}

void translate_program(const std::vector<Instruction>& program, std::FILE* out) {
  for (std::size_t position = 0; position < program.size(); ++position) {
    const Instruction& current = program[position];
    const bool known = is_opcode(current.opcode);
    std::fprintf(out, "%zu:\t; %s\t%d\t%d\n", position, known ? opcode_names[current.opcode] : "?",
                 current.level, current.operand);
    if (!known) continue;
    const Sequence group = opcode_sequence(static_cast<OpCode>(current.opcode));
    for (int k = 0; k < group.length; ++k) {
      const RegOp op = group.ops[static_cast<std::size_t>(k)];
      if (op == base_walk) {
        emit_base_walk(out, current.level);
      } else {
        emit_line(out, op, current.operand);
      }
    }
  }
}

}  // namespace pl0::translator
