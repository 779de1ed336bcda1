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

 private:
  std::string bytes_;
  std::vector<long> line_starts_;
};

}  // namespace pl0::lsp
