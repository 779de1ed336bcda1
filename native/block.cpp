// A block's bookkeeping: the values on top of the stack and their registers, the stores that
// wait, the checks of its cells, its labels and its layout. The opcodes are instructions.cpp.
#include "block.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "vocabulary.h"

namespace pl0::native {

BlockWriter::BlockWriter(const std::vector<Instruction>& program, const Flow& flow,
                         std::int32_t start, std::string& cold, const Proof& known,
                         const Regions* regions, bool fallen_into)
    : program_(program),
      flow_(flow),
      regions_(regions),
      start_(start),
      at_(start),
      procedure_(flow.procedure[static_cast<std::size_t>(start)]),
      cold_(cold),
      cold_start_(cold.size()),
      known_(known),
      fallen_into_(fallen_into) {}

namespace {

// A number with its sign, as "+3" or "-7".
std::string signed_text(std::int64_t n) {
  return (n >= 0 ? "+" : "") + std::to_string(n);
}

void append_list(std::string& text, const char* format, va_list args) {
  char buffer[256];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  text += buffer;
}

// The check that the cells from `reg`+low to `reg`+high lie in the stack, going to `fallback`
// when they do not (always, when they lie too far apart).
std::string range_check(const char* reg, std::int64_t low, std::int64_t high,
                        const std::string& comment, const std::string& fallback) {
  if (high - low > top_cell) return "\tjmp\t" + fallback + "\t# cells too far apart\n";
  std::string text;
  append(text, "\tleal\t%lld(%s), %%eax\t# %s in the stack?\n\tcmpl\t$%lld, %%eax\n\tja\t%s\n",
         static_cast<long long>(low), reg, comment.c_str(),
         static_cast<long long>(top_cell - (high - low)), fallback.c_str());
  return text;
}

}  // namespace

void append(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  append_list(text, format, args);
  va_end(args);
}

void BlockWriter::emit(const char* format, ...) {
  body_ += '\t';
  va_list args;
  va_start(args, format);
  append_list(body_, format, args);
  va_end(args);
  body_ += '\n';
}

std::string BlockWriter::cold_label() {
  return ".Lc" + std::to_string(start_) + "_" + std::to_string(cold_count_++);
}

std::string BlockWriter::cell(int offset) const {
  return std::to_string(4 * offset) + "(%rbx,%r12,4)";
}

std::string BlockWriter::frame_cell(std::int32_t operand) {
  note_bp(-static_cast<std::int64_t>(operand));
  if (wild_) return "0(%rbx,%r13,4)";
  return std::to_string(-4 * operand) + "(%rbx,%r13,4)";
}

std::string BlockWriter::text(const Value& v) const {
  switch (v.kind) {
    case Value::constant: return "$" + std::to_string(v.number);
    case Value::held: return pool[v.reg];
    default: return cell(v.offset);
  }
}

void BlockWriter::note_sp(int offset) {
  if (!sp_used_) sp_low_ = sp_high_ = offset;
  sp_used_ = true;
  if (offset < sp_low_) sp_low_ = offset;
  if (offset > sp_high_) sp_high_ = offset;
}

void BlockWriter::note_bp(std::int64_t offset) {
  if (offset < -farthest || offset > farthest) wild_ = true;
  if (!bp_used_) bp_low_ = bp_high_ = offset;
  bp_used_ = true;
  if (offset < bp_low_) bp_low_ = offset;
  if (offset > bp_high_) bp_high_ = offset;
}

Value BlockWriter::pop() {
  const int offset = delta_++;
  note_sp(offset);
  for (auto it = stack_.begin(); it != stack_.end(); ++it) {
    if (it->first != offset) continue;
    Value v = it->second;
    stack_.erase(it);
    if (v.kind == Value::held) busy_ |= 1u << v.reg;
    v.offset = offset;
    return v;
  }
  flush(offset);
  return {Value::stored, 0, 0, offset};
}

// A push's store waits: when the next push to its cell comes before anything could read the
// cell, the store was useless and is dropped.
void BlockWriter::push(const Value& v) {
  const int offset = --delta_;
  note_sp(offset);
  const Value value{v.kind, v.number, v.reg, offset};
  bool replaced = false;
  for (auto& [at, waiting] : pending_) {
    if (at == offset) {
      waiting = value;
      replaced = true;
    }
  }
  if (!replaced) pending_.emplace_back(offset, value);
  stack_.emplace_back(offset, value);
}

void BlockWriter::store(const Value& v) {
  if (procedure_ < 0 || flow_.depth[static_cast<std::size_t>(start_)] + v.offset == 0) {
    link_kept_ = false;  // this push's cell is the static link's
  }
  if (v.kind == Value::constant) {
    emit("movl\t$%d, %s", v.number, cell(v.offset).c_str());
  } else {
    emit("movl\t%s, %s", pool[v.reg], cell(v.offset).c_str());
  }
}

void BlockWriter::flush(int offset) {
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it->first != offset) continue;
    store(it->second);
    pending_.erase(it);
    return;
  }
}

