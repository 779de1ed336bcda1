#include "frames.h"

#include <cstdint>
#include <map>
#include <set>

#include "vocabulary.h"

namespace pl0::native {

namespace {

constexpr std::int32_t above_main = -1;     // the main program's parent
constexpr std::int32_t not_called = -2;     // a procedure no running code calls

// How many values an instruction pops (before it pushes its result).
int pops(std::int32_t opcode) {
  if (!is_opcode(opcode)) return 0;
  switch (static_cast<OpCode>(opcode)) {
    case STO:
    case JPC:
    case WRITE:
    case PUTC:
    case LDT:
    case NEG:
    case ODD: return 1;
    case STT:
    PL0_BINARY_CASES return 2;
    case LIT:
    case LOD:
    case CAL:
    case INT:
    case JMP:
    case RTN:
    case READ:
    case GETC: return 0;
  }
  return 0;
}

struct Procedure {
  std::vector<std::size_t> code;          // its instructions, in order
  std::int32_t cells = 0;                 // how many cells its frame has, links included
  std::int32_t parent = not_called;       // its static parent
  std::set<std::int32_t> read_by_nested;  // its offsets that nested procedures read
};

class Frames {
 public:
  Frames(const std::vector<Instruction>& program, const Flow& flow)
      : program_(program), flow_(flow) {}

  FrameProof prove() {
    FrameProof proof;
    proof.proven = procedures() && parents() && accesses() && pops_below_frames() && written_before_read();
    proof.popped_unread = proof.proven && !local_arrays_;
    proof.restarts = proof.popped_unread && arrays_;
    if (!proof.proven) proof.kept_because = reason_;
    for (const auto& [start, procedure] : procedures_) {
      if (!proof.proven || procedure.parent == not_called) continue;
      proof.parent[start] = procedure.parent;
      proof.cells[start] = procedure.cells;
    }
    proof.links_rebuilt = proof.popped_unread;
    for (const auto& [start, parent] : proof.parent) {
      if (start != main_program && parent != main_program) proof.links_rebuilt = false;
    }
    return proof;
  }

 private:
  bool decline(const std::string& why) {
    reason_ = why;
    return false;
  }
  static std::string name(std::int32_t procedure) {
    return procedure == main_program ? "the main program" : "procedure " + std::to_string(procedure);
  }
  const Instruction& at(std::size_t i) const { return program_[i]; }
  std::int32_t depth(std::size_t i) const { return flow_.depth[i]; }

  // Each instruction's procedure, and each procedure's one INT, where it begins.
  bool procedures() {
    for (std::size_t i = 0; i < program_.size(); ++i) {
      if (flow_.procedure[i] == unreached) continue;  // no path leads there: it never runs
      if (flow_.procedure[i] < 0) {
        return decline("instruction " + std::to_string(i) + " belongs to two procedures");
      }
      arrays_ = arrays_ || at(i).opcode == LDT || at(i).opcode == STT;
      procedures_[flow_.procedure[i]].code.push_back(i);
    }
    for (auto& [start, procedure] : procedures_) {
      std::size_t first = static_cast<std::size_t>(start);
      for (std::size_t steps = 0; at(first).opcode == JMP && steps < program_.size(); ++steps) {
        if (at(first).operand <= 0 || static_cast<std::size_t>(at(first).operand) >= program_.size()) break;
        first = static_cast<std::size_t>(at(first).operand);
      }
      // The main program's link cells are in place before its INT; a procedure's INT counts them.
      const std::int64_t cells = std::int64_t{at(first).operand} - depth(first) + 1;
      if (at(first).opcode != INT || at(first).operand < 0 || cells < first_variable ||
          cells > farthest) {
        return decline(name(start) + " does not begin with the INT of its frame");
      }
      procedure.cells = static_cast<std::int32_t>(cells);
      for (const std::size_t i : procedure.code) {
        if (at(i).opcode == INT && i != first) {
          return decline(name(start) + " moves SP by INT at " + std::to_string(i));
        }
      }
    }
    return true;
  }

  // The frame `level` steps up the static links from `procedure`'s, or -1 past the main program.
  std::int32_t ancestor(std::int32_t procedure, std::int32_t level) const {
    for (; level > 0 && procedure >= 0; --level) procedure = procedures_.at(procedure).parent;
    return procedure;
  }

  // A CAL at Level L from P gives its target the static parent L links up from P; every CAL
  // of a procedure must agree, or a Level would name different frames.
  bool parents() {
    procedures_[main_program].parent = above_main;
    for (bool changed = true; changed;) {
      changed = false;
      for (const auto& [caller, procedure] : procedures_) {
        if (procedure.parent == not_called) continue;
        for (const std::size_t i : procedure.code) {
          const Instruction& call = at(i);
          if (call.opcode != CAL || static_cast<std::size_t>(call.operand) >= program_.size()) continue;
          if (call.operand <= main_program) return decline("a CAL of the main program");
          const std::int32_t parent = call.level < 0 ? -1 : ancestor(caller, call.level);
          if (parent < 0) return decline("a CAL at " + std::to_string(i) + " has no static link");
          std::int32_t& known = procedures_.at(call.operand).parent;
          if (known == not_called) {
            known = parent;
            changed = true;
          } else if (known != parent) {
            return decline(name(call.operand) + " is called with two static parents");
          }
        }
      }
    }
    return true;
  }

