// The back end: a code file as x86-64 assembly, in two layers.
//
// - plain.cpp (-O0) writes each instruction as one fixed sequence over the stack in memory,
//   the Interpreter's steps one by one. Start reading there.
// - The optimising generator: flow.cpp analyses the whole program first (where blocks start,
//   SP - BP and the procedure of every instruction, where Ax can be observed); block.h writes
//   each block with the values on top of the stack kept in registers (value_stack.h) and notes
//   the cells it reaches (range.h); layout.h then puts the checks in front of the blocks: one
//   per block, none where the block before proved the cells, one per procedure at its entries.
//   frames.h proves what holds of the whole program's frames, and loops.h picks the loops whose
//   variables may then stay in registers.
//   Where a check fails the Interpreter's machine runs on from the block's start, so every
//   observation matches the Interpreter's.
// This file writes the frame around either: the prologue, the shared exits, the table every
// RTN goes through, and the instruction list the runtime's machine takes over with.
//
// Worked example, `i := i + 1`. At Level 0 (i in the running procedure's own frame) it is
//     LOD 0 3; LIT 0 1; ADD 0 0; STO 0 3
// and the plain layer writes 44 instructions: for LOD, Ax := BP, the cell BP - 3 checked and
// read, SP - 1 checked and written; then LIT's push, ADD's two pops and push, STO's pop and
// checked store. The optimising layer, in a block whose cells the procedure's entry checked,
// writes three:
//     movl  -12(%rbx,%r13,4), %ecx      LOD: i into a register, its push not stored
//     addl  $1, %ecx                    LIT, ADD: the constant folded into the add
//     movl  %ecx, -12(%rbx,%r13,4)      STO
// At Level 1 (i in the enclosing procedure's frame) it is LOD 1 3; LIT 0 1; ADD 0 0; STO 1 3.
// The plain layer finds the base through the runtime's walk (call pl0_walk) for each of LOD
// and STO; the optimising layer loads the static link once into %rbp at the block's start and
// checks the cells it reaches from there once:
//     movslq (%rbx,%r13,4), %rbp        the static link
//     leal  -3(%rbp), %eax              its cell -3 in the stack? (cmpl $100; ja fallback)
//     movl  -12(%rbx,%rbp,4), %ecx
//     addl  $1, %ecx
//     movl  %ecx, -16(%rbx,%r12,4)      a store through a link might reach any cell, so the
//     movl  $1, -20(%rbx,%r12,4)        pushes waiting for their cells are stored first
//     movl  %ecx, -12(%rbx,%rbp,4)
#include "assembly.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "block.h"
#include "flow.h"
#include "frames.h"
#include "plain.h"
#include "registers.h"
#include "stack.h"
#include "vocabulary.h"