void BlockWriter::flush_all() {
  for (const auto& [offset, v] : pending_) store(v);
  pending_.clear();
}

// Before register `r` takes another value.
void BlockWriter::flush_register(int r) {
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->second.kind == Value::held && it->second.reg == r) {
      store(it->second);
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
}

// Before a Level-0 access to the cell at `offset` from BP: in a procedure's block the stack
// cells' distances from BP are known, so only a store to that very cell must be made first.
void BlockWriter::touch_frame(std::int64_t offset) {
  if (procedure_ < 0) {
    flush_all();
    return;
  }
  const std::int64_t depth = flow_.depth[static_cast<std::size_t>(start_)];
  for (const auto& [at, v] : std::vector<std::pair<int, Value>>(pending_)) {
    if (depth + at == offset) flush(at);
  }
}

// Whether the next instruction writes the value on top: it is then loaded into %edi, where
// the service takes it.
bool BlockWriter::for_output() const {
  const auto next = static_cast<std::size_t>(at_) + 1;
  return next < program_.size() && !flow_.entry[next] &&
         (program_[next].opcode == WRITE || program_[next].opcode == PUTC);
}

int BlockWriter::allocate(int preferred) {
  unsigned used = busy_;
  for (const auto& [offset, v] : stack_) {
    if (v.kind == Value::held) used |= 1u << v.reg;
  }
  if (preferred >= 0 && (used & (1u << preferred)) == 0) {
    flush_register(preferred);
    busy_ |= 1u << preferred;
    return preferred;
  }
  // A register whose value no store still waits for first: the wait may yet save the store.
  unsigned waiting = 0;
  for (const auto& [offset, v] : pending_) {
    if (v.kind == Value::held) waiting |= 1u << v.reg;
  }
  for (const unsigned avoid : {used | waiting, used}) {
    for (int r = 0; r < pool_size; ++r) {
      if ((avoid & (1u << r)) == 0) {
        flush_register(r);
        busy_ |= 1u << r;
        return r;
      }
    }
  }
  // All taken: the deepest value is read from its cell when it is needed.
  for (auto it = stack_.begin(); it != stack_.end(); ++it) {
    if (it->second.kind != Value::held || (busy_ & (1u << it->second.reg)) != 0) continue;
    const int r = it->second.reg;
    stack_.erase(it);
    flush_register(r);
    busy_ |= 1u << r;
    return r;
  }
  std::abort();  // an instruction holds at most three values
}

Value BlockWriter::in_memory(const Value& v) {
  if (v.kind != Value::held) return v;
  flush(v.offset);
  return {Value::stored, 0, 0, v.offset};
}

int BlockWriter::to_register(const Value& v) {
  if (v.kind == Value::held) return v.reg;
  const int r = allocate();
  emit("movl\t%s, %s", text(v).c_str(), pool[r]);
  return r;
}

// Forgetting the registers' copies (before a call, which may change them, or after a store,
// which may change a cell) costs only the stores still waiting.
void BlockWriter::forget_registers() {
  flush_all();
  stack_.clear();
}

// In a procedure's block the static link is loaded into %rbp once, and the Level-1 cells the
// block reaches are checked together, until a store might change the link's cell.
bool BlockWriter::static_link_kept() {
  if (procedure_ < 0 || !link_kept_) return false;
  note_bp(0);
  link_loaded_ = true;
  return true;
}

void BlockWriter::keep_ax(const std::string& source) {
  if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) {
    emit("movl\t%s, %%r14d\t\t# Ax, for a READ ahead", source.c_str());
  }
}

// Checks the cell index in %eax and returns its address.
std::string BlockWriter::checked_eax() {
  const std::string fault = cold_label();
  cold_ += fault + ":\n\tmovl\t%eax, %edi\n\tmovl\t$" + std::to_string(at_) +
           ", %esi\n\tcall\tpl0_cell_fault\n";
  emit("cmpl\t$%d, %%eax", top_cell);
  emit("ja\t%s", fault.c_str());
  return "(%rbx,%rax,4)";
}

