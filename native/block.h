// The optimising generator's view of one block: the instructions from an entry (or a break) up
// to the next jump or entry, written with the values on top of the stack kept in registers
// (value_stack.h). The block's checks are written afterwards, by layout.h, from the cells it
// reached. Each opcode's instructions are in instructions.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "code_file.h"
#include "emitter.h"
#include "flow.h"
#include "frames.h"
#include "layout.h"
#include "loops.h"
#include "value_stack.h"

namespace pl0::native {

// The RTN that the instruction at `at` is, or jumps to (calls_in_place.cpp).
std::optional<std::int32_t> return_of(const std::vector<Instruction>& program, std::int32_t at);

// How many CALs may wait for their returns on the machine stack: more than the 101 cells can
// hold frames for, few enough that the machine stack never runs out.
inline constexpr int deepest_calls = 64;

// Where an instruction reads or writes a cell: a frame cell from BP (%r13), a cell from the
// static link kept in %rbp, a cell whose index %eax holds, checked, or a cell of the main
// program's frame, whose place is fixed (frames.h).
struct Address {
  enum Base { frame, link, index, fixed } base;
  std::int64_t offset;  // cells from BP or from the link; the cell's index
  std::string text() const;
};

// The cells a block reaches through BP and through the static link, and whether the link was
// loaded into %rbp and is still good (no store could have changed its cell).
struct Reach {
  Range bp, link;
  bool too_far = false;  // some offset beyond `farthest`
  bool link_loaded = false;
  bool link_changed = false;
};

class BlockWriter {
 public:
  using Header = std::function<std::string(std::int32_t)>;
  // `header(address)` is the comment line that heads each instruction.
  // `kept`, `copies`: what %eax and %edx, and the pool's free registers, hold on entering,
  // where only the block before leads in;
  // `loop`: the loop the block lies in, where its variables are in registers.
  BlockWriter(const std::vector<Instruction>& program, const Flow& flow, const FrameProof& frames,
              std::int32_t start, const Header& header, std::optional<KeptDivision> kept,
              const Copies& copies, const Loop* loop);

  // Where each of the procedure's own ways in brings these copies of variables in registers
  // (at a loop's head: the block before's, for its loads), though the block is an entry: the
  // block relies on them, and leaves its ways in from elsewhere to the machine.
  void entered_with(const Copies& copies);

  // Writes the block, from its start up to the next entry or the first instruction that
  // leaves it.
  Block write();

 private:
  // One instruction (two for a comparison fused with its JPC); false when the block ends.
  bool instruction(const Instruction& ins);
  Block finish(bool continues);
  std::int32_t own_procedure() const { return flow_.procedure[static_cast<std::size_t>(start_)]; }
  bool keeps_ax() const { return flow_.keeps_ax[static_cast<std::size_t>(at_)]; }

  // Cells and addresses.
  void note_bp(std::int64_t offset);
  Address frame_cell(std::int64_t offset);
  Address checked_eax();
  void walk_into_eax(std::int32_t level);
  bool static_link_kept();
  Address variable(const Instruction& ins);
  std::optional<Address> fixed_cell(std::int32_t level, std::int32_t offset) const;
  std::optional<int> resident(const Instruction& ins) const;
  std::string write_back() const;
  std::string shadow_text(int r) const;
  bool leaves_loop(std::int32_t target) const;
  Address element(const Instruction& ins, Value index, int popped);
  std::optional<Range> resident_cells() const;
  void not_resident(const Instruction& ins, const Value& index, int popped);
  std::optional<Range> main_variables(const Instruction& ins) const;
  void index_within(const Instruction& ins, const Value& index, const Range& span, int popped);
  std::string machine_from_here(int popped) const;
  bool for_output() const;
  void keep_ax(const std::string& source);
  bool keeps_division(const Instruction& ins) const;
  std::string service(const char* name) const;
  Operand operand(const Value& v) const;

