// Registers (registers.h): {cells} points at cell 0; {SP32}, {BP32} and {Ax} are exactly the
// machine's 32-bit registers, so arithmetic on them wraps as the machine's does; {Tx} holds Tx
// across a call; %eax is a cell's index while it is checked, %ecx and %edx hold values. In the
// listing they are %rbx, %r12d, %r13d, %r14d and %ebp.
//
// Worked example: `i := i + 1` with i at offset 3 of the main block is the p-code
//     LOD 0 3; LIT 0 1; ADD 0 0; STO 0 3
// and each of its four instructions becomes its own sequence: LOD 0 3 is
//     movl %r13d, %r14d            Ax := BP (the base at Level 0)
//     movl %r14d, %eax             the cell Ax - 3,
//     subl $3, %eax
//     cmpl $100, %eax              checked to lie in the stack (as unsigned: below 0 is big),
//     ja   .Lfault3
//     movl (%rbx,%rax,4), %r14d    Ax := the cell
//     subl $1, %r12d               push Ax: SP := SP - 1, checked, and the cell written
//     movl %r12d, %eax
//     cmpl $100, %eax
//     ja   .Lfault3
//     movl %r14d, (%rbx,%rax,4)
// In a procedure at Level 1 the same statement reads `LOD 1 3`, and the base comes from the
// runtime's walk along the static links: movl %r13d, %edi; movl $1, %esi; movl $at, %edx;
// call pl0_walk; movl %eax, %r14d. The optimising generator writes the whole statement as
// three instructions where it can prove the cells lie in the stack (see assembly.cpp).
#include "plain.h"

#include "emitter.h"
#include "stack.h"
#include "vocabulary.h"

namespace pl0::native {

namespace {

class PlainWriter {
 public:
  PlainWriter(const std::vector<Instruction>& program, std::string& text, std::string& cold)
      : program_(program), text_(text), cold_(cold) {}

  void instruction(std::int32_t at);

 private:
  void emit(const std::string& line) { text_ += "\t" + line + "\n"; }
  std::string fault_label() const { return ".Lfault" + std::to_string(at_); }

  // The cell whose index is in %eax, after checking that it lies in the stack.
  std::string checked_cell();
  void push(const char* reg);
  void pop(const char* reg);
  void base(std::int32_t level);  // Ax := the base `level` static links up
  void jump(std::int32_t target);
  void jump_if_zero(const char* reg, std::int32_t target);
  void operation(std::int32_t opcode);
  void division(bool quotient);
  void call(const Instruction& ins);
  void give_back();
  void access(const Instruction& ins);
  void input_output(std::int32_t opcode);

