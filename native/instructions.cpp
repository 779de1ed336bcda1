// Each opcode's x86-64 in the optimising generator: the instructions of one block, on the values
// the ValueStack keeps.
#include <cstdint>
#include <limits>

#include "block.h"
#include "stack.h"
#include "vocabulary.h"

namespace pl0::native {

namespace {

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

bool BlockWriter::instruction(const Instruction& ins) {
  const std::int32_t a = ins.operand;
  if (!is_opcode(ins.opcode)) return true;  // a number that is no opcode only advances PC
  // Every opcode has its case (-Wswitch).
  switch (static_cast<OpCode>(ins.opcode)) {
    case LIT:
      values_.push({Value::constant, a, 0, 0});
      keep_ax("$" + std::to_string(a));
      return true;
    case LOD: load(ins); return true;
    case STO: store(ins); return true;
    case LDT: load_element(ins); return true;
    case STT: store_element(ins); return true;
    case CAL: call(ins.level, a); return false;
    case INT: return reserve(a);
    case JMP:
      values_.flush_all();
      if (returns_at(a)) {  // SP is set from BP there: no need to move it here
        sp_given_ += values_.settle();
        out_.line("# the RTN at %d, in place of the jump", a);
        give_back(a);
        return false;
      }
      set_sp();
      if (!rotate(a)) jump(a);
      block_.falls = false;
      return false;
    case JPC: return branch(a);
    case RTN: give_back(at_); return false;
    case WRITE: output("pl0_write"); return true;
    case PUTC: output("pl0_putc"); return true;
    case READ:
    case GETC: input(ins.opcode); return true;
    case NEG:
    case ODD: unary(ins.opcode); return true;
    PL0_ARITHMETIC(PL0_CASE_LABEL, ) arithmetic(ins.opcode); return true;
    PL0_COMPARISONS(PL0_CASE_LABEL, ) {
      const auto next = static_cast<std::size_t>(at_) + 1;
      const bool fuse = next < program_.size() && program_[next].opcode == JPC &&
                        !flow_.entry[next];
      return compare(ins.opcode, fuse);
    }
  }
  return true;
}

void BlockWriter::load(const Instruction& ins) {
  const Address address = variable(ins);
  const std::optional<int> kept = resident(ins);
  const std::optional<std::int64_t> key = copy_key(address);
  const std::optional<int> copy = !kept && key ? values_.recall(*key) : std::nullopt;
  const int r = kept ? *kept : copy ? *copy : values_.allocate(for_output() ? argument_register : -1);
  if (!kept && !copy) out_.line("movl\t%s, %s", address.text().c_str(), pool[r]);
  Value v{kept ? Value::resident : Value::held, 0, r, 0};
  // A variable of a proven frame changes only by a STO to it.
  const auto cells = frames_.cells.find(own_procedure());
  if (ins.level == 0 && cells != frames_.cells.end() && ins.operand >= first_variable &&
      ins.operand < cells->second) {
    v.from = address.offset;
  }
  values_.push(v);
  keep_ax(pool[r]);
}

void BlockWriter::store(const Instruction& ins) {
  const std::int32_t a = ins.operand;
  const Address address = variable(ins);
  const Value v = values_.pop();
  if (address.base == Address::fixed) {
    if (keeps_ax()) out_.line("movl\t$%d, {Ax}", static_cast<int>(address.offset));
  } else if (address.base == Address::link) {
    if (keeps_ax()) out_.line("leal\t%d({link}), {Ax}", -a);
  } else if (ins.level > 0) {
    keep_ax("%eax");  // Ax is the cell's index
  } else if (keeps_ax()) {
    out_.line("movl\t{BP32}, {Ax}\t\t# Ax, for a READ ahead");
    out_.line("subl\t$%d, {Ax}", a);
  }
  const int reg = register_to_read(v);
  std::string source = reg < 0 ? "$" + std::to_string(v.number) : pool[reg];
  const std::optional<int> kept = resident(ins);
  if (kept) {  // into a loop's register straight from where a division left it
    if (const std::optional<std::string> unmoved = unmoved_result(v)) source = *unmoved;
  }
  if (kept) values_.before_writing_resident(*kept);
  const std::string target = kept ? pool[*kept] : address.text();
  if (source != target) out_.line("movl\t%s, %s", source.c_str(), target.c_str());
  if (kept) out_.body += shadow_text(*kept);
  if (const std::optional<std::int64_t> key = copy_key(address)) {
    if (frames_.proven && !kept && reg >= 0 && v.kind != Value::resident) {
      values_.remember(*key, reg);
    } else {
      values_.forget_copy(*key);
    }
  }
  // A fixed cell is none of this frame's, nor a link; at Level 0 only a copy of this very
  // cell is stale now (stores of pushes to it went first).
  if (address.base == Address::fixed) return;
  if (ins.level > 0 || a == 0) reach_.link_changed = true;  // the store may be the link's cell
  if (ins.level <= 0) {
    const std::int64_t cell = -static_cast<std::int64_t>(a);
    values_.forget_frame_cell(cell);
    values_.forget_source(cell);
    const Operand changed{Operand::variable, cell};
    if (division_ && (division_->dividend.same_as(changed) || division_->divisor.same_as(changed))) {
      division_.reset();
    }
  } else {
    values_.forget_registers();
    values_.forget_sources();
  }
}

// What names a variable's cell among the copies the ValueStack keeps: a frame cell or a fixed
// one, which no other address in the block can reach where the frames are proven.
std::optional<std::int64_t> BlockWriter::copy_key(const Address& address) {
  if (address.base == Address::frame) return address.offset;
  if (address.base == Address::fixed) return ValueStack::fixed_copy + address.offset;
  return std::nullopt;
}

void BlockWriter::load_element(const Instruction& ins) {
  // the machine may take over at this LDT (unless it restarts, when no cell matters)
  if (resident_cells() && !frames_.restarts) values_.flush_all();
  const Value index = values_.pop();
  const Address address = element(ins, index, 1);
  const int r = values_.allocate();
  out_.line("movl\t%s, %s", address.text().c_str(), pool[r]);
  values_.push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
}

void BlockWriter::store_element(const Instruction& ins) {
  // Where the frames are proven the index and the value go to their cells first, so that the
  // machine can take over at this STT should the element not be one of its frame's variables.
  // Without a CAL no link is relied on (the main program's RTN reads its cells), so no check.
  const bool checked = frames_.proven && flow_.calls;
  if ((checked || resident_cells()) && !frames_.restarts) values_.flush_all();
  Value v = values_.pop();
  const Value index = values_.pop();
  if (checked && !main_variables(ins)) element_among_variables(ins, index);
  if (ins.level > 3) v = values_.in_memory(v);  // the walk calls out, which changes registers
  const Address address = element(ins, index, 2);
  const int r = register_to_read(v);
  if (address.base != Address::frame) {
    keep_ax("%eax");  // Ax is the cell's index
  } else if (keeps_ax()) {
    out_.line("movl\t{BP32}, {Ax}\t\t# Ax, for a READ ahead: the cell's index");
    out_.line("subl\t$%d, {Ax}", ins.operand);
    out_.line("subl\t$%d, {Ax}", index.number);
  }
  if (r < 0) {
    out_.line("movl\t$%d, %s", v.number, address.text().c_str());
  } else {
    out_.line("movl\t%s, %s", pool[r], address.text().c_str());
  }
  reach_.link_changed = true;  // the element may be the static link's cell
  // One of the main program's variables, if checked so: only their copies are stale now.
  if (const std::optional<Range> span = main_variables(ins)) {
    const std::int64_t key = own_procedure() == main_program ? 0 : ValueStack::fixed_copy + initial_bp;
    values_.forget_variables(key - span->high, key - span->low);
  } else {
    values_.forget_registers();
  }
}

// The check that an STT's element lies among the variables of the frame its Level names (frames.h):
// past it, the Interpreter's machine runs on from this STT, SP as it was before the STT popped.
void BlockWriter::element_among_variables(const Instruction& ins, const Value& index) {
  const std::int32_t frame =
      ins.level <= 0 ? own_procedure() : frames_.ancestor(own_procedure(), ins.level);
  const auto cells = frames_.cells.find(frame);
  const std::string away = out_.cold_label();
  out_.cold += away + ":\n" + machine_from_here(2);
  if (cells == frames_.cells.end() || ins.operand < -farthest || ins.operand > farthest) {
    out_.line("jmp\t%s\t# an element of no known frame", away.c_str());
    return;
  }
  const std::int64_t variables = cells->second - first_variable;  // how many the frame has
  const std::int64_t first = std::int64_t{ins.operand} - first_variable;
  if (index.kind == Value::constant) {
    const std::int64_t at = first + index.number;
    if (at < 0 || at >= variables) out_.line("jmp\t%s\t# not among the frame's variables", away.c_str());
    return;
  }
  if (index.kind == Value::stored) {
    out_.line("movl\t%s, %%edx", values_.text(index).c_str());
    out_.line("addl\t$%lld, %%edx", static_cast<long long>(first));
  } else {
    out_.line("leal\t%lld(%s), %%edx", static_cast<long long>(first), pool[index.reg]);
  }
  out_.line("cmpl\t$%lld, %%edx\t# among the frame's variables?", static_cast<long long>(variables - 1));
  out_.line("ja\t%s", away.c_str());
}

void BlockWriter::call(std::int32_t level, std::int32_t target) {
  Copies kept;  // the main program's cells are where they were, for a procedure's start in place
  for (const auto& copy : values_.copies()) {
    if (copy.first >= ValueStack::fixed_copy) kept.push_back(copy);
  }
  values_.forget_registers();  // the callee changes them
  std::string link = "{BP32}";
  if (const auto fixed = fixed_cell(level, 0)) {
    link = "$" + std::to_string(initial_bp);  // the main program's frame
  } else if (level == 1 && static_link_kept()) {
    link = "{link32}";
  } else if (level > 0) {
    walk_into_eax(level);
    link = "%eax";
  }
  const int top = values_.top();
  values_.note(top - 1);
  values_.note(top - 3);
  if (!frames_.links_rebuilt) {
    out_.line("movl\t%s, %s\t# static link", link.c_str(), values_.cell(top - 1).c_str());
    out_.line("movl\t{BP32}, %s\t# dynamic link", values_.cell(top - 2).c_str());
    out_.line("movl\t$%d, %s\t# return address", at_ + 1, values_.cell(top - 3).c_str());
  } else {
    out_.line("# the link cells are left unwritten: nothing here reads them");
  }
  if (keeps_ax()) out_.line("leal\t%d({SP}), {Ax}", top);
  out_.line("leaq\t%d({SP}), {BP}", top - 1);
  set_sp();
  block_.falls = false;
  if (target <= 0 || static_cast<std::size_t>(target) >= program_.size()) {
    jump(target, true);
    return;
  }
  // The call's return waits on the machine stack; past `deepest_calls` the CAL jumps, and its
  // RTN's `ret` lands at an older CAL, whose check sends it on through the table. Where the
  // frames are proven, each waiting return is a frame of three cells or more in the stack, and
  // the callee's check of its cells stops the run before the 101 cells could hold more.
  if (!frames_.proven) {
    const std::string deep = out_.cold_label();
    out_.cold += deep + ":\n" + jump_text(target, true);
    out_.line("cmpq\tpl0_deepest_call(%%rip), %%rsp\t# room for one more call?");
    out_.line("jbe\t%s", deep.c_str());
  }
  if (!call_in_place(target, kept)) {
    out_.line("call\t%s", label(target, true).c_str());
    if (frames_.links_rebuilt) {  // where the return lands, for rebuilding the cells
      const std::string back = out_.return_label();
      out_.body += back + ":\n";
      append(out_.calls, "\t.long\t%s - pl0_calls, %d, %d\n", back.c_str(), at_ + 1,
             flow_.depth[static_cast<std::size_t>(at_)]);
    }
  }
  // Where the frames are proven no STO writes a link cell, so the callee's RTN comes back here
  // with SP as it was, and BP is SP less what SP - BP is here: worked out, not read from the
  // dynamic link (a load each return waited for). On into the next block, past its checks.
  if (frames_.proven && own_procedure() >= 0) {
    const std::int32_t depth = flow_.depth[static_cast<std::size_t>(at_)];
    out_.line("leaq\t%d({SP}), {BP}\t# BP: SP - BP is %d here", -depth, depth);
  } else if (frames_.proven) {  // never runs: no path leads here
    out_.line("movslq\t-4({cells},{BP},4), {BP}");
  } else {
    out_.line("cmpl\t$%d, %%eax\t\t# PC: this CAL's return point?", at_ + 1);
    out_.line("jne\t.Lreturn_table");
  }
  block_.falls = frames_.proven;
}

// INT: SP moves by a known amount, within the block's reach; or the block ends there.
bool BlockWriter::reserve(std::int32_t count) {
  values_.flush_all();
  if (count < -farthest || count > farthest) {
    set_sp();
    out_.line("subl\t$%d, {SP32}", count);
    out_.line("movslq\t{SP32}, {SP}");
    block_.sp_lost = true;
    keep_ax("{SP32}");
    return false;
  }
  values_.move(count);
  if (values_.top() < -farthest || values_.top() > farthest) reach_.too_far = true;
  if (keeps_ax()) out_.line("leal\t%d({SP}), {Ax}", values_.top());
  return true;
}

// JPC: a constant condition decides at once; otherwise test and branch.
bool BlockWriter::branch(std::int32_t target) {
  const Value v = values_.pop();
  values_.flush_all();
  keep_ax(values_.text(v));
  if (v.kind == Value::constant) {
    set_sp();
    if (v.number == 0) jump(target);
    block_.falls = v.number != 0;
    return v.number != 0;
  }
  if (v.kind == Value::held || v.kind == Value::resident) {
    out_.line("testl\t%s, %s", pool[v.reg], pool[v.reg]);
  } else {
    out_.line("cmpl\t$0, %s", values_.cell(v.offset).c_str());
  }
  set_sp();
  jump_if("z", target);
  return false;
}

// Whether the instruction at `target` is a RTN of this procedure that reads no cell (see
// give_back): a JMP to it returns where it stands, a jump the fewer.
bool BlockWriter::returns_at(std::int32_t target) const {
  if (target <= 0 || static_cast<std::size_t>(target) >= program_.size()) return false;
  const auto t = static_cast<std::size_t>(target);
  return program_[t].opcode == RTN && frames_.proven && own_procedure() > main_program &&
         flow_.procedure[t] == own_procedure() && !leaves_loop(target);
}

// RTN: the frame's link cells give PC, BP and Ax back. The machine's own `ret` goes back to
// the CAL that waits on the machine stack, where the processor predicts it; that CAL checks
// that PC leads to it. With no CAL waiting, the return goes through the table.
void BlockWriter::give_back(std::int32_t rtn) {
  const bool ax_kept = flow_.keeps_ax[static_cast<std::size_t>(rtn)];
  values_.flush_all();
  note_bp(-2);
  note_bp(0);
  // Where the frames are proven, a procedure's RTN always has its CAL's return waiting, to
  // the address in the cell: `ret` alone takes it there, and the CAL sets BP again.
  const bool to_its_call = frames_.proven && own_procedure() > main_program;
  if (!to_its_call) out_.line("movslq\t-8({cells},{BP},4), %%rax\t# PC: the return address");
  if (ax_kept && to_its_call && frames_.links_rebuilt) {
    out_.line("movl\t$%d, {Ax}\t\t# the static link", initial_bp);
  } else if (ax_kept) {
    out_.line("movl\t({cells},{BP},4), {Ax}");
  }
  out_.line("leaq\t1({BP}), {SP}");
  if (!to_its_call) {
    out_.line("movslq\t-4({cells},{BP},4), {BP}\t# BP: the dynamic link");
    out_.line("cmpq\t{frame}, %%rsp\t\t# a CAL's return waiting?");
    out_.line("je\t.Lreturn_table");
  }
  if (in_place_ != nullptr && to_its_call) {
    out_.line("jmp\t%s\t# back to the CAL", in_place_->back.c_str());
  } else {
    out_.line("ret");
  }
  block_.falls = false;
}

void BlockWriter::output(const char* name) {
  const Value v = values_.pop();
  values_.flush_all();  // %edi may be waiting to be stored
  if (v.kind != Value::held || v.reg != argument_register) {
    out_.line("movl\t%s, %%edi", values_.text(v).c_str());
  }
  keep_ax("%edi");
  values_.forget_registers();
  out_.line("call\t%s", service(name).c_str());
}

void BlockWriter::input(std::int32_t opcode) {
  values_.forget_registers();
  if (opcode == READ) {
    out_.line("movl\t{Ax}, %%edi\t# kept when no number stands there");
    out_.line("call\t%s", service("pl0_read").c_str());
  } else {
    out_.line("call\t%s", service("pl0_getc").c_str());
  }
  keep_ax("%eax");
  const int r = values_.allocate();
  out_.line("movl\t%%eax, %s", pool[r]);
  values_.push({Value::held, 0, r, 0});
}

void BlockWriter::unary(std::int32_t opcode) {
  const int r = values_.to_register(values_.pop());
  values_.changing(r);
  out_.line(opcode == NEG ? "negl\t%s" : "andl\t$1, %s", pool[r]);
  values_.push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
}

void BlockWriter::arithmetic(std::int32_t opcode) {
  const Value right = values_.pop();
  const Value left = values_.pop();
  switch (opcode) {
    case ADD:
    case MIN:
    case MUL: break;
    case DIV:
    case MOD: divide(opcode, left, right); return;
    default: operate_by_call(opcode, left, right); return;
  }
  // The result goes to the left operand's cell: a store of that operand still waiting is moot.
  values_.drop_store(left.offset);
  // x := x + y with x in a loop's register: the register itself is added to, and the STO after
  // has nothing left to move.
  const auto next = static_cast<std::size_t>(at_) + 1;
  const bool in_place = left.kind == Value::resident && next < program_.size() &&
                        !flow_.entry[next] && program_[next].opcode == STO &&
                        resident(program_[next]) == left.reg;
  if (in_place) values_.before_writing_resident(left.reg);
  // A loop's register times a constant goes straight into a register of its own.
  const bool from_resident = !in_place && left.kind == Value::resident && opcode == MUL &&
                             right.kind == Value::constant;
  const int r = in_place ? left.reg : from_resident ? values_.allocate() : values_.to_register(left);
  values_.changing(r);
  if (opcode == MUL && right.kind == Value::constant) {
    out_.line("imull\t$%d, %s, %s", right.number, pool[from_resident ? left.reg : r], pool[r]);
  } else {
    const char* operation = opcode == ADD ? "addl" : opcode == MIN ? "subl" : "imull";
    out_.line("%s\t%s, %s", operation, values_.text(right).c_str(), pool[r]);
  }
  values_.push({in_place ? Value::resident : Value::held, 0, r, 0});
  keep_ax(pool[r]);
}

// An operation with no instructions of its own here: the runtime's (the Interpreter's own),
// through a call, which changes the pool's registers.
void BlockWriter::operate_by_call(std::int32_t opcode, const Value& left, const Value& right) {
  const Value l = values_.in_memory(left);
  const Value r = values_.in_memory(right);
  values_.forget_registers();
  out_.line("movl\t$%d, %%edi\t\t# %s", opcode, opcode_names[opcode]);
  out_.line("movl\t%s, %%esi", values_.text(l).c_str());
  out_.line("movl\t%s, %%edx", values_.text(r).c_str());
  out_.line("call\t%s", service("pl0_operate").c_str());
  const int result = values_.allocate();
  out_.line("movl\t%%eax, %s", pool[result]);
  values_.push({Value::held, 0, result, 0});
  keep_ax(pool[result]);
}

namespace {

// k where n is 2^k for k from 1 to 30, else 0.
int power_of_two(std::int32_t n) {
  for (int k = 1; k <= 30; ++k) {
    if (n == (1 << k)) return k;
  }
  return 0;
}

}  // namespace

// Division by 0 gives -2147483648, and by -1 the negation (which wraps). Either way %eax ends with the quotient and %edx with the remainder, which a DIV or
// MOD of the same operands takes while they stay.
void BlockWriter::divide(std::int32_t opcode, const Value& left, const Value& right) {
  const bool quotient = opcode == DIV;
  const char* result = quotient ? "%eax" : "%edx";
  const KeptDivision division{operand(left), operand(right)};
  if (division_ && division_->dividend.same_as(division.dividend) &&
      division_->divisor.same_as(division.divisor)) {
    const int r = values_.allocate();
    const std::size_t from = out_.body.size();
    out_.line("movl\t%s, %s\t\t# from the division before", result, pool[r]);
    moved_result_ = MovedResult{r, result, from, out_.body.size()};
    values_.push({Value::held, 0, r, 0});
    keep_ax(pool[r]);
    return;
  }
  division_.reset();
  if (right.kind == Value::constant && (right.number == 0 || right.number == -1)) {
    if (right.number == -1 && quotient) {
      const int r = values_.to_register(left);
      values_.changing(r);
      out_.line("negl\t%s", pool[r]);
      values_.push({Value::held, 0, r, 0});
      keep_ax(pool[r]);
    } else {
      const std::int32_t constant = right.number == 0 ? INT32_MIN : 0;
      values_.push({Value::constant, constant, 0, 0});
      keep_ax("$" + std::to_string(constant));
    }
    return;
  }
  // In doubles the dividend is converted from where it is (a constant by way of %eax).
  const std::string dividend = values_.text(left);
  const bool in_doubles = right.kind != Value::constant;
  if (!in_doubles || left.kind == Value::constant) out_.line("movl\t%s, %%eax", dividend.c_str());
  const int shift = right.kind == Value::constant ? power_of_two(right.number) : 0;
  // The divisor's register, then the result's; a loop's register is read where it is.
  const bool apart = shift > 0 || right.kind == Value::resident;
  const int r = apart ? values_.allocate() : values_.to_register(right);
  const char* divisor = right.kind == Value::resident ? pool[right.reg] : pool[r];
  const bool kept = shift == 0 || other_result_wanted(opcode);
  if (shift > 0) {
    divide_by_power_of_two(shift, kept ? Wanted::both : quotient ? Wanted::quotient : Wanted::remainder);
    if (!kept) result = "%eax";
  } else if (right.kind == Value::constant) {
    out_.line("cltd");  // by a constant, idiv is the quicker here
    out_.line("idivl\t%s", pool[r]);
  } else {
    // The doubles give the quotients of 0 and -1 too: a quotient out of range (n / 0, which is
    // infinite or not a number, and -2147483648 / -1) truncates to -2147483648, the machine's
    // answer for both; and n less the quotient times -1 wraps to 0. Only n mod 0 is wrong.
    const std::string by_zero = out_.cold_label(), done = out_.cold_label();
    const bool shadowed = left.kind == Value::resident && loop_ != nullptr && left.reg == loop_->shadowed;
    divide_exactly(left.kind == Value::constant ? "%eax" : shadowed ? "%xmm2" : dividend, dividend, divisor);
    out_.line("testl\t%s, %s\t# a divisor of 0?", divisor, divisor);
    out_.line("je\t%s", by_zero.c_str());
    out_.body += done + ":\n";
    out_.cold += by_zero + ":\n\tmovl\t$-2147483648, %edx\n\tjmp\t" + done + "\n";
  }
  if (kept) division_ = division;
  values_.flush_register(r);  // the divisor's cell, before r takes the result
  values_.changing(r);
  const std::size_t from = out_.body.size();
  out_.line("movl\t%s, %s", result, pool[r]);
  moved_result_ = MovedResult{r, result, from, out_.body.size()};
  values_.push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
}

// n / divisor into %eax, the remainder into %edx, for a variable divisor (divide() mends n mod
// 0); n is converted from `from` (a register or a cell, or taken from %xmm2, which holds it
// converted already) and added as `n` (that, or a constant). In
// doubles rather than by idiv, which is slower here: the quotient of two 32-bit numbers
// rounded to 53 bits never reaches the next integer away from zero (it is at least 1/|d|
// away, the rounding at most 2^-22/|d|), so truncating it is exact, and n - q * d is the
// remainder. The xorps break cvtsi2sd's dependence on the registers' old upper halves.
void BlockWriter::divide_exactly(const std::string& from, const std::string& n, const char* divisor) {
  if (from == "%xmm2") {
    out_.line("movapd\t%%xmm2, %%xmm0\t# n, kept as a double through the loop");
  } else {
    out_.line("xorps\t%%xmm0, %%xmm0");
    out_.line("cvtsi2sdl\t%s, %%xmm0", from.c_str());
  }
  out_.line("xorps\t%%xmm1, %%xmm1");
  out_.line("cvtsi2sdl\t%s, %%xmm1", divisor);
  out_.line("divsd\t%%xmm1, %%xmm0");
  out_.line("cvttsd2sil\t%%xmm0, %%eax\t# the quotient");
  out_.line("movl\t%%eax, %%edx");
  out_.line("imull\t%s, %%edx", divisor);
  out_.line("negl\t%%edx");
  out_.line("addl\t%s, %%edx\t\t# the remainder", n.c_str());
}

// Whether a MOD after this DIV (or a DIV after this MOD) may take the division's other result:
// the instructions up to the first that changes %eax or %edx.
bool BlockWriter::other_result_wanted(std::int32_t opcode) const {
  const std::int32_t other = opcode == DIV ? MOD : DIV;
  for (auto at = static_cast<std::size_t>(at_) + 1; at < program_.size(); ++at) {
    if (program_[at].opcode == other) return true;
    if (!keeps_division(program_[at])) return false;
  }
  return false;
}

// n / 2^shift toward zero into %eax and the remainder into %edx, or the one `wanted` alone into
// %eax: a negative n is first raised by 2^shift - 1. The remainder is n less the quotient's
// multiple of 2^shift, which is n raised with its low bits cleared.
void BlockWriter::divide_by_power_of_two(int shift, Wanted wanted) {
  const long long low_bits = (1LL << shift) - 1;
  if (wanted == Wanted::quotient) {
    out_.line("leal\t%lld(%%rax), %%edx", low_bits);
    out_.line("testl\t%%eax, %%eax");
    out_.line("cmovsl\t%%edx, %%eax\t\t# raised where n < 0");
    out_.line("sarl\t$%d, %%eax\t\t# the quotient", shift);
    return;
  }
  out_.line("movl\t%%eax, %%edx");
  out_.line("sarl\t$31, %%edx");
  out_.line("andl\t$%lld, %%edx\t\t# 2^%d - 1 where n < 0", low_bits, shift);
  out_.line("addl\t%%eax, %%edx");
  out_.line("andl\t$%lld, %%edx", -low_bits - 1);
  out_.line("subl\t%%edx, %%eax\t\t# the remainder");
  if (wanted == Wanted::remainder) return;
  out_.line("xchgl\t%%eax, %%edx");
  out_.line("sarl\t$%d, %%eax\t\t# the quotient", shift);
}

// A comparison, and with `fuse` the JPC after it: one compare and branch where Ax need not be
// kept; otherwise its 0 or 1 in a register, and the JPC on that.
bool BlockWriter::compare(std::int32_t opcode, bool fuse) {
  const Value right = values_.pop();
  Value left = values_.pop();
  if (left.kind == Value::constant || (left.kind == Value::stored && right.kind == Value::stored)) {
    left = {Value::held, 0, values_.to_register(left), left.offset};
  }
  const auto jpc = static_cast<std::size_t>(at_) + 1;
  if (fuse && !keeps_ax() && !flow_.keeps_ax[jpc]) return compare_and_branch(opcode, left, right);
  division_.reset();  // set<condition> writes %al
  out_.line("cmpl\t%s, %s", values_.text(right).c_str(), values_.text(left).c_str());
  const int r = values_.allocate();
  out_.line("set%s\t%%al", condition_of(opcode));
  out_.line("movzbl\t%%al, %s", pool[r]);
  values_.push({Value::held, 0, r, 0});
  keep_ax(pool[r]);
  if (!fuse) return true;
  ++at_;
  out_.body += header_(at_);
  values_.pop();
  keep_ax(pool[r]);
  values_.flush_all();
  set_sp();
  jump_if(opposite_of(opcode), program_[static_cast<std::size_t>(at_)].operand);
  return false;
}

// The register a stored value is read from: a loop's own where it is one, else one it is
// brought into; -1 for a constant.
int BlockWriter::register_to_read(const Value& v) {
  if (v.kind == Value::constant) return -1;
  return v.kind == Value::resident ? v.reg : values_.to_register(v);
}

// Where a division left `v`, its result moved into a register just before and used at once:
// the move is taken back, and the value is read there instead.
std::optional<std::string> BlockWriter::unmoved_result(const Value& v) {
  if (!moved_result_ || v.kind != Value::held || v.reg != moved_result_->reg ||
      !only_comments_since(moved_result_->end)) {
    return std::nullopt;
  }
  out_.body.erase(moved_result_->start, moved_result_->end - moved_result_->start);
  const std::string source = moved_result_->source;
  moved_result_.reset();
  return source;
}

// Whether the body has had only comment lines (instructions' headers) added since `at`.
bool BlockWriter::only_comments_since(std::size_t at) const {
  if (at > out_.body.size()) return false;
  for (std::size_t line = at; line < out_.body.size(); line = out_.body.find('\n', line) + 1) {
    if (out_.body.compare(line, 2, "\t#") != 0) return false;
  }
  return true;
}

// One compare and a branch on the opposite condition; each way stores its own 0 or 1 where
// the comparison leaves it, so what waits for that cell is dropped.
bool BlockWriter::compare_and_branch(std::int32_t opcode, const Value& left, const Value& right) {
  const auto jpc = static_cast<std::size_t>(at_) + 1;
  values_.drop_store(left.offset);
  values_.flush_all();
  std::string right_text = values_.text(right), left_text = values_.text(left);
  if (const std::optional<std::string> unmoved = unmoved_result(left)) {
    left_text = *unmoved;
  } else if (const std::optional<std::string> unmoved_right = unmoved_result(right)) {
    right_text = *unmoved_right;
  }
  out_.line("cmpl\t%s, %s", right_text.c_str(), left_text.c_str());
  const std::string result = values_.cell(values_.top() - 1);
  const bool unread = values_.unread(values_.top() - 1);
  const std::string sp = sp_update();
  ++at_;
  out_.body += header_(at_);
  if (turning_) {  // a copy of a loop's test: on to the body while it holds, else out
    if (!unread) {
      out_.line("movl\t$1, %s", result.c_str());
      values_.note(values_.top() - 1);
    }
    out_.body += sp;  // lea moves SP without touching the flags
    sp_given_ += values_.settle();
    out_.line("j%s\t%s", condition_of(opcode), label(at_ + 1, false).c_str());
    if (!unread) out_.line("movl\t$0, %s\t# the JPC popped it", values_.cell(-1).c_str());
    jump(program_[jpc].operand);
    block_.falls = false;
    turned_ = true;
    return false;
  }
  if (unread) {  // nothing to store: SP moved for both ways (lea keeps the flags), and the branch
    out_.body += sp;
    sp_given_ += values_.settle();
    if (conditional_move(opcode)) return true;
    jump_if(opposite_of(opcode), program_[jpc].operand);
    return false;
  }
  const std::string taken = out_.cold_label();
  out_.line("j%s\t%s", opposite_of(opcode), taken.c_str());
  if (!unread) {
    out_.line("movl\t$1, %s", result.c_str());
    values_.note(values_.top() - 1);
  }
  out_.body += sp;
  sp_given_ += values_.settle();
  out_.cold += taken + ":\n" + (unread ? "" : "\tmovl\t$0, " + result + "\n") + sp +
               jump_text(program_[jpc].operand, false);
  return false;
}

// A JPC (at `at_`, after its comparison) over one store to a loop's register alone: `v := c`,
// `v := w`, `v := x + c`, `v := x - c` or `v := x + y`, every variable in a register. The
// store becomes a conditional move, so no branch waits on the comparison: a branch the
// processor mispredicts wherever the condition keeps no pattern (a sum kept under a bound).
bool BlockWriter::conditional_move(std::int32_t opcode) {
  const std::int32_t target = program_[static_cast<std::size_t>(at_)].operand;
  const std::int32_t first = at_ + 1, count = target - first;
  if (loop_ == nullptr || (count != 2 && count != 4) || !loop_->contains(target)) return false;
  for (std::int32_t i = at_; i < target; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (flow_.keeps_ax[at] || (i > at_ && flow_.entry[at])) return false;
  }
  auto ins_at = [this](std::int32_t at) -> const Instruction& {
    return program_[static_cast<std::size_t>(at)];
  };
  const Instruction& store = ins_at(target - 1);
  const std::optional<int> v = store.opcode == STO ? resident(store) : std::nullopt;
  auto in_register = [this, &ins_at](std::int32_t at) {
    return ins_at(at).opcode == LOD ? resident(ins_at(at)) : std::nullopt;
  };
  const Instruction& one = ins_at(first);
  std::string value = "%eax", compute;  // the value, and a line that leaves the flags alone
  if (!v) return false;
  if (count == 2 && one.opcode == LIT) {
    compute = "movl\t$" + std::to_string(one.operand) + ", %eax";
  } else if (count == 2 && in_register(first)) {
    value = pool[*in_register(first)];
  } else if (count == 4 && in_register(first)) {
    const Instruction& two = ins_at(first + 1);
    const std::int32_t op = ins_at(first + 2).opcode;
    const std::string x = pool64[*in_register(first)];
    if (two.opcode == LIT && op == ADD) {
      compute = "leal\t" + std::to_string(two.operand) + "(" + x + "), %eax";
    } else if (two.opcode == LIT && op == MIN && two.operand != std::numeric_limits<std::int32_t>::min()) {
      compute = "leal\t" + std::to_string(-two.operand) + "(" + x + "), %eax";
    } else if (in_register(first + 1) && op == ADD) {
      compute = "leal\t(" + x + "," + pool64[*in_register(first + 1)] + "), %eax";
    } else {
      return false;
    }
  } else {
    return false;
  }
  values_.before_writing_resident(*v);
  for (std::int32_t i = first; i < target; ++i) out_.body += header_(i);
  if (!compute.empty()) out_.line("%s", compute.c_str());
  out_.line("cmov%s\t%s, %s\t# the store the JPC would skip", condition_of(opcode), value.c_str(),
            pool[*v]);
  out_.body += shadow_text(*v);
  division_.reset();  // %eax changed, and so may the variable
  const std::int64_t cell = -static_cast<std::int64_t>(store.operand);
  values_.forget_copy(cell);
  values_.forget_frame_cell(cell);
  values_.forget_source(cell);
  at_ = target - 1;
  return true;
}

}  // namespace pl0::native
