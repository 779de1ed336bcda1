// A document's bytes and the editor's positions in them: LSP counts a line's characters in
// UTF-16 code units, the tools count bytes. A byte that begins no UTF-8 character counts as one
// unit, so that any bytes at all have positions.
#pragma once

#include <string>
#include <vector>

namespace pl0::lsp {

struct Position {
  long line = 0, character = 0;
};

class Text {
 public:
  explicit Text(std::string bytes = "");

  const std::string& bytes() const { return bytes_; }
  Position position(long offset) const;
  // The byte offset of `position`, clamped to its line and to the text.
  long offset(const Position& position) const;
  long line_count() const { return static_cast<long>(line_starts_.size()); }
  long line_of(long offset) const;
  // The byte where `line` ends (its line feed, or the end of the text).
  long line_end(long line) const;

  // Positions of offsets asked in increasing order, each counted on from the one before, so
  // that the positions of every word of one long line cost one pass over it.
  class Walk {
   public:
    explicit Walk(const Text& text) : text_(text) {}
    Position at(long offset);

   private:
    const Text& text_;
    long offset_ = 0;
    Position position_;
  };

 private:
  std::string bytes_;
  std::vector<long> line_starts_;
};

}  // namespace pl0::lsp
