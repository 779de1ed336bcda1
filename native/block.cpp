#include "block.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "vocabulary.h"

namespace pl0::native {

namespace {

// The registers that hold stack values; %eax and %edx are kept for addresses and division.
constexpr const char* pool[] = {"%ecx", "%esi", "%edi", "%r8d", "%r9d", "%r10d", "%r11d"};
constexpr int pool_size = sizeof pool / sizeof *pool;

// Distances from SP or BP beyond which a block is left to the Interpreter's machine: its
// cells could never all lie in the stack, and its displacements would not fit an instruction.
constexpr int farthest = 10000;
constexpr int top_cell = 100;

const char* condition_of(std::int32_t opcode) {
  switch (opcode) {
    case EQU: return "e";
    case NEQ: return "ne";
    case LES: return "l";
    case LEQ: return "le";
    case GTR: return "g";
    default: return "ge";
  }
}

const char* opposite_of(std::int32_t opcode) {
  switch (opcode) {
    case EQU: return "ne";
    case NEQ: return "e";
    case LES: return "ge";
    case LEQ: return "g";
    case GTR: return "le";
    default: return "l";
  }
}


}  // namespace

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

void BlockWriter::emit(const char* format, ...) {
  char buffer[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  body_ += '\t';
  body_ += buffer;
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

// The address of the cell (Level, Operand) names.
std::string BlockWriter::variable(const Instruction& ins) {
  if (ins.level <= 0) {
    touch_frame(-static_cast<std::int64_t>(ins.operand));
    return frame_cell(ins.operand);
  }
  flush_all();  // the cell could be any
  if (ins.level == 1 && static_link_kept() && ins.operand >= -farthest && ins.operand <= farthest) {
    const std::int64_t offset = -static_cast<std::int64_t>(ins.operand);
    link_low_ = link_used_ ? std::min(link_low_, offset) : offset;
    link_high_ = link_used_ ? std::max(link_high_, offset) : offset;
    link_used_ = true;
    return std::to_string(-4 * ins.operand) + "(%rbx,%rbp,4)";
  }
  walk_into_eax(ins.level);
  emit("subl\t$%d, %%eax", ins.operand);
  return checked_eax();
}

// The address of element `index` of the array at (Level, Operand). At Level 0 a constant
// index names a frame cell like any variable's, proven by the block's check.
std::string BlockWriter::element(const Instruction& ins, Value index) {
  if (ins.level > 3) index = in_memory(index);
  const std::int64_t offset = static_cast<std::int64_t>(ins.operand) + index.number;
  if (ins.level <= 0 && index.kind == Value::constant && offset >= -farthest && offset <= farthest) {
    touch_frame(-offset);
    return frame_cell(static_cast<std::int32_t>(offset));
  }
  flush_all();  // the cell could be any
  if (ins.level <= 0) {
    if (ins.operand >= -farthest && ins.operand <= farthest) {
      emit("leal\t%d(%%r13), %%eax", -ins.operand);
    } else {
      emit("movl\t%%r13d, %%eax");
      emit("subl\t$%d, %%eax", ins.operand);
    }
  } else {
    walk_into_eax(ins.level);
    emit("subl\t$%d, %%eax", ins.operand);
  }
  emit("subl\t%s, %%eax", text(index).c_str());
  return checked_eax();
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

void BlockWriter::jump(std::int32_t target, bool by_call) {
  if (target <= 0) {
    emit("jmp\t.Lstop");
  } else if (static_cast<std::size_t>(target) >= program_.size()) {
    emit("movl\t$%d, %%edi", target);
    emit("call\tpl0_no_instruction");
  } else {
    emit("jmp\t%s", label(target, by_call).c_str());
  }
}

void BlockWriter::jump_if(const char* condition, std::int32_t target) {
  if (target <= 0) {
    emit("j%s\t.Lstop", condition);
  } else if (static_cast<std::size_t>(target) >= program_.size()) {
    const std::string fault = cold_label();
    cold_ += fault + ":\n\tmovl\t$" + std::to_string(target) + ", %edi\n\tcall\tpl0_no_instruction\n";
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
      char check[200];
      std::snprintf(check, sizeof check,
                    "\tleal\t%lld(%%rbp), %%eax\t# its cells, from %lld to %lld, in the stack?\n"
                    "\tcmpl\t$%lld, %%eax\n\tja\t%s\n",
                    static_cast<long long>(link_low_), static_cast<long long>(link_low_),
                    static_cast<long long>(link_high_),
                    static_cast<long long>(top_cell - (link_high_ - link_low_)), fallback.c_str());
      load += link_high_ - link_low_ > top_cell ? "\tjmp\t" + fallback + "\n" : check;
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
    if (!region->possible || region->high - region->low > top_cell) {
      out += "\tjmp\t" + fallback + "\t# cells that cannot all lie in the stack\n";
      return;
    }
    char check[200];
    std::snprintf(check, sizeof check,
                  "\tleal\t%lld(%%r13), %%eax\t# the procedure's cells, BP%+lld to BP%+lld, in "
                  "the stack?\n\tcmpl\t$%lld, %%eax\n\tja\t%s\n",
                  static_cast<long long>(region->low), static_cast<long long>(region->low),
                  static_cast<long long>(region->high),
                  static_cast<long long>(top_cell - (region->high - region->low)), fallback.c_str());
    out += check;
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
  char check[200];
  std::snprintf(check, sizeof check,
                "\tleal\t%lld(%s), %%eax\t# cells from %s%+lld to %s%+lld in the stack?\n"
                "\tcmpl\t$%lld, %%eax\n\tja\t%s\n",
                static_cast<long long>(low), reg, name, static_cast<long long>(low), name,
                static_cast<long long>(high), static_cast<long long>(top_cell - (high - low)),
                fallback.c_str());
  return check;
}

bool BlockWriter::instruction(const Instruction& ins) {
  const std::int32_t a = ins.operand;
  if (!is_opcode(ins.opcode)) return true;  // a number that is no opcode only advances PC
  // Every opcode has its case (-Wswitch).
  switch (static_cast<OpCode>(ins.opcode)) {
    case LIT:
      push({Value::constant, a, 0, 0});
      keep_ax("$" + std::to_string(a));
      return true;
    case LOD: {
      const std::string address = variable(ins);
      const int r = allocate(for_output() ? 2 : -1);
      emit("movl\t%s, %s", address.c_str(), pool[r]);
      push({Value::held, 0, r, 0});
      keep_ax(pool[r]);
      return true;
    }
    case STO: {
      const std::string address = variable(ins);
      const Value v = pop();
      if (address.find("%rbp") != std::string::npos) {
        if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) emit("leal\t%d(%%rbp), %%r14d", -a);
      } else if (ins.level > 0) {
        keep_ax("%eax");  // Ax is the cell's index
      } else if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) {
        emit("movl\t%%r13d, %%r14d\t\t# Ax, for a READ ahead");
        emit("subl\t$%d, %%r14d", a);
      }
      const int r = v.kind == Value::constant ? -1 : to_register(v);
      if (r < 0) {
        emit("movl\t$%d, %s", v.number, address.c_str());
      } else {
        emit("movl\t%s, %s", pool[r], address.c_str());
      }
      if (ins.level > 0 || a == 0) link_kept_ = false;  // the store may be the link's cell
      if (ins.level <= 0 && procedure_ >= 0) {
        // Only a copy of this very cell is stale now; stores of pushes to it went first.
        const std::int64_t depth = flow_.depth[static_cast<std::size_t>(start_)];
        for (auto it = stack_.begin(); it != stack_.end();) {
          it = depth + it->first == -static_cast<std::int64_t>(a) ? stack_.erase(it) : it + 1;
        }
      } else {
        forget_registers();
      }
      return true;
    }
    case LDT: {
      const Value index = pop();
      const std::string address = element(ins, index);
      const int r = allocate();
      emit("movl\t%s, %s", address.c_str(), pool[r]);
      push({Value::held, 0, r, 0});
      keep_ax(pool[r]);
      return true;
    }
    case STT: {
      Value v = pop();
      const Value index = pop();
      if (ins.level > 3) v = in_memory(v);  // the walk calls out, which changes registers
      const std::string address = element(ins, index);
      const int r = v.kind == Value::constant ? -1 : to_register(v);
      if (address.find("%r13") == std::string::npos) {
        keep_ax("%eax");  // Ax is the cell's index
      } else if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) {
        emit("movl\t%%r13d, %%r14d\t\t# Ax, for a READ ahead: the cell's index");
        emit("subl\t$%d, %%r14d", ins.operand);
        emit("subl\t$%d, %%r14d", index.number);
      }
      if (r < 0) {
        emit("movl\t$%d, %s", v.number, address.c_str());
      } else {
        emit("movl\t%s, %s", pool[r], address.c_str());
      }
      link_kept_ = false;  // the element may be the static link's cell
      forget_registers();
      return true;
    }
    case CAL:
      call(ins.level, a);
      falls_ = false;
      return false;
    case INT:
      reserve(a);
      return a >= -farthest && a <= farthest;
    case JMP:
      flush_all();
      set_sp();
      jump(a);
      falls_ = false;
      return false;
    case JPC: {
      const Value v = pop();
      flush_all();
      keep_ax(v);
      if (v.kind == Value::constant) {
        set_sp();
        if (v.number == 0) jump(a);
        falls_ = v.number != 0;
        return v.number != 0;
      }
      if (v.kind == Value::held) {
        emit("testl\t%s, %s", pool[v.reg], pool[v.reg]);
      } else {
        emit("cmpl\t$0, %s", cell(v.offset).c_str());
      }
      set_sp();
      jump_if("z", a);
      return false;
    }
    case RTN:
      give_back();
      falls_ = false;
      return false;
    case WRITE:
      output("pl0_write");
      return true;
    case PUTC:
      output("pl0_putc");
      return true;
    case READ:
      input("pl0_read");
      return true;
    case GETC:
      input("pl0_getc");
      return true;
    case NEG:
    case ODD: {
      const int r = to_register(pop());
      emit(ins.opcode == NEG ? "negl\t%s" : "andl\t$1, %s", pool[r]);
      push({Value::held, 0, r, 0});
      keep_ax(pool[r]);
      return true;
    }
    case ADD:
    case MIN:
    case MUL:
    case DIV:
    case MOD:
      arithmetic(ins.opcode);
      return true;
    case EQU:
    case NEQ:
    case LES:
    case LEQ:
    case GTR:
    case GEQ: {
      const auto next = static_cast<std::size_t>(at_) + 1;
      const bool fuse = next < program_.size() && program_[next].opcode == JPC &&
                        !flow_.entry[next];
      return compare(ins.opcode, fuse);
    }
  }
  return true;
}

void BlockWriter::call(std::int32_t level, std::int32_t target) {
  flush_all();
  std::string link = "%r13d";
  if (level == 1 && static_link_kept()) {
    link = "%ebp";
  } else if (level > 0) {
    walk_into_eax(level);
    link = "%eax";
  }
  note_sp(delta_ - 1);
  note_sp(delta_ - 3);
  emit("movl\t%s, %s\t# static link", link.c_str(), cell(delta_ - 1).c_str());
  emit("movl\t%%r13d, %s\t# dynamic link", cell(delta_ - 2).c_str());
  emit("movl\t$%d, %s\t# return address", at_ + 1, cell(delta_ - 3).c_str());
  if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) emit("leal\t%d(%%r12), %%r14d", delta_);
  emit("leaq\t%d(%%r12), %%r13", delta_ - 1);
  set_sp();
  jump(target, true);
}

void BlockWriter::reserve(std::int32_t count) {
  flush_all();
  if (count < -farthest || count > farthest) {
    set_sp();
    emit("subl\t$%d, %%r12d", count);
    emit("movslq\t%%r12d, %%r12");
    sp_lost_ = true;
    keep_ax("%r12d");
    return;
  }
  delta_ -= count;
  if (delta_ < -farthest || delta_ > farthest) wild_ = true;
  for (auto it = stack_.begin(); it != stack_.end();) {  // cells given back are no longer values
    it = it->first < delta_ ? stack_.erase(it) : it + 1;
  }
  if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) emit("leal\t%d(%%r12), %%r14d", delta_);
}

