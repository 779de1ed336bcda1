#include "decode.h"

namespace pl0::interpreter {

namespace {

bool fits(const Row& row, const Instruction& i) {
  if (row.opcode != i.opcode) return false;
  switch (row.levels) {
    case Levels::any: return true;
    case Levels::zero: return i.level == 0;
    case Levels::one: return i.level == 1;
    case Levels::never: return false;
  }
  return false;
}

// The first row that fits; any other number is a NOP.
Kind plain_kind(const Instruction& i) {
  for (const Row& row : rows) {
    if (fits(row, i)) return row.kind;
  }
  return Kind::NOP;
}

// Whether the instruction at `at + k` fits place k of a group that starts at `at`: by its plain
// kind, or for STO0_SAME a STO0 into the cell of the LOD0 at `at`.
bool fits_place(Kind part, const std::vector<Instruction>& program,
                const std::vector<Kind>& plain, std::size_t at, std::size_t k) {
  if (part == Kind::STO0_SAME) {
    return plain[at + k] == Kind::STO0 && plain[at] == Kind::LOD0 &&
           program[at + k].operand == program[at].operand;
  }
  return part == plain[at + k];
}

// The longest group whose instructions stand at `at`, or the plain kind there.
Kind kind_at(const std::vector<Instruction>& program, const std::vector<Kind>& plain,
             std::size_t at) {
  const std::size_t left = plain.size() - at;
  Kind kind = plain[at];
  int longest = 1;
  for (const Group& group : groups) {
    const auto length = static_cast<std::size_t>(group.length);
    if (group.length <= longest || length > left) continue;
    bool matches = true;
    for (std::size_t k = 0; k < length && matches; ++k) {
      matches = fits_place(group.parts[k], program, plain, at, k);
    }
    if (matches) {
      kind = group.kind;
      longest = group.length;
    }
  }
  return kind;
}

}  // namespace

std::vector<Decoded> decode(const std::vector<Instruction>& program, Decoding how) {
  std::vector<Kind> plain;
  plain.reserve(program.size());
  for (const Instruction& i : program) plain.push_back(plain_kind(i));
  std::vector<Decoded> decoded;
  // Room for an EXIT entry after each jump: `to` points into the vector.
  decoded.reserve(2 * program.size() + 1);
  for (std::size_t at = 0; at < program.size(); ++at) {
    const Kind kind = how == Decoding::plain ? plain[at] : kind_at(program, plain, at);
    const auto length = static_cast<std::size_t>(length_of(kind));
    const Instruction& first = program[at];
    decoded.push_back({kind, first.level, first.operand, length > 1 ? program[at + 1].operand : 0,
                       program[at + length - 1].operand});
  }
  decoded.push_back({Kind::END, 0, 0, 0, 0});
  for (std::size_t at = 0; at < program.size(); ++at) {
    Decoded& entry = decoded[at];
    const Ending ending = ending_of(entry.kind);
    if (ending != Ending::jump && ending != Ending::branch) continue;
    if (entry.last > 0 && static_cast<std::size_t>(entry.last) < program.size()) {
      entry.to = &decoded[static_cast<std::size_t>(entry.last)];
    } else if (how == Decoding::unwatched) {
      decoded.push_back({Kind::EXIT, 0, entry.last, 0, entry.last});
      entry.to = &decoded.back();
    }
  }
  if (how != Decoding::unwatched) return decoded;
  for (std::size_t at = 0; at < program.size(); ++at) {
    Decoded& entry = decoded[at];
    if (ending_of(entry.kind) != Ending::next) continue;
    Decoded* next = &decoded[at + static_cast<std::size_t>(length_of(entry.kind))];
    entry.to = next->kind == Kind::JMP && next->to != nullptr ? next->to : next;
  }
  for (std::size_t at = 0; at < program.size(); ++at) {
    Decoded& entry = decoded[at];
    for (const Chain& chain : chains) {
      if (entry.kind == chain.first && entry.to->kind == chain.second) entry.kind = chain.kind;
    }
  }
  return decoded;
}

}  // namespace pl0::interpreter
