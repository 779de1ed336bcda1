#include "flow.h"

#include "vocabulary.h"

namespace pl0::native {

namespace {

bool jumps(std::int32_t opcode) {
  return opcode == JMP || opcode == JPC || opcode == CAL;
}

// JMP and the numbers that are no opcode leave Ax as they found it; every other instruction
// sets it before it could read it.
bool keeps_ax_through(std::int32_t opcode) {
  return opcode == JMP || !is_opcode(opcode);
}

bool falls_through(std::int32_t opcode) {
  return opcode != JMP && opcode != RTN && opcode != CAL;
}

}  // namespace

Flow analyse(const std::vector<Instruction>& program) {
  const std::size_t size = program.size();
  auto inside = [size](std::int32_t target) {
    return target > 0 && static_cast<std::size_t>(target) < size;
  };
  Flow flow{std::vector<bool>(size, false), std::vector<bool>(size, false)};
  if (size > 0) flow.entry[0] = true;
  bool any_read = false;
  for (std::size_t i = 0; i < size; ++i) {
    const Instruction& ins = program[i];
    any_read = any_read || ins.opcode == READ;
    if (jumps(ins.opcode) && inside(ins.operand)) flow.entry[static_cast<std::size_t>(ins.operand)] = true;
    if (ins.opcode == CAL && i + 1 < size) flow.entry[i + 1] = true;  // where its RTN returns
  }
  if (!any_read) return flow;

  // Whether Ax on entering an instruction can reach a READ unchanged, to a fixed point. A RTN
  // can return anywhere, so it leads to every instruction.
  std::vector<bool> live_in(size, false);
  bool any_live = false;
  auto live_out = [&](std::size_t i) {
    const Instruction& ins = program[i];
    if (ins.opcode == RTN) return any_live;
    bool live = falls_through(ins.opcode) && i + 1 < size && live_in[i + 1];
    if (jumps(ins.opcode) && inside(ins.operand)) {
      live = live || live_in[static_cast<std::size_t>(ins.operand)];
    }
    return live;
  };
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t i = size; i-- > 0;) {
      const bool live = program[i].opcode == READ || (keeps_ax_through(program[i].opcode) && live_out(i));
      if (live && !live_in[i]) {
        live_in[i] = true;
        any_live = true;
        changed = true;
      }
    }
  }
  for (std::size_t i = 0; i < size; ++i) {
    flow.keeps_ax[i] = !keeps_ax_through(program[i].opcode) && live_out(i);
  }
  return flow;
}

}  // namespace pl0::native