// base(level) into %eax, for a Level of 1 or more: the static link is in the block's checked
// cells, every further link is checked as it is followed.
void BlockWriter::walk_into_eax(std::int32_t level) {
  if (level > 3) {
    forget_registers();
    emit("movl\t%%r13d, %%edi");
    emit("movl\t$%d, %%esi", level);
    emit("movl\t$%d, %%edx", at_);
    emit("call\tpl0_walk");
    return;
  }
  note_bp(0);
  emit("movl\t(%%rbx,%%r13,4), %%eax\t# static link");
  for (std::int32_t step = 1; step < level; ++step) {
    emit("movl\t%s, %%eax", checked_eax().c_str());
  }
}

// The instructions that bring %r12 up to date with the block's pushes and pops, leaving the
// flags alone.
std::string BlockWriter::sp_update() const {
  if (delta_ == 0) return "";
  if (sp_used_) {  // the block's check put SP near the stack: no 32-bit wrap is possible
    return "\tleaq\t" + std::to_string(delta_) + "(%r12), %r12\n";
  }
  return "\tleal\t" + std::to_string(delta_) + "(%r12), %r12d\n\tmovslq\t%r12d, %r12\n";
}

void BlockWriter::set_sp() {
  body_ += sp_update();
  moved_ += delta_;
  delta_ = 0;
}

// The label a jump to `target` takes: past the checks within a procedure; a CAL's target,
// whose SP - BP the CAL makes right, checks only the cells.
std::string BlockWriter::label(std::int32_t target, bool by_call) const {
  std::string name = ".L" + std::to_string(target);
  if (procedure_ >= 0 && !by_call && procedure(target) == procedure_) return name + "_in";
  if (by_call && procedure(target) == target) return name + "_r";
  return name;
}

std::int32_t BlockWriter::procedure(std::int32_t at) const {
  return flow_.procedure[static_cast<std::size_t>(at)];
}

std::string BlockWriter::jump_text(std::int32_t target, bool by_call) const {
  if (target <= 0) return "\tjmp\t.Lstop\n";
  if (static_cast<std::size_t>(target) >= program_.size()) {
    return "\tmovl\t$" + std::to_string(target) + ", %edi\n\tcall\tpl0_no_instruction\n";
  }
  return "\tjmp\t" + label(target, by_call) + "\n";
}

void BlockWriter::jump(std::int32_t target, bool by_call) {
  body_ += jump_text(target, by_call);
}

void BlockWriter::jump_if(const char* condition, std::int32_t target) {
  if (target <= 0) {
    emit("j%s\t.Lstop", condition);
  } else if (static_cast<std::size_t>(target) >= program_.size()) {
    const std::string fault = cold_label();
    cold_ += fault + ":\n" + jump_text(target, false);
    emit("j%s\t%s", condition, fault.c_str());
  } else {
    emit("j%s\t%s", condition, label(target, false).c_str());
  }
}

std::int32_t BlockWriter::write(std::string& text) {
  const auto size = static_cast<std::int32_t>(program_.size());
  bool open = true;
  while (open && at_ < size) {
    body_ += header(at_);
    const Instruction& ins = program_[static_cast<std::size_t>(at_)];
    open = instruction(ins);
    busy_ = 0;
    ++at_;
    if (at_ < size && flow_.entry[static_cast<std::size_t>(at_)]) break;
  }
  if (open) {  // falls through into the next block
    flush_all();
    set_sp();
  }
  const std::string fallback = ".Ld" + std::to_string(start_);
  cold_ += fallback + ":\n\tmovl\t$" + std::to_string(start_) + ", %edi\n\tjmp\t.Lresume\n";
  // Into a block of another procedure (in hand-made code) only through its checks.
  if (falls_ && at_ < size && procedure(at_) >= 0 && procedure(at_) != procedure_) {
    emit("jmp\t.L%d", at_);
  }
  const std::size_t first_header = body_.find('\n') + 1;
  if (link_loaded_) {
    std::string load = "\tmovslq\t(%rbx,%r13,4), %rbp\t# the static link\n";
    if (link_used_) {
      load += range_check("%rbp", link_low_, link_high_,
                          "its cells, from " + std::to_string(link_low_) + " to " +
                              std::to_string(link_high_) + ",",
                          fallback);
    }
    body_.insert(first_header, load);
  }
  if (procedure_ >= 0) {
    // Where no block falls in, the checks stand inline; otherwise out of line, so that the
    // block before falls past them.
    std::string checks;
    write_procedure_entry(fallback, checks);
    if (fallen_into_) {
      cold_ += checks + "\tjmp\t.L" + std::to_string(start_) + "_in\n";
      text += "\n";
    } else {
      text += "\n" + checks;
    }
    text += ".L" + std::to_string(start_) + "_in:\n" + body_;
    return at_;
  }

  text += "\n.L" + std::to_string(start_) + ":\n";
  text += body_.substr(0, first_header);
  body_.erase(0, first_header);
  if (wild_ || sp_high_ - sp_low_ > top_cell || bp_high_ - bp_low_ > top_cell) {
    cold_.resize(cold_start_);  // the body goes, and the out-of-line paths that return into it
    cold_ += fallback + ":\n\tmovl\t$" + std::to_string(start_) + ", %edi\n\tjmp\t.Lresume\n";
    text += "\t# cells that cannot all lie in the stack: the machine runs this block\n";
    text += "\tjmp\t" + fallback + "\n";
    return at_;
  }
  text += guard("%r12", "SP", sp_used_, sp_low_, sp_high_, known_.sp, known_.sp_low,
                known_.sp_high, fallback) +
          guard("%r13", "BP", bp_used_, bp_low_, bp_high_, known_.bp, known_.bp_low,
                known_.bp_high, fallback) +
          body_;

  // What holds on entering the next block: the cells proven here or before, seen from there.
  if (falls_) {
    after_.sp = !sp_lost_ && (sp_used_ || known_.sp);
    after_.sp_low = (sp_used_ ? sp_low_ : known_.sp_low) - moved_;
    after_.sp_high = (sp_used_ ? sp_high_ : known_.sp_high) - moved_;
    if (sp_used_ && known_.sp && known_.sp_low <= sp_high_ + 1 && sp_low_ <= known_.sp_high + 1) {
      after_.sp_low = std::min<std::int64_t>(sp_low_, known_.sp_low) - moved_;
      after_.sp_high = std::max<std::int64_t>(sp_high_, known_.sp_high) - moved_;
    }
    after_.bp = bp_used_ || known_.bp;
    after_.bp_low = bp_used_ ? bp_low_ : known_.bp_low;
    after_.bp_high = bp_used_ ? bp_high_ : known_.bp_high;
    if (bp_used_ && known_.bp && known_.bp_low <= bp_high_ + 1 && bp_low_ <= known_.bp_high + 1) {
      after_.bp_low = std::min(bp_low_, known_.bp_low);
      after_.bp_high = std::max(bp_high_, known_.bp_high);
    }
  }
  return at_;
}