namespace pl0::native {

namespace {

constexpr const char* prologue = R"(	.text
	.globl	pl0_native_run
	.type	pl0_native_run, @function
# Entered with the cells' address in %rdi; returns when the program stops.
pl0_native_run:
	.cfi_startproc
	pushq	{cells}
	.cfi_def_cfa_offset 16
	.cfi_offset {cells}, -16
	pushq	{SP}
	.cfi_def_cfa_offset 24
	.cfi_offset {SP}, -24
	pushq	{BP}
	.cfi_def_cfa_offset 32
	.cfi_offset {BP}, -32
	pushq	{Ax64}
	.cfi_def_cfa_offset 40
	.cfi_offset {Ax64}, -40
	pushq	{frame}
	.cfi_def_cfa_offset 48
	.cfi_offset {frame}, -48
	pushq	{link}
	.cfi_def_cfa_offset 56
	.cfi_offset {link}, -56
	subq	$8, %rsp
	.cfi_def_cfa_offset 64
	movq	%rsp, {frame}
	.cfi_def_cfa_register {frame}
	movq	%rdi, {cells}
	leaq	-{deepest}({frame}), %rax	# as deep as CALs' returns may go on the machine stack
	movq	%rax, pl0_deepest_call(%rip)
)";

// The machine's registers as a run starts.
std::string initial_registers() {
  std::string text;
  append(text, "\tmovq\t$%d, {SP}\t\t# SP: the main frame's three link cells are in place\n",
         initial_sp);
  append(text, "\tmovq\t$%d, {BP}\t\t# BP\n", initial_bp);
  return text + "\txorl\t{Ax}, {Ax}\t\t# Ax\n";
}

// Shared exits, placed after the blocks. The epilogue has no unwind notes of its own: nothing
// is called from it.
constexpr const char* exits = R"(
# The machine stops: PC fell to 0 or less. Returns of CALs may still wait on the machine stack.
.Lstop:
	movq	{frame}, %rsp
	addq	$8, %rsp
	popq	{link}
	popq	{frame}
	popq	{Ax64}
	popq	{BP}
	popq	{SP}
	popq	{cells}
	ret

# The Interpreter's machine runs on from the PC in %edi, with SP, BP and Ax as they are, and
# the CALs' returns that wait on the machine stack (pl0_calls says where each came from).
.Lresume:
	movl	{SP32}, %esi
	movl	{BP32}, %edx
	movl	{Ax}, %ecx
	movq	%rsp, %r8
	movq	{frame}, %r9
	call	pl0_resume
	jmp	.Lstop

# A return to an instruction that no block starts at: the machine takes over there.
.Lresume_return:
	movl	%eax, %edi
	jmp	.Lresume

# A RTN that no CAL's return waits for on the machine stack, or one to somewhere else than
# after its CAL: the table of every instruction's entry says where PC in %eax leads.
.Lreturn_table:
	cmpl	${size}, %eax
	jae	.Lodd_return		# past the program, or below 0
	leaq	pl0_returns(%rip), %rdx
	movslq	(%rdx,%rax,4), %rcx
	addq	%rdx, %rcx
	jmp	*%rcx

# A return to an address below 0 stops; past the program it faults.
.Lodd_return:
	testl	%eax, %eax
	jle	.Lstop
	movl	%eax, %edi
	call	pl0_no_instruction
)";

constexpr const char* optimising_legend =
    "# {cells}: cell 0  {SP}: SP  {BP}: BP  {Ax}: Ax (where a READ can see it)\n"
    "# {link}: a procedure's static link  {frame}: %rsp with no CAL's return on it  %ecx ... %r11d: stack values\n"
    "# A cell is 4*offset({cells},{SP},4) from SP, 4*offset({cells},{BP},4) from BP.\n";
constexpr const char* plain_legend =
    "# Plain code (-O0): each instruction on its own, over the stack in memory.\n"
    "# {cells}: cell 0  {SP32}: SP  {BP32}: BP  {Ax}: Ax  {link32}: Tx  {frame}: %rsp as the prologue left it\n"
    "# %eax: the index of a cell being checked  %ecx, %edx: values\n";

// The listing with the machine's registers named (registers.h). Comment lines are left as
// they are: an instruction's header quotes the source, which may hold anything.
std::string name_registers(const std::string& text) {
  std::string named;
  named.reserve(text.size() + text.size() / 8);
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = text.find('\n', from);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::size_t first = text.find_first_not_of('\t', from);
    const std::string line = text.substr(from, end - from);
    named += first < end && text[first] == '#' ? line : with_registers(line);
    from = end;
  }
  return named;
}

std::string mnemonic(std::int32_t opcode) {
  return is_opcode(opcode) ? opcode_names[opcode] : "?";
}

class Writer {
 public:
  Writer(const std::vector<Instruction>& program, const SourceLines* source)
      : program_(program),
        source_(source),
        flow_(analyse(program)),
        frames_(prove_frames(program, flow_)),
        loops_(find_loops(program, flow_, frames_)) {}