  // SP and control.
  std::string sp_update() const;
  void set_sp();
  std::string label(std::int32_t target, bool by_call) const;
  std::string jump_text(std::int32_t target, bool by_call) const;
  void jump(std::int32_t target, bool by_call = false);
  void jump_if(const char* condition, std::int32_t target);

  // A loop's JMP back with its test copied in place of the jump.
  bool rotate(std::int32_t head);
  std::optional<std::int32_t> test_at_head(std::int32_t head) const;

  // The opcodes.
  static std::optional<std::int64_t> copy_key(const Address& address);
  void load(const Instruction& ins);
  void store(const Instruction& ins);
  void load_element(const Instruction& ins);
  void store_element(const Instruction& ins);
  void element_among_variables(const Instruction& ins, const Value& index);
  void call(std::int32_t level, std::int32_t target);
  std::optional<std::int32_t> in_place_end(std::int32_t target) const;
  bool call_in_place(std::int32_t target, const Copies& fixed);
  bool reserve(std::int32_t count);
  bool branch(std::int32_t target);
  bool returns_at(std::int32_t target) const;
  void give_back(std::int32_t rtn);  // the RTN at `rtn`, here
  void output(const char* name);
  void input(std::int32_t opcode);
  void unary(std::int32_t opcode);
  void arithmetic(std::int32_t opcode);
  void operate_by_call(std::int32_t opcode, const Value& left, const Value& right);
  void divide(std::int32_t opcode, const Value& left, const Value& right);
  void divide_exactly(const std::string& from, const std::string& n, const char* divisor);
  enum class Wanted { quotient, remainder, both };
  void divide_by_power_of_two(int shift, Wanted wanted);
  bool other_result_wanted(std::int32_t opcode) const;
  bool compare(std::int32_t opcode, bool fuse);
  bool compare_and_branch(std::int32_t opcode, const Value& left, const Value& right);
  bool conditional_move(std::int32_t opcode);
  bool only_comments_since(std::size_t at) const;
  int register_to_read(const Value& v);
  std::optional<std::string> unmoved_result(const Value& v);

  const std::vector<Instruction>& program_;
  const Flow& flow_;
  const FrameProof& frames_;
  const Header& header_;
  std::int32_t start_;
  std::int32_t at_;
  Emitter out_;
  ValueStack values_;
  Reach reach_;
  std::int64_t sp_given_ = 0;  // what %r12 has been moved by so far in the block
  Block block_;                // what the block proves and where it goes, as it is learnt
  std::optional<KeptDivision> division_;  // what %eax and %edx hold now
  bool division_given_;         // whether the block before gave it one
  const Loop* loop_;
  Copies arriving_;            // entered_with's, at a loop's head
  bool given_copies_ = false;  // whether the block relies on entered_with's
  // The last line written, where it moved a division's result (%eax or %edx) to a register.
  struct MovedResult {
    int reg;
    const char* source;
    std::size_t start, end;  // the line's place in the body
  };
  std::optional<MovedResult> moved_result_;
  // Writing a copy of a loop's test at its JMP back: its branch is turned round, to the body
  // while the condition holds; `turned_` says it could be.
  bool turning_ = false;
  bool turned_ = false;
  // Writing a procedure's start in place of a CAL (calls_in_place.cpp): its one branch goes to
  // `rest_label`, its RTN to the CAL's return.
  struct InPlace {
    std::string rest_label;  // where the call into the rest of the procedure stands
    std::string back;        // the CAL's return
    std::int32_t rest = -1;  // the instruction the branch leads to
    bool spoilt = false;     // a second way out: not copied after all
    // The instruction after the copy's last, where that is a JPC to the procedure's return: the
    // JPC returns where it stands, and its other way leads into the rest.
    std::int32_t returns_before = -1;
  };
  InPlace* in_place_ = nullptr;
};

}  // namespace pl0::native