  // Every LOD and STO within its frame's live cells, and no STO to a link cell.
  bool accesses() {
    for (const auto& [start, procedure] : procedures_) {
      if (procedure.parent == not_called) continue;
      for (const std::size_t i : procedure.code) {
        const Instruction& ins = at(i);
        const bool element = ins.opcode == LDT || ins.opcode == STT;
        if (ins.opcode != LOD && ins.opcode != STO && !element) continue;
        const std::int32_t lowest = ins.opcode == STO ? first_variable : 0;
        const std::int32_t frame = ins.level < 0 ? -1 : ancestor(start, ins.level);
        if (frame < 0) return decline("instruction " + std::to_string(i) + " names no frame");
        if (element) {  // checked where it runs
          local_arrays_ = local_arrays_ || frame != main_program;
          continue;
        }
        // Its own frame's live cells reach SP; another's, its variables.
        const std::int32_t beyond = frame == start ? -depth(i) + 1 : procedures_.at(frame).cells;
        if (ins.operand < lowest || ins.operand >= beyond) {
          return decline("instruction " + std::to_string(i) + " reaches past its frame");
        }
        if (ins.opcode == LOD && frame != start && frame != main_program) {
          procedures_.at(frame).read_by_nested.insert(ins.operand);
        }
      }
    }
    return true;
  }

  // No instruction pops a cell of its own frame: SP never rises past where the frame's INT
  // left it, so a value is never pushed onto a variable or a link cell either.
  bool pops_below_frames() {
    for (const auto& [start, procedure] : procedures_) {
      if (procedure.parent == not_called) continue;
      for (const std::size_t i : procedure.code) {
        const int popped = pops(at(i).opcode);  // (only a pop raises SP past the INT)
        if (popped > 0 && depth(i) + popped > 1 - procedure.cells) {
          return decline("instruction " + std::to_string(i) + " pops a cell of its frame");
        }
      }
    }
    return true;
  }

  // Which variables each instruction of a procedure finds written on every path to it: at
  // its entry none; a STO at Level 0 writes one; paths meet in what both wrote.
  bool written_before_read() {
    for (const auto& [start, procedure] : procedures_) {
      if (start == main_program || procedure.parent == not_called) continue;
      const auto cells = static_cast<std::size_t>(procedure.cells);
      std::map<std::size_t, std::vector<bool>> written;  // on entering each instruction
      std::vector<std::size_t> work{static_cast<std::size_t>(start)};
      written[work.back()] = std::vector<bool>(cells, false);
      const std::int32_t own = start;  // (a lambda cannot capture a structured binding)
      auto reach = [&](std::size_t to, const std::vector<bool>& found) {
        if (to >= program_.size() || flow_.procedure[to] != own) return;
        auto [place, fresh] = written.emplace(to, found);
        bool changed = fresh;
        for (std::size_t k = 0; k < cells && !fresh; ++k) {
          if (place->second[k] && !found[k]) {
            place->second[k] = false;
            changed = true;
          }
        }
        if (changed) work.push_back(to);
      };
      while (!work.empty()) {
        const std::size_t i = work.back();
        work.pop_back();
        std::vector<bool> after = written[i];
        const Instruction& ins = at(i);
        if (ins.opcode == STO && ins.level == 0 && static_cast<std::size_t>(ins.operand) < cells) {
          after[static_cast<std::size_t>(ins.operand)] = true;
        }
        if (ins.opcode != JMP && ins.opcode != RTN) reach(i + 1, after);  // CAL: its return point
        if ((ins.opcode == JMP || ins.opcode == JPC) && ins.operand > 0) {
          reach(static_cast<std::size_t>(ins.operand), after);
        }
      }
      for (const auto& [i, found] : written) {
        const Instruction& ins = at(i);
        const auto a = static_cast<std::size_t>(ins.operand);
        if (ins.opcode == LOD && ins.level == 0 && a >= first_variable && a < cells && !found[a]) {
          return decline(name(start) + " may read its variable at offset " +
                         std::to_string(a) + " before writing it");
        }
        if (ins.opcode != CAL) continue;
        for (const std::int32_t offset : procedure.read_by_nested) {
          if (!found[static_cast<std::size_t>(offset)]) {
            return decline(name(start) + " may call before writing its variable at offset " +
                           std::to_string(offset) + ", which a nested procedure reads");
          }
        }
      }
    }
    return true;
  }

  const std::vector<Instruction>& program_;
  const Flow& flow_;
  std::map<std::int32_t, Procedure> procedures_;
  std::string reason_;
  bool arrays_ = false;        // whether any LDT or STT runs
  bool local_arrays_ = false;  // and whether one names a procedure's frame
};

}  // namespace

std::int32_t FrameProof::ancestor(std::int32_t procedure, std::int32_t level) const {
  for (; level > 0 && procedure >= 0; --level) {
    const auto found = parent.find(procedure);
    procedure = found == parent.end() ? -1 : found->second;
  }
  return procedure;
}

FrameProof prove_frames(const std::vector<Instruction>& program, const Flow& flow) {
  if (program.empty()) {
    FrameProof none;
    none.kept_because = "there is no code";
    return none;
  }
  return Frames(program, flow).prove();
}

}  // namespace pl0::native
