// A block's cells, addresses and control: what every opcode's code (instructions.cpp) uses.
#include "block.h"

#include <algorithm>

#include "stack.h"
#include "vocabulary.h"

namespace pl0::native {

namespace {

bool within(std::int64_t n) {
  return n >= -farthest && n <= farthest;
}

// The condition code that holds where `condition` does not.
std::string negated(const std::string& condition) {
  if (condition.front() == 'n') return condition.substr(1);
  if (condition == "l") return "ge";
  if (condition == "ge") return "l";
  if (condition == "g") return "le";
  if (condition == "le") return "g";
  return "n" + condition;  // e, z
}

}  // namespace

std::string Address::text() const {
  switch (base) {
    case frame: return std::to_string(4 * offset) + "({cells},{BP},4)";
    case link: return std::to_string(4 * offset) + "({cells},{link},4)";
    case fixed: return std::to_string(4 * offset) + "({cells})";
    default: return "({cells},%rax,4)";
  }
}

BlockWriter::BlockWriter(const std::vector<Instruction>& program, const Flow& flow,
                         const FrameProof& frames, std::int32_t start, const Header& header,
                         std::optional<KeptDivision> kept, const Copies& copies, const Loop* loop)
    : program_(program),
      flow_(flow),
      frames_(frames),
      header_(header),
      start_(start),
      at_(start),
      out_(start),
      values_(out_, own_procedure() >= 0
                        ? std::optional<std::int64_t>(flow.depth[static_cast<std::size_t>(start)])
                        : std::nullopt,
              frames.popped_unread),
      division_(kept),
      division_given_(kept.has_value()),
      loop_(loop) {
  if (loop_ != nullptr) values_.reserve(loop_->registers());
  // With a division kept, the check of the static link's cells at the start takes %ecx.
  Copies adopted;
  for (const auto& copy : copies) {
    if (!division_given_ || copy.second != 0) adopted.push_back(copy);
  }
  values_.adopt(adopted);
}

void BlockWriter::entered_with(const Copies& copies) {
  if (loop_ != nullptr && start_ == loop_->head) {
    arriving_ = copies;
  } else {
    values_.adopt(copies);
    given_copies_ = !copies.empty();
  }
}

Block BlockWriter::write() {
  const auto size = static_cast<std::int32_t>(program_.size());
  bool continues = true;
  while (continues && at_ < size) {
    out_.body += header_(at_);
    const Instruction& ins = program_[static_cast<std::size_t>(at_)];
    if (!keeps_division(ins)) division_.reset();
    continues = instruction(ins);
    values_.instruction_done();
    ++at_;
    if (at_ < size && flow_.entry[static_cast<std::size_t>(at_)]) break;
  }
  return finish(continues);
}

Block BlockWriter::finish(bool continues) {
  if (continues) {  // falls through into the next block
    values_.flush_all();
    set_sp();
  }
  // Into a block of another procedure (in hand-made code) only through its checks.
  const auto next = static_cast<std::size_t>(at_);
  if (block_.falls && next < program_.size() && flow_.procedure[next] >= 0 &&
      flow_.procedure[next] != own_procedure()) {
    out_.line("jmp\t.L%d", at_);
  }
  // What the block does before its first instruction, after that one's header line.
  std::string before;
  if (reach_.link_loaded) {
    before = "\tmovslq\t({cells},{BP},4), {link}\t# the static link\n";
    if (reach_.link.used) {
      // A division the block before made may wait in %eax; the pool is free at a start. In a
      // loop the machine takes over only once the registers' variables are back in their cells.
      std::string fallback = fallback_label(start_);
      if (loop_ != nullptr && start_ != loop_->head) {
        const std::string back = out_.cold_label();
        out_.cold += back + ":\n" + write_back() + "\tjmp\t" + fallback + "\n";
        fallback = back;
      }
      before += range_check("{link}", reach_.link,
                            "its cells, from " + std::to_string(reach_.link.low) + " to " +
                                std::to_string(reach_.link.high) + ",",
                            fallback, division_given_ ? "%ecx" : "%eax");
    }
  }
  // A loop's head loads its variables into their registers once; each turn comes back past.
  // A variable that the block before left in a register comes from there, unless that register
  // is another variable's to load into: a cell just written is slower to read back.
  if (loop_ != nullptr && start_ == loop_->head && !turning_) {
    for (const auto& variable : loop_->resident) {
      const std::int64_t offset = variable.first;
      const int r = variable.second;
      const auto copy = std::find_if(arriving_.begin(), arriving_.end(), [&](const auto& c) {
        return c.first == offset && (c.second == r || (loop_->registers() >> c.second & 1u) == 0);
      });
      given_copies_ = given_copies_ || copy != arriving_.end();
      const std::string from =
          copy == arriving_.end() ? Address{Address::frame, offset}.text() : pool[copy->second];
      if (from != pool[r]) before += "\tmovl\t" + from + ", " + pool[r] + "\t# in a register through the loop\n";
    }
    if (loop_->shadowed >= 0) before += shadow_text(loop_->shadowed);
    before += ".L" + std::to_string(start_) + "_loop:\n";
  }
  out_.body.insert(out_.body.find('\n') + 1, before);
  block_.given_copies = given_copies_;
  if (block_.falls) {
    block_.division = division_;
    block_.copies = values_.copies();
  }
  block_.start = start_;
  block_.end = at_;
  block_.body = std::move(out_.body);
  block_.cold = std::move(out_.cold);
  block_.calls = std::move(out_.calls);
  block_.sp = values_.cells();
  block_.bp = reach_.bp;
  block_.too_far = reach_.too_far;
  block_.moved = sp_given_;
  block_.in_loop = loop_ != nullptr && start_ != loop_->head;
  return block_;
}

void BlockWriter::note_bp(std::int64_t offset) {
  if (!within(offset)) reach_.too_far = true;
  reach_.bp.add(offset);
}

Address BlockWriter::frame_cell(std::int64_t offset) {
  note_bp(offset);
  return {Address::frame, reach_.too_far ? 0 : offset};
}

// Checks the cell index in %eax.
Address BlockWriter::checked_eax() {
  const std::string fault = out_.cold_label();
  out_.cold += fault + ":\n\tmovl\t%eax, %edi\n\tmovl\t$" + std::to_string(at_) +
               ", %esi\n\tcall\tpl0_cell_fault\n";
  out_.line("cmpl\t$%d, %%eax", top_cell);
  out_.line("ja\t%s", fault.c_str());
  return {Address::index, 0};
}

// base(level) into %eax, for a Level of 1 or more: the static link is in the block's checked
// cells, every further link is checked as it is followed.
void BlockWriter::walk_into_eax(std::int32_t level) {
  if (level > 3) {
    values_.forget_registers();
    out_.line("movl\t{BP32}, %%edi");
    out_.line("movl\t$%d, %%esi", level);
    out_.line("movl\t$%d, %%edx", at_);
    out_.line("call\t%s", service("pl0_walk").c_str());
    return;
  }
  note_bp(0);
  out_.line("movl\t({cells},{BP},4), %%eax\t# static link");
  for (std::int32_t step = 1; step < level; ++step) {
    out_.line("movl\t%s, %%eax", checked_eax().text().c_str());
  }
}

// In a procedure's block the static link is loaded into %rbp once, and the Level-1 cells the
// block reaches are checked together, until a store might change the link's cell.
bool BlockWriter::static_link_kept() {
  if (own_procedure() < 0 || reach_.link_changed || values_.link_cell_stored()) return false;
  note_bp(0);
  reach_.link_loaded = true;
  return true;
}

// A cell of the main program's frame, named from a procedure whose static links lead there:
// where the frames are proven, its place is fixed, BP 100 less the offset.
std::optional<Address> BlockWriter::fixed_cell(std::int32_t level, std::int32_t offset) const {
  if (level <= 0 || offset < 0 || offset > initial_bp || own_procedure() < 0 ||
      frames_.ancestor(own_procedure(), level) != main_program) {
    return std::nullopt;
  }
  return Address{Address::fixed, initial_bp - offset};
}

// The register a loop keeps the variable (Level, Operand) in, if it is one of them.
std::optional<int> BlockWriter::resident(const Instruction& ins) const {
  if (loop_ == nullptr || ins.level > 0) return std::nullopt;
  return loop_->register_of(-static_cast<std::int64_t>(ins.operand));
}

// The stores that put a loop's variables back into their cells, for a way out of it.
std::string BlockWriter::write_back() const {
  std::string text;
  if (loop_ == nullptr) return text;
  for (const auto& [offset, r] : loop_->resident) {
    text += std::string("\tmovl\t") + pool[r] + ", " + Address{Address::frame, offset}.text() + "\n";
  }
  return text;
}

// The loop's register `r` converted into %xmm2, where the loop keeps it as a double too: at
// the head, and after every store into it.
std::string BlockWriter::shadow_text(int r) const {
  if (loop_ == nullptr || loop_->shadowed != r) return "";
  return std::string("\txorps\t%xmm2, %xmm2\n\tcvtsi2sdl\t") + pool[r] + ", %xmm2\t# as a double too\n";
}

bool BlockWriter::leaves_loop(std::int32_t target) const {
  return loop_ != nullptr && !loop_->contains(target);
}

// The address of the cell (Level, Operand) names.
Address BlockWriter::variable(const Instruction& ins) {
  const std::int64_t offset = -static_cast<std::int64_t>(ins.operand);
  if (ins.level <= 0) {
    values_.touch_frame(offset);
    return frame_cell(offset);
  }
  if (const auto fixed = fixed_cell(ins.level, ins.operand)) return *fixed;
  values_.flush_all();  // the cell could be any
  if (ins.level == 1 && static_link_kept() && within(offset)) {
    reach_.link.add(offset);
    return {Address::link, offset};
  }
  walk_into_eax(ins.level);
  out_.line("subl\t$%d, %%eax", ins.operand);
  return checked_eax();
}

// The offsets from BP that the loop's registers' variables span, with any between them.
std::optional<Range> BlockWriter::resident_cells() const {
  if (loop_ == nullptr || loop_->resident.empty()) return std::nullopt;
  Range cells;
  for (const auto& [offset, r] : loop_->resident) cells.add(offset);
  return cells;
}

// Leaving to the machine at this instruction from inside a loop: the registers' variables go
// back to their cells, and SP is what it was before the instruction took `popped` values.
std::string BlockWriter::machine_from_here(int popped) const {
  std::string text = write_back();
  append(text, "\tleaq\t%d({SP}), {SP}\n\tmovl\t$%d, %%edi\n\tjmp\t.Lresume\n", values_.top() - popped,
         at_);
  return text;
}

// Inside a loop whose variables are in registers, an element whose cell (in %eax) is one of
// them, or lies between them, is left to the machine, which finds them in their cells. At
// Level 0 the cell's distance from BP is the index's and the array's, so the index alone tells.
void BlockWriter::not_resident(const Instruction& ins, const Value& index, int popped) {
  const std::optional<Range> cells = resident_cells();
  if (!cells) return;
  const std::string away = out_.cold_label();
  out_.cold += away + ":\n" + machine_from_here(popped);
  const long long low = cells->low, high = cells->high;
  if (ins.level <= 0 && (index.kind == Value::held || index.kind == Value::resident)) {
    out_.line("leal\t%lld(%s), %%edx", ins.operand + high, pool64[index.reg]);
  } else {
    out_.line("leal\t%lld(%%rax), %%edx", -low);
    out_.line("subl\t{BP32}, %%edx");
  }
  out_.line("cmpl\t$%lld, %%edx\t# one of the loop's registers' cells?", high - low);
  out_.line("jbe\t%s", away.c_str());
}

// The address of element `index` of the array at (Level, Operand), which takes `popped` values.
// At Level 0 a constant index names a frame cell like any variable's, proven by the block's
// check (unless a loop's register may hold it).
Address BlockWriter::element(const Instruction& ins, Value index, int popped) {
  if (ins.level > 3) index = values_.in_memory(index);
  const std::int64_t offset = static_cast<std::int64_t>(ins.operand) + index.number;
  const std::optional<Range> resident = resident_cells();
  const bool in_register = resident && -offset >= resident->low && -offset <= resident->high;
  const std::optional<Range> span = main_variables(ins);
  // Unless the machine restarts, every cell holds what the Interpreter's would.
  const bool known = !frames_.restarts || (span && offset >= span->low && offset <= span->high);
  if (ins.level <= 0 && index.kind == Value::constant && within(offset) && !in_register && known) {
    values_.touch_frame(-offset);
    return frame_cell(-offset);
  }
  // The cell could be any, unless it is one of the main program's variables: no push waits for
  // one of those, and where the machine restarts the pushes matter to it no more.
  if (!span || !frames_.restarts) values_.flush_all();
  if (span) {
    index_within(ins, index, *span, popped);
  } else if (frames_.restarts) {  // the cell could be a popped one, which holds nothing here
    const std::string away = out_.cold_label();
    out_.cold += away + ":\n" + machine_from_here(popped);
    out_.line("jmp\t%s\t# not surely among the main program's variables", away.c_str());
  }
  if (ins.level <= 0 && within(ins.operand)) {
    out_.line("leal\t%d({BP}), %%eax", -ins.operand);
  } else if (ins.level <= 0) {
    out_.line("movl\t{BP32}, %%eax");
    out_.line("subl\t$%d, %%eax", ins.operand);
  } else if (fixed_cell(ins.level, 0) && within(ins.operand)) {  // an array of the main program
    out_.line("movl\t$%d, %%eax", initial_bp - ins.operand);
  } else {
    walk_into_eax(ins.level);
    out_.line("subl\t$%d, %%eax", ins.operand);
  }
  out_.line("subl\t%s, %%eax", values_.text(index).c_str());
  if (span) return {Address::index, 0};
  const Address address = checked_eax();
  not_resident(ins, index, popped);
  return address;
}

// The offsets of the main program's frame that an element of the array at (Level, Operand)
// may reach on a check of its index alone: the array is the main program's and its frame's
// variables are all in the stack, so one comparison keeps the cell among them, out of reach
// of the links, of every procedure's frame and of a loop's registers; an index past them is
// left to the machine, which reads, writes or faults as the Interpreter does.
std::optional<Range> BlockWriter::main_variables(const Instruction& ins) const {
  if (!frames_.proven || own_procedure() < 0 || !within(ins.operand)) return std::nullopt;
  const bool main_frame = ins.level <= 0 ? own_procedure() == main_program
                                         : fixed_cell(ins.level, 0).has_value();
  const auto cells = frames_.cells.find(main_program);
  if (!main_frame || cells == frames_.cells.end() || cells->second - 1 > initial_bp) {
    return std::nullopt;
  }
  Range span{true, first_variable, cells->second - 1};
  const std::optional<Range> resident = resident_cells();
  if (resident && own_procedure() == main_program) {  // the registers' cells are offsets -high to -low
    if (ins.operand < -resident->high) {
      span.high = std::min(span.high, -resident->high - 1);
    } else if (ins.operand > -resident->low) {
      span.low = std::max(span.low, -resident->low + 1);
    } else {
      return std::nullopt;
    }
  }
  if (span.low > span.high) return std::nullopt;
  return span;
}

// Leaves for the machine unless element `index` of the array at (Level, Operand) lies in `span`.
void BlockWriter::index_within(const Instruction& ins, const Value& index, const Range& span,
                               int popped) {
  const long long first = std::int64_t{ins.operand} - span.low;
  if (index.kind == Value::resident) {
    if (values_.known_within(index.reg, first, 0, span.width())) return;
    values_.note_within(index.reg, first, 0, span.width());
  }
  const std::string away = out_.cold_label();
  out_.cold += away + ":\n" + machine_from_here(popped);
  if (index.kind == Value::constant) {
    const long long at = first + index.number;
    if (at < 0 || at > span.width()) out_.line("jmp\t%s\t# not among the main program's variables", away.c_str());
    return;
  }
  if (index.kind == Value::stored) {
    out_.line("movl\t%s, %%edx", values_.text(index).c_str());
    if (first != 0) out_.line("addl\t$%lld, %%edx", first);
    out_.line("cmpl\t$%lld, %%edx\t# among the main program's variables?",
              static_cast<long long>(span.width()));
  } else if (first != 0) {
    out_.line("leal\t%lld(%s), %%edx", first, pool[index.reg]);
    out_.line("cmpl\t$%lld, %%edx\t# among the main program's variables?",
              static_cast<long long>(span.width()));
  } else {
    out_.line("cmpl\t$%lld, %s\t# among the main program's variables?",
              static_cast<long long>(span.width()), pool[index.reg]);
  }
  out_.line("ja\t%s", away.c_str());
}

// Whether the next instruction writes the value on top: it is then loaded into %edi, where
// the service takes it.
bool BlockWriter::for_output() const {
  const auto next = static_cast<std::size_t>(at_) + 1;
  return next < program_.size() && !flow_.entry[next] &&
         (program_[next].opcode == WRITE || program_[next].opcode == PUTC);
}

// A runtime service by the entry that suits the machine stack here: as the prologue left it
// where no CAL's return can wait beneath (no CAL at all, or the main program's code of proven
// frames, whose RTNs all come back to it), else the entry that aligns it first.
std::string BlockWriter::service(const char* name) const {
  const bool aligned = !flow_.calls || (frames_.proven && own_procedure() == main_program);
  return aligned ? name : std::string(name) + "_aligning";
}

// Whether %eax and %edx come through the instruction unchanged: only what works on the pool's
// registers and on variables by BP (or at fixed cells) leaves them alone.
bool BlockWriter::keeps_division(const Instruction& ins) const {
  if (!is_opcode(ins.opcode)) return true;
  switch (static_cast<OpCode>(ins.opcode)) {
    case LOD:
    case STO: return ins.level <= 0 || fixed_cell(ins.level, ins.operand).has_value();
    case LIT:
    case JPC:
    case NEG:
    case ODD:
    PL0_BINARY_CASES return true;  // a comparison that needs %al forgets it itself
    case CAL:
    case INT:
    case JMP:
    case RTN:
    case WRITE:
    case READ:
    case PUTC:
    case GETC:
    case LDT:
    case STT: return false;
  }
  return false;
}

// A value as a division's operand: a constant, or a copy of a variable of a proven frame,
// which no push can reach.
Operand BlockWriter::operand(const Value& v) const {
  if (v.kind == Value::constant) return {Operand::constant, v.number};
  if (v.from) return {Operand::variable, *v.from};
  return {};
}

void BlockWriter::keep_ax(const std::string& source) {
  if (keeps_ax()) out_.line("movl\t%s, {Ax}\t\t# Ax, for a READ ahead", source.c_str());
}

// The instructions that bring %r12 up to date with the block's pushes and pops, leaving the
// flags alone.
std::string BlockWriter::sp_update() const {
  const int moved = values_.top();
  if (moved == 0) return "";
  if (values_.cells().used) {  // the block's check put SP near the stack: no 32-bit wrap
    return "\tleaq\t" + std::to_string(moved) + "({SP}), {SP}\n";
  }
  return "\tleal\t" + std::to_string(moved) + "({SP}), {SP32}\n\tmovslq\t{SP32}, {SP}\n";
}

void BlockWriter::set_sp() {
  out_.body += sp_update();
  sp_given_ += values_.settle();
}

// The label a jump to `target` takes: past the checks within a procedure; a CAL's target,
// whose SP - BP the CAL makes right, checks only the cells.
std::string BlockWriter::label(std::int32_t target, bool by_call) const {
  std::string name = ".L" + std::to_string(target);
  const std::int32_t procedure = flow_.procedure[static_cast<std::size_t>(target)];
  if (in_place_ != nullptr && !by_call) {  // the one way into the rest of the procedure
    if (in_place_->rest >= 0 && in_place_->rest != target) in_place_->spoilt = true;
    in_place_->rest = target;
    return in_place_->rest_label;
  }
  if (loop_ != nullptr && target == loop_->head) return name + "_loop";
  if (own_procedure() >= 0 && !by_call && procedure == own_procedure()) return name + "_in";
  if (by_call && procedure == target) return name + "_r";
  return name;
}

std::string BlockWriter::jump_text(std::int32_t target, bool by_call) const {
  if (target <= 0) return "\tjmp\t.Lstop\n";
  if (static_cast<std::size_t>(target) >= program_.size()) {
    return "\tmovl\t$" + std::to_string(target) + ", %edi\n\tcall\tpl0_no_instruction\n";
  }
  return (leaves_loop(target) ? write_back() : "") + "\tjmp\t" + label(target, by_call) + "\n";
}

void BlockWriter::jump(std::int32_t target, bool by_call) {
  out_.body += jump_text(target, by_call);
}

// The JPC that ends the test at a loop's head, where the test is short and plain enough to copy
// to the loop's JMP back: this frame's variables and elements (or fixed cells), constants,
// arithmetic that calls nothing and cannot fault (a division neither), and a comparison.
std::optional<std::int32_t> BlockWriter::test_at_head(std::int32_t head) const {
  const auto size = static_cast<std::int32_t>(program_.size());
  if (head <= 0 || head >= at_ || own_procedure() < 0 || leaves_loop(head) ||
      flow_.procedure[static_cast<std::size_t>(head)] != own_procedure()) {
    return std::nullopt;
  }
  constexpr std::int32_t longest = 12;
  for (std::int32_t k = head; k + 1 < size && k - head < longest; ++k) {
    const Instruction& ins = program_[static_cast<std::size_t>(k)];
    if ((k > head && flow_.entry[static_cast<std::size_t>(k)]) || !is_opcode(ins.opcode)) break;
    switch (static_cast<OpCode>(ins.opcode)) {
      case LIT:
      case ADD:
      case MIN:
      case MUL:
      case DIV:
      case MOD:
      case NEG:
      case ODD:
      PL0_COMPARISONS(PL0_CASE_LABEL, ) continue;
      case LOD:
        if (ins.level <= 0 || fixed_cell(ins.level, ins.operand)) continue;
        return std::nullopt;
      case LDT:  // its fault names the same instruction from either copy
        if (ins.level <= 0 || fixed_cell(ins.level, 0)) continue;
        return std::nullopt;
      case JPC:
        if (k == head) return std::nullopt;
        switch (program_[static_cast<std::size_t>(k) - 1].opcode) {
          PL0_COMPARISONS(PL0_CASE_LABEL, ) return k;
          default: return std::nullopt;
        }
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

// A loop's JMP back to its test at the head becomes a copy of that test branching back to the
// body while the condition holds: one conditional branch a turn instead of a jump and a branch.
// The copy is the head's own code, written again from the same SP - BP; where its comparison
// cannot be turned round (Ax observed, or SP to move), the plain jump stays.
bool BlockWriter::rotate(std::int32_t head) {
  if (turning_) return false;
  const std::optional<std::int32_t> jpc = test_at_head(head);
  if (!jpc) return false;
  // The copy runs on from here, with the registers' copies of variables as they are; it ends
  // with all the head's own (none: the test stores nothing), which the body takes over.
  BlockWriter copy(program_, flow_, frames_, head, header_, std::nullopt, values_.copies(), loop_);
  copy.turning_ = true;
  copy.out_.rename(std::to_string(head) + "_at" + std::to_string(at_));
  const Block test = copy.write();
  if (!copy.turned_ || copy.reach_.link_loaded || test.end != *jpc + 1) return false;
  out_.line("# the test at %d, copied: back to %d while it holds", head, *jpc + 1);
  out_.body += test.body;
  out_.cold += test.cold;
  out_.calls += test.calls;
  block_.turn_target = *jpc + 1;
  return true;
}

void BlockWriter::jump_if(const char* condition, std::int32_t target) {
  if (target <= 0) {
    out_.line("j%s\t.Lstop", condition);
  } else if (in_place_ != nullptr && at_ + 1 == in_place_->returns_before) {
    // The last JPC of a procedure's start copied to its CAL, to the procedure's return: on into
    // the rest where the JPC is not taken, and the RTN where it stands otherwise.
    out_.line("j%s\t%s", negated(condition).c_str(), label(at_ + 1, false).c_str());
    give_back(*return_of(program_, target));
  } else if (static_cast<std::size_t>(target) >= program_.size() || leaves_loop(target)) {
    const std::string away = out_.cold_label();
    out_.cold += away + ":\n" + jump_text(target, false);
    out_.line("j%s\t%s", condition, away.c_str());
  } else {
    out_.line("j%s\t%s", condition, label(target, false).c_str());
  }
}

}  // namespace pl0::native
