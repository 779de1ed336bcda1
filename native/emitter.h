// Where a block's assembly goes as it is written: its body, in order, and its out-of-line
// paths (taken only on a fault or a rare branch), which the listing places after all blocks.
#pragma once

#include <cstdint>
#include <string>

namespace pl0::native {

// Appends printf-style text (at most a line of assembly) to `text`.
void append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

class Emitter {
 public:
  explicit Emitter(std::int32_t block) : block_(std::to_string(block)) {}

  // One instruction of the body: a tab, the printf-style text, a line end.
  void line(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // A new label for an out-of-line path of this block.
  std::string cold_label() { return ".Lc" + block_ + "_" + std::to_string(labels_++); }
  // A label in the body where a CAL's return lands.
  std::string return_label() { return ".Lr" + block_ + "_" + std::to_string(labels_++); }
  // A second copy of a block's code takes labels of its own.
  void rename(const std::string& block) { block_ = block; }

  std::string body;
  std::string cold;
  std::string calls;  // rows of the table of CALs' returns (assembly.cpp)

 private:
  std::string block_;
  int labels_ = 0;
};

}  // namespace pl0::native
