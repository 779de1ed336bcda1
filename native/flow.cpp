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

// How far an instruction moves SP down (every opcode has its case: -Wswitch).
std::int32_t pushes(const Instruction& ins) {
  if (!is_opcode(ins.opcode)) return 0;
  switch (static_cast<OpCode>(ins.opcode)) {
    case LIT:
    case LOD:
    case READ:
    case GETC: return 1;
    case STO:
    case JPC:
    case WRITE:
    case PUTC:
    PL0_BINARY_CASES return -1;
    case STT: return -2;
    case INT: return ins.operand;
    case CAL:
    case JMP:
    case RTN:
    case NEG:
    case ODD:
    case LDT: return 0;
  }
  return 0;
}

// Follows SP - BP from the program's start and every CAL target through jumps and falls; a
// CAL's return point expects what SP - BP was at the CAL (its RTN restores both).
void follow_depth(const std::vector<Instruction>& program, Flow& flow) {
  constexpr std::int32_t unset = unreached, mixed = shared_code;
  const std::size_t size = program.size();
  flow.procedure.assign(size, unset);
  flow.depth.assign(size, 0);
  std::vector<std::size_t> work;
  auto reach = [&](std::int64_t at, std::int32_t procedure, std::int64_t depth) {
    if (at < 0 || static_cast<std::size_t>(at) >= size) return;
    const auto i = static_cast<std::size_t>(at);
    if (depth < -farthest || depth > farthest) procedure = mixed;
    if (flow.procedure[i] == mixed) return;
    if (flow.procedure[i] == unset) {
      flow.procedure[i] = procedure;
      flow.depth[i] = static_cast<std::int32_t>(depth);
    } else if (flow.procedure[i] != procedure || flow.depth[i] != depth) {
      flow.procedure[i] = mixed;
    } else {
      return;
    }
    work.push_back(i);
  };
  if (size > 0) reach(0, 0, -2);  // SP 98, BP 100
  for (const Instruction& ins : program) {
    if (ins.opcode == CAL && ins.operand > 0) reach(ins.operand, ins.operand, 1);  // SP = BP + 1
  }
  while (!work.empty()) {
    const std::size_t i = work.back();
    work.pop_back();
    const Instruction& ins = program[i];
    const std::int32_t procedure = flow.procedure[i];
    const std::int64_t after = static_cast<std::int64_t>(flow.depth[i]) - pushes(ins);
    if (falls_through(ins.opcode)) reach(static_cast<std::int64_t>(i) + 1, procedure, after);
    if ((ins.opcode == JMP || ins.opcode == JPC) && ins.operand > 0) {  // 0 or less stops
      reach(ins.operand, procedure, after);
    }
    if (ins.opcode == CAL) reach(static_cast<std::int64_t>(i) + 1, procedure, after);
  }
}

}  // namespace

Flow analyse(const std::vector<Instruction>& program) {
  const std::size_t size = program.size();
  auto inside = [size](std::int32_t target) {
    return target > 0 && static_cast<std::size_t>(target) < size;
  };
  Flow flow{std::vector<bool>(size, false), std::vector<bool>(size, false), {}, {}};
  if (size > 0) flow.entry[0] = true;
  bool any_read = false;
  for (std::size_t i = 0; i < size; ++i) {
    const Instruction& ins = program[i];
    any_read = any_read || ins.opcode == READ;
    flow.calls = flow.calls || ins.opcode == CAL;
    if (jumps(ins.opcode) && inside(ins.operand)) flow.entry[static_cast<std::size_t>(ins.operand)] = true;
    if (ins.opcode == CAL && i + 1 < size) flow.entry[i + 1] = true;  // where its RTN returns
  }
  follow_depth(program, flow);
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