  std::string write(bool loaded, Generator generator) {
    std::string text = "# PL/0 p-code as x86-64 assembly (GNU as, Linux); each instruction's code is headed by\n"
                       "# its address and instruction, as in the code file.\n";
    text += with_registers(generator == Generator::plain ? plain_legend : optimising_legend);
    if (generator != Generator::plain) {
      text += frames_.restarts ? "# Frames proven, with the main program's arrays: popped values are not stored (an element\n"
                                 "# is checked to be one of the main program's variables; the machine that takes over\n"
                                 "# runs from the start), the main program's cells are fixed, returns need no checks.\n"
              : frames_.popped_unread ? "# Frames proven: popped values are not stored (no instruction reads a cell above SP\n"
                               "# before writing it), the main program's cells are fixed, returns need no checks.\n"
              : frames_.proven ? "# Frames proven, with arrays: popped values stay in their cells (an element may be read\n"
                                 "# from anywhere); each STT is checked to land among its frame's variables, the main\n"
                                 "# program's cells are fixed, returns need no checks.\n"
                             : "# Frames not proven (" + frames_.kept_because + "): popped values stay in\n# their cells, as in the Interpreter.\n";
      if (frames_.links_rebuilt) text += "# Every procedure is the main program's: CALs leave their link cells unwritten.\n";
      text += loops_text();
    }
    std::string start = prologue;
    start.replace(start.find("{deepest}"), 9, std::to_string(8 * deepest_calls));
    text += start + initial_registers();
    const auto size = static_cast<std::int32_t>(program_.size());
    if (size == 0) {
      text += "\tmovl\t$0, %edi\n\tcall\tpl0_no_instruction\n";
    }
    std::string cold, calls;
    int last_line = 0;
    const auto header = [&](std::int32_t address) { return this->header(address, last_line); };
    if (generator == Generator::plain) {
      entries_.assign(program_.size(), true);
      write_plain(program_, header, text, cold);
    } else {
      entries_ = flow_.entry;
      write_blocks(header, text, cold, calls);
    }
    if (size > 0 && falls_off_the_end()) {
      append(text, "\tmovl\t$%d, %%edi\t\t# past the last instruction\n\tcall\tpl0_no_instruction\n",
             size);
    }
    std::string shared = exits;
    shared.replace(shared.find("{size}"), 6, std::to_string(program_.size()));
    text += shared;
    text += cold;
    text += return_table();
    text += "\n# Where each CAL's return lands, its return address and its SP - BP, for CALs that leave\n"
            "# their link cells unwritten: rows of three.\n\t.balign 4\n\t.globl\tpl0_calls\npl0_calls:\n" +
            calls + "\t.globl\tpl0_calls_end\npl0_calls_end:\n";
    text += "\t.cfi_endproc\n\t.size\tpl0_native_run, .-pl0_native_run\n";
    text += data(loaded, generator != Generator::plain && frames_.restarts);
    return text;
  }

 private:
  // The optimising generator: every block's code first, then each procedure's cells from its
  // blocks, then the blocks with their checks.
  void write_blocks(const BlockWriter::Header& header, std::string& text, std::string& cold,
                    std::string& calls) const {
    std::vector<Block> blocks;
    for (std::int32_t at = 0; at < static_cast<std::int32_t>(program_.size());) {
      // What %eax and %edx hold passes on only where nothing but the block before leads in.
      const auto i = static_cast<std::size_t>(at);
      const bool fallen_into = !blocks.empty() && blocks.back().falls && flow_.procedure[i] >= 0 &&
                               flow_.procedure[i] == flow_.procedure[static_cast<std::size_t>(blocks.back().start)];
      const bool only_fallen_into = fallen_into && !flow_.entry[i];
      const Loop* loop = loop_at(at);
      BlockWriter writer(program_, flow_, frames_, at, header,
                         only_fallen_into ? blocks.back().division : std::nullopt,
                         only_fallen_into ? blocks.back().copies : Copies{}, loop);
      // Into a loop's head from the block before, and out of a loop to the instruction after
      // its JMP back, variables come in registers (loops.h).
      if (loop != nullptr && loop->head == at && loop->fallen_into && fallen_into) {
        writer.entered_with(blocks.back().copies);
      } else if (const Loop* left = loop_left_into(at); left != nullptr && loop == nullptr) {
        writer.entered_with(left->resident);
      }
      blocks.push_back(writer.write());
      at = blocks.back().end;
    }
    for (const Block& block : blocks) {
      if (block.turn_target < 0) continue;
      for (Block& target : blocks) target.aligned = target.aligned || target.start == block.turn_target;
    }
    const Regions regions = procedure_regions(blocks, flow_);
    cold += entry_bounds(regions);
    Proof known;         // what the block before proved, for a block only it leads into
    bool falls = false;  // the prologue jumps to the first block
    for (const Block& block : blocks) {
      const bool entry = flow_.entry[static_cast<std::size_t>(block.start)];
      known = lay_out(block, entry ? Proof{} : known, regions, flow_, falls, text, cold);
      calls += block.calls;
      falls = block.falls;
    }
  }