// A procedure's block is entered from inside the procedure at .L<n>_in, knowing that the
// procedure's cells lie in the stack. From elsewhere it checks first, out of line: at .L<n>
// (a return, the table, hand-made code) that SP - BP is what the code expects, at .L<n>_r
// (a CAL, which makes it so) that the procedure's cells lie in the stack.
void BlockWriter::write_procedure_entry(const std::string& fallback, std::string& out) {
  const std::string n = std::to_string(start_);
  out += ".L" + n + ":\n\tmovl\t%r12d, %eax\t# SP - BP as the code expects?\n\tsubl\t%r13d, %eax\n";
  out += "\tcmpl\t$" + std::to_string(flow_.depth[static_cast<std::size_t>(start_)]) +
         ", %eax\n\tjne\t" + fallback + "\n.L" + n + "_r:\n";
  const Region* region = regions_ == nullptr ? nullptr : &regions_->at(procedure_);
  if (region != nullptr && region->used) {
    if (!region->possible) {
      out += "\tjmp\t" + fallback + "\t# cells that cannot all lie in the stack\n";
      return;
    }
    out += range_check("%r13", region->low, region->high,
                       "the procedure's cells, BP" + signed_text(region->low) + " to BP" +
                           signed_text(region->high) + ",",
                       fallback);
  }
}

void BlockWriter::add_cells_to(Regions& regions) const {
  if (procedure_ < 0) return;
  Region& region = regions[procedure_];
  auto add = [&region](std::int64_t low, std::int64_t high) {
    region.low = region.used ? std::min(region.low, low) : low;
    region.high = region.used ? std::max(region.high, high) : high;
    region.used = true;
  };
  const std::int64_t depth = flow_.depth[static_cast<std::size_t>(start_)];
  if (sp_used_) add(depth + sp_low_, depth + sp_high_);
  if (bp_used_) add(bp_low_, bp_high_);
  if (wild_) region.possible = false;
}

// The check that the cells from `name`+low to `name`+high lie in the stack, unless the block
// before proved them.
std::string BlockWriter::guard(const char* reg, const char* name, bool used, std::int64_t low,
                               std::int64_t high, bool known, std::int64_t known_low,
                               std::int64_t known_high, const std::string& fallback) const {
  if (!used) return "";
  if (known && known_low <= low && high <= known_high) {
    return std::string("\t# cells ") + name + std::to_string(low) + " to " + name +
           std::to_string(high) + ": proven by the block before\n";
  }
  return range_check(reg, low, high,
                     std::string("cells from ") + name + signed_text(low) + " to " + name +
                         signed_text(high),
                     fallback);
}

}  // namespace pl0::native