// RTN: the frame's link cells give PC, BP and Ax back; the return goes through the table.
void BlockWriter::give_back() {
  flush_all();
  note_bp(-2);
  note_bp(0);
  emit("movslq\t-8(%%rbx,%%r13,4), %%rax\t# PC: the return address");
  if (flow_.keeps_ax[static_cast<std::size_t>(at_)]) emit("movl\t(%%rbx,%%r13,4), %%r14d");
  emit("leaq\t1(%%r13), %%r12");
  emit("movslq\t-4(%%rbx,%%r13,4), %%r13\t# BP: the dynamic link");
  emit("cmpl\t$%zu, %%eax", program_.size());
  emit("jae\t.Lodd_return\t\t# past the program, or below 0");
  emit("movslq\t(%%r15,%%rax,4), %%rcx");
  emit("addq\t%%r15, %%rcx");
  emit("jmp\t*%%rcx");
}

void BlockWriter::output(const char* service) {
  const Value v = pop();
  flush_all();  // %edi may be waiting to be stored
  if (v.kind != Value::held || std::string(pool[v.reg]) != "%edi") {
    emit("movl\t%s, %%edi", text(v).c_str());
  }
  keep_ax("%edi");
  forget_registers();
  emit("call\t%s", service);
}

void BlockWriter::input(const char* service) {
  forget_registers();
  if (std::string(service) == "pl0_read") emit("movl\t%%r14d, %%edi\t# kept when no number stands there");
  emit("call\t%s", service);
  keep_ax("%eax");
  const int r = allocate();
  emit("movl\t%%eax, %s", pool[r]);
  push({Value::held, 0, r, 0});
}

