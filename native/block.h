// One block of generated code: the instructions from an entry (or a break) up to the next jump
// or entry, compiled with the values on top of the stack kept in registers.
#pragma once

#include <cstdint>
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "code_file.h"
#include "flow.h"

namespace pl0::native {

// The registers that hold stack values; %eax and %edx are kept for addresses and division.
inline constexpr const char* pool[] = {"%ecx", "%esi", "%edi", "%r8d", "%r9d", "%r10d", "%r11d"};
inline constexpr int pool_size = sizeof pool / sizeof *pool;

// Distances from SP or BP beyond which a block is left to the Interpreter's machine: its
// cells could never all lie in the stack, and its displacements would not fit an instruction.
inline constexpr int farthest = 10000;
inline constexpr int top_cell = 100;

// Appends printf-style text (at most a line of assembly) to `text`.
void append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Where a value taken from the stack is: a constant, a register of the pool, or only its cell.
struct Value {
  enum Kind { constant, held, stored } kind;
  std::int32_t number;  // the constant
  int reg;              // an index into the register pool
  int offset;           // its cell: SP at the block's start plus this
};

// Cells known to lie in the stack on entering a block, as offsets from SP and from BP then.
struct Proof {
  bool sp = false, bp = false;
  std::int64_t sp_low = 0, sp_high = 0, bp_low = 0, bp_high = 0;
};

// The cells a procedure's blocks use, as offsets from BP: what its entries check.
struct Region {
  bool used = false;
  bool possible = true;  // false when some block's cells lie too far apart
  std::int64_t low = 0, high = 0;
};
using Regions = std::map<std::int32_t, Region>;

class BlockWriter {
 public:
  // `known`: what the block before proved, when it falls through into this one and nothing
  // else leads here.
  BlockWriter(const std::vector<Instruction>& program, const Flow& flow, std::int32_t start,
              std::string& cold, const Proof& known, const Regions* regions,
              bool fallen_into);

  // Writes the block into `text` and returns the address after it. Out-of-line paths go into
  // the `cold` text given to the constructor.
  std::int32_t write(std::string& text);

  // What the next block may take as proven (nothing when this block cannot fall into it).
  const Proof& proof_after() const { return after_; }
  bool falls() const { return falls_; }
  // Adds the cells this block uses to its procedure's region (a first pass collects them).
  void add_cells_to(Regions& regions) const;

  // The comment line that heads each instruction.
  std::function<std::string(std::int32_t)> header;

 private:
  // One instruction (two for a comparison fused with its JPC); false when the block ends.
  bool instruction(const Instruction& ins);

  void emit(const char* format, ...) __attribute__((format(printf, 2, 3)));
  std::string cold_label();
  std::string cell(int offset) const;
  std::string frame_cell(std::int32_t operand);
  std::string text(const Value& v) const;
  void note_sp(int offset);
  void note_bp(std::int64_t offset);

  Value pop();
  void push(const Value& v);
  void store(const Value& v);
  void flush(int offset);
  void flush_all();
  void flush_register(int r);
  void touch_frame(std::int64_t offset);
  bool for_output() const;
  int allocate(int preferred = -1);
  int to_register(const Value& v);
  Value in_memory(const Value& v);
  void forget_registers();
  bool static_link_kept();
  void keep_ax(const std::string& source);
  void keep_ax(const Value& v) { keep_ax(text(v)); }

  std::string checked_eax();
  void walk_into_eax(std::int32_t level);
  std::string variable(const Instruction& ins);
  std::string element(const Instruction& ins, Value index);
  std::string sp_update() const;
  void set_sp();
  std::string label(std::int32_t target, bool by_call) const;
  std::int32_t procedure(std::int32_t at) const;
  void write_procedure_entry(const std::string& fallback, std::string& out);
  std::string jump_text(std::int32_t target, bool by_call) const;
  void jump(std::int32_t target, bool by_call = false);
  void jump_if(const char* condition, std::int32_t target);

  void call(std::int32_t level, std::int32_t target);
  void reserve(std::int32_t count);
  void give_back();
  void output(const char* service);
  void input(const char* service);
  void arithmetic(std::int32_t opcode);
  void divide(std::int32_t opcode, const Value& left, const Value& right);
  bool compare(std::int32_t opcode, bool fuse);

  const std::vector<Instruction>& program_;
  const Flow& flow_;
  const Regions* regions_;  // null in the first pass
  std::int32_t start_;
  std::int32_t at_;
  std::int32_t procedure_;
  std::string& cold_;
  std::size_t cold_start_;  // where this block's out-of-line paths begin in cold_
  std::string body_;
  int cold_count_ = 0;

  std::string guard(const char* reg, const char* name, bool used, std::int64_t low,
                    std::int64_t high, bool known, std::int64_t known_low,
                    std::int64_t known_high, const std::string& fallback) const;

  Proof known_, after_;
  bool fallen_into_;  // the block before can fall into this one
  std::int64_t moved_ = 0;   // SP given to %r12 so far, from its value at the block's start
  bool sp_lost_ = false;     // SP changed by an amount no block check covers
  bool falls_ = true;        // the next instruction can follow the block's last
  bool link_kept_ = true;    // %rbp still holds the static link, when loaded
  bool link_loaded_ = false, link_used_ = false;
  std::int64_t link_low_ = 0, link_high_ = 0;  // Level-1 cells reached, from the link
  int delta_ = 0;  // SP is SP at the block's start plus moved_ plus delta_
  std::vector<std::pair<int, Value>> stack_;    // what registers hold of the cells, by offset
  std::vector<std::pair<int, Value>> pending_;  // pushes not yet stored, by offset
  unsigned busy_ = 0;                         // registers taken by the current instruction
  bool sp_used_ = false, bp_used_ = false, wild_ = false;
  int sp_low_ = 0, sp_high_ = 0;
  std::int64_t bp_low_ = 0, bp_high_ = 0;
};

}  // namespace pl0::native