  const std::vector<Instruction>& program_;
  std::string& text_;
  std::string& cold_;
  std::int32_t at_ = 0;
  bool faults_ = false;  // whether the instruction checked a cell
};

std::string PlainWriter::checked_cell() {
  emit("cmpl\t$" + std::to_string(top_cell) + ", %eax");
  emit("ja\t" + fault_label());
  faults_ = true;
  return "({cells},%rax,4)";
}

void PlainWriter::push(const char* reg) {
  emit("subl\t$1, {SP32}");
  emit("movl\t{SP32}, %eax");
  emit(std::string("movl\t") + reg + ", " + checked_cell());
}

void PlainWriter::pop(const char* reg) {
  emit("movl\t{SP32}, %eax");
  emit("movl\t" + checked_cell() + ", " + reg);
  emit("addl\t$1, {SP32}");
}

void PlainWriter::base(std::int32_t level) {
  if (level == 0) {
    emit("movl\t{BP32}, {Ax}");
    return;
  }
  emit("movl\t{BP32}, %edi");
  emit("movl\t$" + std::to_string(level) + ", %esi");
  emit("movl\t$" + std::to_string(at_) + ", %edx");
  emit("call\tpl0_walk");
  emit("movl\t%eax, {Ax}");
}

void PlainWriter::jump(std::int32_t target) {
  if (target <= 0) {
    emit("jmp\t.Lstop");
  } else if (static_cast<std::size_t>(target) >= program_.size()) {
    emit("movl\t$" + std::to_string(target) + ", %edi");
    emit("call\tpl0_no_instruction");
  } else {
    emit("jmp\t.L" + std::to_string(target));
  }
}

void PlainWriter::jump_if_zero(const char* reg, std::int32_t target) {
  emit(std::string("testl\t") + reg + ", " + reg);
  emit("jnz\t1f");
  jump(target);
  text_ += "1:\n";
}

// Bx := pop (the right operand), Ax := pop (the left), Ax := left op right, push Ax.
void PlainWriter::operation(std::int32_t opcode) {
  pop("%ecx");
  pop("{Ax}");
  switch (opcode) {
    case ADD: emit("addl\t%ecx, {Ax}"); break;
    case MIN: emit("subl\t%ecx, {Ax}"); break;
    case MUL: emit("imull\t%ecx, {Ax}"); break;
    case DIV:
    case MOD: division(opcode == DIV); break;
    PL0_COMPARISONS(PL0_CASE_LABEL, ) {
      const char* condition = opcode == EQU   ? "e"
                              : opcode == NEQ ? "ne"
                              : opcode == LES ? "l"
                              : opcode == LEQ ? "le"
                              : opcode == GTR ? "g"
                                              : "ge";
      emit("cmpl\t%ecx, {Ax}");
      emit(std::string("set") + condition + "\t%al");
      emit("movzbl\t%al, {Ax}");
      break;
    }
    default:  // no instructions of its own here: the runtime's operation, through a call
      emit("movl\t$" + std::to_string(opcode) + ", %edi\t\t# " + opcode_names[opcode]);
      emit("movl\t{Ax}, %esi");
      emit("movl\t%ecx, %edx");
      emit("call\tpl0_operate");
      emit("movl\t%eax, {Ax}");
  }
  push("{Ax}");
}

// idiv traps on a divisor of 0 and on -2147483648 / -1; the machine gives -2147483648 for the
// first, and the wrapped negation (quotient) or 0 (remainder) for the second.
void PlainWriter::division(bool quotient) {
  const std::string special = ".Ldivide" + std::to_string(at_);
  emit("leal\t1(%ecx), %edx\t\t# a divisor of 0 or -1?");
  emit("cmpl\t$1, %edx");
  emit("jbe\t" + special);
  emit("movl\t{Ax}, %eax");
  emit("cltd");
  emit("idivl\t%ecx");
  emit(std::string("movl\t") + (quotient ? "%eax" : "%edx") + ", {Ax}");
  emit("jmp\t2f");
  text_ += special + ":\t\t\t# %edx: 0 for -1, 1 for 0\n";
  emit("testl\t%edx, %edx");
  emit("jz\t1f");
  emit("movl\t$-2147483648, {Ax}");
  emit("jmp\t2f");
  text_ += "1:\n";
  emit(quotient ? "negl\t{Ax}" : "xorl\t{Ax}, {Ax}");
  text_ += "2:\n";
}

// The static link (the base), the dynamic link (BP) and the return address go onto the stack;
// the new frame's BP is the cell of the first, and SP stands above the three again.
void PlainWriter::call(const Instruction& ins) {
  base(ins.level);
  push("{Ax}");
  push("{BP32}");
  emit("movl\t$" + std::to_string(at_ + 1) + ", %ecx");
  push("%ecx");
  emit("addl\t$3, {SP32}");
  emit("movl\t{SP32}, {Ax}");
  emit("leal\t-1({SP}), {BP32}");
  jump(ins.operand);
}

// SP := BP - 2, then PC, BP and Ax from the three link cells; the return goes through the
// table of every instruction's address (pl0_returns, at .Lreturn_table).
void PlainWriter::give_back() {
  emit("leal\t-2({BP}), {SP32}");
  pop("%ecx");
  pop("{BP32}");
  pop("{Ax}");
  emit("movl\t%ecx, %eax");
  emit("jmp\t.Lreturn_table");
}

// LOD, STO, LDT and STT: the cell (Level, Operand) names, or element Tx of the array there.
void PlainWriter::access(const Instruction& ins) {
  const std::string a = std::to_string(ins.operand);
  switch (ins.opcode) {
    case LOD:
      base(ins.level);
      emit("movl\t{Ax}, %eax");
      emit("subl\t$" + a + ", %eax");
      emit("movl\t" + checked_cell() + ", {Ax}");
      push("{Ax}");
      break;
    case STO:
      base(ins.level);
      emit("subl\t$" + a + ", {Ax}");
      pop("%ecx");
      emit("movl\t{Ax}, %eax");
      emit("movl\t%ecx, " + checked_cell());
      break;
    case LDT:  // Ax := the cell base - a - index
      base(ins.level);
      emit("subl\t$" + a + ", {Ax}");
      pop("%ecx");
      emit("subl\t%ecx, {Ax}");
      emit("movl\t{Ax}, %eax");
      emit("movl\t" + checked_cell() + ", {Ax}");
      push("{Ax}");
      break;
    default:  // STT: the value (Tx) first, then the index
      pop("{Tx}");
      base(ins.level);
      emit("subl\t$" + a + ", {Ax}");
      pop("%ecx");
      emit("subl\t%ecx, {Ax}");
      emit("movl\t{Ax}, %eax");
      emit("movl\t{Tx}, " + checked_cell());
  }
}

// WRITE and PUTC pop into Ax and call the service; READ and GETC push what theirs returns.
void PlainWriter::input_output(std::int32_t opcode) {
  if (opcode == WRITE || opcode == PUTC) {
    pop("{Ax}");
    emit("movl\t{Ax}, %edi");
    emit(opcode == WRITE ? "call\tpl0_write" : "call\tpl0_putc");
    return;
  }
  if (opcode == READ) {
    emit("movl\t{Ax}, %edi\t\t# kept when no number stands there");
    emit("call\tpl0_read");
  } else {
    emit("call\tpl0_getc");
  }
  emit("movl\t%eax, {Ax}");
  push("{Ax}");
}

void PlainWriter::instruction(std::int32_t at) {
  at_ = at;
  faults_ = false;
  const Instruction& ins = program_[static_cast<std::size_t>(at)];
  text_ += ".L" + std::to_string(at) + ":\n";
  if (!is_opcode(ins.opcode)) return;  // only advances PC
  switch (static_cast<OpCode>(ins.opcode)) {
    case LIT:
      emit("movl\t$" + std::to_string(ins.operand) + ", {Ax}");
      push("{Ax}");
      break;
    case LOD:
    case STO:
    case LDT:
    case STT: access(ins); break;
    case CAL: call(ins); break;
    case INT:
      emit("subl\t$" + std::to_string(ins.operand) + ", {SP32}");
      emit("movl\t{SP32}, {Ax}");
      break;
    case JMP: jump(ins.operand); break;
    case JPC:
      pop("{Ax}");
      jump_if_zero("{Ax}", ins.operand);
      break;
    case RTN: give_back(); break;
    case WRITE:
    case PUTC:
    case READ:
    case GETC: input_output(ins.opcode); break;
    case NEG:
    case ODD:
      pop("{Ax}");
      emit(ins.opcode == NEG ? "negl\t{Ax}" : "andl\t$1, {Ax}");
      push("{Ax}");
      break;
    PL0_BINARY_CASES operation(ins.opcode); break;
  }
  if (faults_) {
    cold_ += fault_label() + ":\n\tmovl\t$" + std::to_string(at) + ", %esi\n\tjmp\t.Lcell_fault\n";
  }
}

}  // namespace

void write_plain(const std::vector<Instruction>& program,
                 const std::function<std::string(std::int32_t)>& header, std::string& text,
                 std::string& cold) {
  PlainWriter writer(program, text, cold);
  for (std::int32_t at = 0; at < static_cast<std::int32_t>(program.size()); ++at) {
    text += header(at);
    writer.instruction(at);
  }
  cold += "\n# A cell outside the stack: %eax is the cell, %esi the instruction.\n"
          ".Lcell_fault:\n\tmovl\t%eax, %edi\n\tcall\tpl0_cell_fault\n";
}

}  // namespace pl0::native