void BlockWriter::arithmetic(std::int32_t opcode) {
  const Value right = pop();
  const Value left = pop();
  if (opcode == DIV || opcode == MOD) {
    divide(opcode, left, right);
    return;
  }
  const int r = to_register(left);
  if (opcode == MUL && right.kind == Value::constant) {
    emit("imull\t$%d, %s, %s", right.number, pool[r], pool[r]);
  } else {
    const char* operation = opcode == ADD ? "addl" : opcode == MIN ? "subl" : "imull";
    emit("%s\t%s, %s", operation, text(right).c_str(), pool[r]);
  }
  push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
}

// Division by 0 gives -2147483648, and by -1 the negation (which wraps): idiv would trap on
// both, so they take a path of their own.
void BlockWriter::divide(std::int32_t opcode, const Value& left, const Value& right) {
  const bool quotient = opcode == DIV;
  if (right.kind == Value::constant && (right.number == 0 || right.number == -1)) {
    if (right.number == -1 && quotient) {
      const int r = to_register(left);
      emit("negl\t%s", pool[r]);
      push({Value::held, 0, r, 0});
      keep_ax(pool[r]);
    } else {
      const std::int32_t result = right.number == 0 ? INT32_MIN : 0;
      push({Value::constant, result, 0, 0});
      keep_ax("$" + std::to_string(result));
    }
    return;
  }
  emit("movl\t%s, %%eax", text(left).c_str());
  const int r = to_register(right);  // the divisor, then the result
  const char* result = quotient ? "%eax" : "%edx";
  if (right.kind != Value::constant) {
    const std::string special = cold_label(), done = cold_label();
    emit("leal\t1(%s), %%edx\t\t# a divisor of 0 or -1?", pool[r]);
    emit("cmpl\t$1, %%edx");
    emit("jbe\t%s", special.c_str());
    emit("cltd");
    emit("idivl\t%s", pool[r]);
    body_ += done + ":\n";
    // %edx is 0 for a divisor of -1, 1 for a divisor of 0.
    cold_ += special + ":\n\ttestl\t%edx, %edx\n\tjne\t" + special + "z\n\t" +
             (quotient ? "negl\t%eax" : "xorl\t%edx, %edx") + "\n\tjmp\t" + done + "\n" +
             special + "z:\n\tmovl\t$-2147483648, " + result + "\n\tjmp\t" + done + "\n";
  } else {
    emit("cltd");
    emit("idivl\t%s", pool[r]);
  }
  flush_register(r);  // the divisor's cell, before r takes the result
  emit("movl\t%s, %s", result, pool[r]);
  push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
}

