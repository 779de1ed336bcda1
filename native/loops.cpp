#include "loops.h"

#include <algorithm>
#include <map>
#include <vector>

#include "value_stack.h"
#include "vocabulary.h"

namespace pl0::native {

std::optional<int> Loop::register_of(std::int64_t offset) const {
  for (const auto& [cell, r] : resident) {
    if (cell == offset) return r;
  }
  return std::nullopt;
}

unsigned Loop::registers() const {
  unsigned mask = 0;
  for (const auto& [cell, r] : resident) mask |= 1u << r;
  return mask;
}

namespace {

// Whether the instruction's code calls nothing: no CAL, no service of the runtime (which would
// change the pool's registers, or read the cells), no Level deeper than the generator walks
// inline.
bool calls_nothing(const Instruction& ins) {
  if (!is_opcode(ins.opcode)) return false;
  switch (static_cast<OpCode>(ins.opcode)) {
    case LIT:
    case JMP:
    case JPC:
    case NEG:
    case ODD:
    case ADD:
    case MIN:
    case MUL:
    case DIV:
    case MOD:
    PL0_COMPARISONS(PL0_CASE_LABEL, ) return true;
    case LOD:
    case STO:
    case LDT:  // checked where it runs not to be one of the loop's variables (BlockWriter::not_resident)
    case STT: return ins.level <= 3;
    default: return false;
  }
}

bool jumps(const Instruction& ins) {
  return ins.opcode == JMP || ins.opcode == JPC || ins.opcode == CAL;
}

// The loop that the JMP at `back` closes, with its variables in registers, if it may have them.
std::optional<Loop> loop_closed_at(const std::vector<Instruction>& program, const Flow& flow,
                                   const FrameProof& frames, std::int32_t back) {
  const std::int32_t head = program[static_cast<std::size_t>(back)].operand;
  if (program[static_cast<std::size_t>(back)].opcode != JMP || head < 1 || head > back) {
    return std::nullopt;
  }
  const std::int32_t procedure = flow.procedure[static_cast<std::size_t>(head)];
  const auto cells = frames.cells.find(procedure);
  if (procedure < 0 || cells == frames.cells.end()) return std::nullopt;
  // Each variable's uses (by offset from BP), and their weight: a use inside a loop nested in
  // this one counts four times for each loop around it, as it runs that much more often.
  std::vector<int> nesting(static_cast<std::size_t>(back - head) + 2, 0);
  for (std::int32_t at = head; at < back; ++at) {
    const Instruction& jump = program[static_cast<std::size_t>(at)];
    if (jump.opcode == JMP && jump.operand > head && jump.operand <= at) {
      ++nesting[static_cast<std::size_t>(jump.operand - head)];
      --nesting[static_cast<std::size_t>(at - head) + 1];
    }
  }
  std::map<std::int64_t, int> uses, weight, divided, changed;
  int depth = 0;
  auto variable = [&](const Instruction& ins) {
    return (ins.opcode == LOD || ins.opcode == STO) && ins.level <= 0 &&
           ins.operand >= first_variable && ins.operand < cells->second;
  };
  for (std::int32_t at = head; at <= back; ++at) {
    depth += nesting[static_cast<std::size_t>(at - head)];
    const Instruction& ins = program[static_cast<std::size_t>(at)];
    if (flow.procedure[static_cast<std::size_t>(at)] != procedure || !calls_nothing(ins)) {
      return std::nullopt;
    }
    const int turns = 1 << 2 * std::min(depth, 6);
    if (variable(ins)) {
      ++uses[-static_cast<std::int64_t>(ins.operand)];
      weight[-static_cast<std::int64_t>(ins.operand)] += turns;
      if (ins.opcode == STO) changed[-static_cast<std::int64_t>(ins.operand)] += turns;
    }
    // n / d and n mod d, each a variable: the division is in doubles, n converted.
    if ((ins.opcode == DIV || ins.opcode == MOD) && at - 2 >= head) {
      const Instruction& n = program[static_cast<std::size_t>(at - 2)];
      const Instruction& d = program[static_cast<std::size_t>(at - 1)];
      if (variable(n) && n.opcode == LOD && d.opcode == LOD) divided[-static_cast<std::int64_t>(n.operand)] += turns;
    }
  }
  Loop loop{head, back, {}};
  const auto next = static_cast<std::size_t>(back) + 1;
  loop.left_to_next = next < program.size() && flow.procedure[next] == procedure;
  for (std::size_t at = 0; at < program.size(); ++at) {  // entered at its head alone
    const auto i = static_cast<std::int32_t>(at);
    if (!jumps(program[at]) || (i >= head && i <= back)) continue;
    const std::int32_t target = program[at].operand;
    if (target > head && target <= back) return std::nullopt;
    if (target == head) loop.fallen_into = false;
    if (target == back + 1) loop.left_to_next = false;
  }
  std::vector<std::pair<int, std::int64_t>> used;  // the most used first
  for (const auto& [offset, count] : uses) {
    if (count >= 2) used.emplace_back(-weight[offset], offset);
  }
  std::sort(used.begin(), used.end());
  int most_divided = 0;
  for (std::size_t k = 0; k < used.size() && k < static_cast<std::size_t>(loop_registers); ++k) {
    const std::int64_t offset = used[k].second;
    loop.resident.emplace_back(offset, pool_size - 1 - static_cast<int>(k));
    if (divided[offset] > std::max(most_divided, changed[offset])) {
      most_divided = divided[offset];
      loop.shadowed = loop.resident.back().second;
    }
  }
  if (loop.resident.empty()) return std::nullopt;
  return loop;
}

}  // namespace

std::vector<Loop> find_loops(const std::vector<Instruction>& program, const Flow& flow,
                             const FrameProof& frames) {
  if (!frames.proven) return {};
  std::vector<Loop> candidates;
  for (std::size_t at = 0; at < program.size(); ++at) {
    if (auto loop = loop_closed_at(program, flow, frames, static_cast<std::int32_t>(at))) {
      candidates.push_back(*loop);
    }
  }
  // The widest first: an outer loop keeps its variables in registers across its inner ones.
  std::stable_sort(candidates.begin(), candidates.end(), [](const Loop& a, const Loop& b) {
    return a.back - a.head > b.back - b.head;
  });
  std::vector<Loop> chosen;
  for (const Loop& loop : candidates) {
    const bool overlaps = std::any_of(chosen.begin(), chosen.end(), [&](const Loop& other) {
      return loop.head <= other.back && other.head <= loop.back;
    });
    if (!overlaps) chosen.push_back(loop);
  }
  return chosen;
}

}  // namespace pl0::native
