// Each opcode's x86-64: the instructions of one block, on the values BlockWriter keeps.
#include <cstdint>

#include "block.h"
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
    PL0_ARITHMETIC(PL0_CASE_LABEL, )
      arithmetic(ins.opcode);
      return true;
    PL0_COMPARISONS(PL0_CASE_LABEL, ) {
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
    cold_ += taken + ":\n\tmovl\t$0, " + result + "\n" + sp +
             jump_text(program_[jpc].operand, false);
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
