// A CAL written with the start of its procedure in its place. Where a procedure's first blocks
// either return soon or branch into the rest of it (a recursion's test for its last step, as
// `if k < 2 then result := k else ...`, or `while l < h do ...` with nothing after the loop),
// the CAL copies those few instructions: the return that
// comes at once takes no `call` and no `ret` (a pair the processor pays for more than its two
// instructions), and a main program's variable the CAL's block holds in a register is read
// from there. Only the branch into the rest makes a call, to the procedure's own code there,
// whose `ret` comes back to the CAL's return as before. The copy is written by the same
// BlockWriter as the procedure's own blocks, so it is the same code; it is given up for a call
// wherever its blocks would need anything out of line.
//
//   cmpl $.Lbottom2, BP; jl slow    the procedure's check that its cells lie in the stack
//   <its first blocks>              the branch goes to `rest`, the RTN to `back`
//   jmp back
// rest:
//   call .L12_in                    the rest of the procedure
// back:                             the CAL's return, a row of pl0_calls as for any CAL
//   slow: call .L2_r                out of line: the CAL as it would be, checks and all
#include <string>

#include "block.h"
#include "vocabulary.h"

namespace pl0::native {

namespace {

constexpr std::int32_t most_in_place = 16;  // instructions copied, at most

bool is_comparison(std::int32_t opcode) {
  switch (opcode) {
    PL0_COMPARISONS(PL0_CASE_LABEL, ) return true;
    default: return false;
  }
}

bool copied_as_it_stands(std::int32_t opcode) {
  if (!is_opcode(opcode)) return false;
  switch (static_cast<OpCode>(opcode)) {
    case LIT:
    case LOD:
    case STO:
    case NEG:
    case ODD:
    case ADD:
    case MIN:
    case MUL:
    PL0_COMPARISONS(PL0_CASE_LABEL, ) return true;
    default: return false;  // a call, input or output, an element, a division: each may leave
  }
}

}  // namespace

// The RTN that the instruction at `at` is, or jumps to.
std::optional<std::int32_t> return_of(const std::vector<Instruction>& program, std::int32_t at) {
  const auto size = static_cast<std::int32_t>(program.size());
  if (at > 0 && at < size && program[static_cast<std::size_t>(at)].opcode == JMP) {
    at = program[static_cast<std::size_t>(at)].operand;
  }
  if (at <= 0 || at >= size || program[static_cast<std::size_t>(at)].opcode != RTN) return std::nullopt;
  return at;
}

// The instruction after the copy's last, where the procedure starting at `target` can be copied:
// its INT, then instructions that reach only its own frame and fixed cells and cannot leave
// (no division, no element, no call, no input or output), one JPC forward into the rest of
// the procedure, and then the same up to a RTN or a JMP to one. Or up to a comparison's JPC to
// such a return, whose other way is the rest.
std::optional<std::int32_t> BlockWriter::in_place_end(std::int32_t target) const {
  const auto size = static_cast<std::int32_t>(program_.size());
  if (!frames_.links_rebuilt || own_procedure() < 0 || loop_ != nullptr || target <= 0 ||
      target >= size || flow_.procedure[static_cast<std::size_t>(target)] != target ||
      program_[static_cast<std::size_t>(target)].opcode != INT) {
    return std::nullopt;
  }
  bool branched = false;
  for (std::int32_t at = target + 1; at < size && at <= target + most_in_place; ++at) {
    const Instruction& ins = program_[static_cast<std::size_t>(at)];
    if (flow_.procedure[static_cast<std::size_t>(at)] != target) return std::nullopt;
    if ((ins.opcode == LOD || ins.opcode == STO) && ins.level > 0 &&
        frames_.ancestor(target, ins.level) != main_program) {
      return std::nullopt;
    }
    if (ins.opcode == RTN) return branched ? std::optional<std::int32_t>(at + 1) : std::nullopt;
    if (ins.opcode == JMP) {
      const bool to_a_return = return_of(program_, ins.operand) == ins.operand &&
                               flow_.procedure[static_cast<std::size_t>(ins.operand)] == target;
      return branched && to_a_return ? std::optional<std::int32_t>(at + 1) : std::nullopt;
    }
    if (ins.opcode == JPC) {
      if (branched || ins.operand <= at || ins.operand >= size ||
          flow_.procedure[static_cast<std::size_t>(ins.operand)] != target) {
        return std::nullopt;
      }
      // After a comparison's JPC a block always starts, where the call into the rest goes.
      const std::optional<std::int32_t> rtn = return_of(program_, ins.operand);
      if (rtn && flow_.procedure[static_cast<std::size_t>(*rtn)] == target &&
          is_comparison(program_[static_cast<std::size_t>(at) - 1].opcode)) {
        return at + 1;
      }
      branched = true;
      continue;
    }
    if (!copied_as_it_stands(ins.opcode)) return std::nullopt;
  }
  return std::nullopt;
}

// The CAL's call and return, SP and BP already set for the procedure at `target`: its start in
// place, where that can be; false where the CAL is to be written as usual. `fixed`: the copies
// of the main program's cells that registers hold here.
bool BlockWriter::call_in_place(std::int32_t target, const Copies& fixed) {
  const std::optional<std::int32_t> end = in_place_end(target);
  if (!end || in_place_ != nullptr) return false;
  InPlace place{out_.cold_label(), out_.return_label(), -1, false,
                program_[static_cast<std::size_t>(*end) - 1].opcode == JPC ? *end : -1};
  std::string body;
  std::optional<KeptDivision> division;
  Copies copies = fixed;
  for (std::int32_t at = target; at < *end;) {
    BlockWriter part(program_, flow_, frames_, at, header_, division, copies, nullptr);
    part.in_place_ = &place;
    part.out_.rename(std::to_string(at) + "_at" + std::to_string(at_));
    const Block block = part.write();
    if (!block.cold.empty() || !block.calls.empty() || part.reach_.link_loaded || block.too_far ||
        place.spoilt || (block.end < *end && !block.falls)) {
      return false;
    }
    body += block.body;
    division = block.division;
    copies = block.copies;
    at = block.end;
  }
  if (place.rest < 0) return false;
  const std::string slow = out_.cold_label(), slow_back = out_.return_label();
  const std::int32_t depth = flow_.depth[static_cast<std::size_t>(at_)];
  out_.line("cmpl\t$.Lbottom%d, {BP32}\t# the procedure's cells above the stack's bottom?", target);
  out_.line("jl\t%s", slow.c_str());
  out_.line("# the procedure's start, in place of the call");
  out_.body += body;
  out_.body += place.rest_label + ":\n";
  out_.line("call\t.L%d_in", place.rest);
  out_.body += place.back + ":\n";
  out_.cold += slow + ":\n\tcall\t" + label(target, true) + "\n" + slow_back + ":\n\tjmp\t" +
               place.back + "\n";
  for (const std::string& back : {place.back, slow_back}) {
    append(out_.calls, "\t.long\t%s - pl0_calls, %d, %d\n", back.c_str(), at_ + 1, depth);
  }
  return true;
}

}  // namespace pl0::native