  const Loop* loop_left_into(std::int32_t at) const {
    for (const Loop& loop : loops_) {
      if (loop.left_to_next && loop.back + 1 == at) return &loop;
    }
    return nullptr;
  }

  const Loop* loop_at(std::int32_t at) const {
    for (const Loop& loop : loops_) {
      if (loop.contains(at)) return &loop;
    }
    return nullptr;
  }

  // "# The loop from 10 to 63 keeps its variables at offsets 3, 4 in %r11d, %r10d."
  std::string loops_text() const {
    std::string text;
    for (const Loop& loop : loops_) {
      std::string offsets, registers;
      for (const auto& [offset, r] : loop.resident) {
        const std::string comma = offsets.empty() ? "" : ", ";
        offsets += comma + std::to_string(-offset);
        registers += comma + pool[r];
      }
      append(text, "# The loop from %d to %d keeps its variables at offsets %s in %s.\n", loop.head,
             loop.back, offsets.c_str(), registers.c_str());
    }
    return text;
  }

  bool falls_off_the_end() const {
    const std::int32_t last = program_.back().opcode;
    return last != JMP && last != RTN && last != CAL;
  }

  // "# 12: LOD 1 3", and the source line when it differs from the one before.
  std::string header(std::int32_t at, int& last_line) const {
    const Instruction& ins = program_[static_cast<std::size_t>(at)];
    std::string text;
    append(text, "\t# %d: %s %d %d", at, mnemonic(ins.opcode).c_str(), ins.level, ins.operand);
    if (source_ != nullptr && static_cast<std::size_t>(at) < source_->line_of.size()) {
      const int line = source_->line_of[static_cast<std::size_t>(at)];
      if (line != last_line && line > 0 && static_cast<std::size_t>(line) <= source_->text.size()) {
        const std::size_t pad = text.size() < 28 ? 28 - text.size() : 1;
        text += std::string(pad, ' ') + "line " + std::to_string(line) + ": " +
                source_->text[static_cast<std::size_t>(line - 1)];
      }
      last_line = line;
    }
    return text + "\n";
  }

  // Where a RTN to each address goes: the block that starts there, or the machine.
  std::string return_table() const {
    std::string text = "\n# Every instruction's entry, for RTN: its block, or the machine.\n\t.balign 4\npl0_returns:\n";
    text += "\t.long\t.Lstop - pl0_returns\t# 0 stops the machine\n";
    for (std::size_t at = 1; at < program_.size(); ++at) {
      if (entries_[at]) {
        append(text, "\t.long\t.L%zu - pl0_returns\n", at);
      } else {
        text += "\t.long\t.Lresume_return - pl0_returns\n";
      }
    }
    return text;
  }

  // The instruction list for the machine that takes over, and whether anything was loaded.
  std::string data(bool loaded, bool restarts) const {
    std::string text = "\n\t.section\t.rodata\n\t.globl\tpl0_loaded\npl0_loaded:\n";
    append(text, "\t.byte\t%d\n\t.globl\tpl0_restarts\npl0_restarts:\n\t.byte\t%d\n", loaded ? 1 : 0,
           restarts ? 1 : 0);
    append(text, "\t.balign 4\n\t.globl\tpl0_code_size\npl0_code_size:\n\t.long\t%zu\n",
           program_.size());
    text += "\t.globl\tpl0_code\npl0_code:\n";
    for (const Instruction& ins : program_) {
      append(text, "\t.long\t%d, %d, %d\n", ins.opcode, ins.level, ins.operand);
    }
    text += "\t.local\tpl0_deepest_call\n\t.comm\tpl0_deepest_call,8,8\n";
    text += "\t.section\t.note.GNU-stack,\"\",@progbits\n";
    return text;
  }

  const std::vector<Instruction>& program_;
  const SourceLines* source_;
  Flow flow_;
  FrameProof frames_;
  std::vector<Loop> loops_;
  std::vector<bool> entries_;  // the addresses whose code has a label a return can go to
};

}  // namespace

std::string write_assembly(const std::vector<Instruction>& program, bool loaded,
                           const SourceLines* source, Generator generator) {
  return name_registers(Writer(program, source).write(loaded, generator));
}

}  // namespace pl0::native