// A comparison, and with `fuse` the JPC after it: one compare, its 0 or 1 stored in the cell
// as the machine leaves it, and a jump on the opposite condition.
bool BlockWriter::compare(std::int32_t opcode, bool fuse) {
  Value right = pop();
  Value left = pop();
  if (left.kind == Value::constant || (left.kind == Value::stored && right.kind == Value::stored)) {
    left = {Value::held, 0, to_register(left), left.offset};
  }
  const auto jpc = static_cast<std::size_t>(at_) + 1;
  if (fuse && !flow_.keeps_ax[static_cast<std::size_t>(at_)] && !flow_.keeps_ax[jpc]) {
    // The result's cell gets its 0 or 1 either way: what waits for it is dropped.
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->first == left.offset) {
        pending_.erase(it);
        break;
      }
    }
    flush_all();
    emit("cmpl\t%s, %s", text(right).c_str(), text(left).c_str());
    // Each way stores its own 0 or 1 where the comparison leaves it.
    const std::string result = cell(delta_ - 1);
    const std::string sp = sp_update();
    const std::string taken = cold_label();
    ++at_;
    body_ += header(at_);
    emit("j%s\t%s", opposite_of(opcode), taken.c_str());
    emit("movl\t$1, %s", result.c_str());
    note_sp(delta_ - 1);
    body_ += sp;
    moved_ += delta_;
    delta_ = 0;
    cold_ += taken + ":\n\tmovl\t$0, " + result + "\n" + sp;
    std::swap(cold_, body_);  // the jump is written as for the block
    jump(program_[jpc].operand);
    std::swap(cold_, body_);
    return false;
  }
  emit("cmpl\t%s, %s", text(right).c_str(), text(left).c_str());
  const int r = allocate();
  emit("set%s\t%%al", condition_of(opcode));
  emit("movzbl\t%%al, %s", pool[r]);
  push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
  if (!fuse) return true;
  ++at_;
  body_ += header(at_);
  pop();
  keep_ax(pool[r]);
  flush_all();
  set_sp();
  jump_if(opposite_of(opcode), program_[static_cast<std::size_t>(at_)].operand);
  return false;
}

}  // namespace pl0::native
