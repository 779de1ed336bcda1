// Line starts are found once per version, so each position is a binary search and a walk over
// one line's bytes; malformed UTF-8 counts a byte as one unit rather than being refused.
#include "text.h"

#include <algorithm>

namespace pl0::lsp {

namespace {

// The bytes of the character that starts with `lead`, and its UTF-16 units.
void character_at(unsigned char lead, long& bytes, long& units) {
  bytes = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 1;
  units = bytes == 4 ? 2 : 1;
}

}  // namespace

Text::Text(std::string bytes) : bytes_(std::move(bytes)) {
  line_starts_.push_back(0);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (bytes_[i] == '\n') line_starts_.push_back(static_cast<long>(i) + 1);
  }
}

Position Text::position(long offset) const {
  offset = std::clamp(offset, 0L, static_cast<long>(bytes_.size()));
  const auto line = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset) - 1;
  Position p{line - line_starts_.begin(), 0};
  for (long at = *line; at < offset;) {
    long bytes = 0, units = 0;
    character_at(static_cast<unsigned char>(bytes_[static_cast<std::size_t>(at)]), bytes, units);
    at += bytes;
    p.character += units;
  }
  return p;
}

long Text::line_of(long offset) const {
  return std::upper_bound(line_starts_.begin(), line_starts_.end(), offset) - line_starts_.begin() - 1;
}

long Text::line_end(long line) const {
  return line + 1 < line_count() ? line_starts_[static_cast<std::size_t>(line) + 1] - 1
                                 : static_cast<long>(bytes_.size());
}

Position Text::Walk::at(long offset) {
  offset = std::clamp(offset, 0L, static_cast<long>(text_.bytes_.size()));
  if (offset < offset_ || offset > text_.line_end(position_.line)) {
    position_ = text_.position(offset);
    offset_ = offset;
    return position_;
  }
  while (offset_ < offset) {
    long bytes = 0, units = 0;
    character_at(static_cast<unsigned char>(text_.bytes_[static_cast<std::size_t>(offset_)]), bytes, units);
    offset_ += bytes;
    position_.character += units;
  }
  return position_;
}

long Text::offset(const Position& position) const {
  if (position.line < 0) return 0;
  if (position.line >= line_count()) return static_cast<long>(bytes_.size());
  long at = line_starts_[static_cast<std::size_t>(position.line)];
  const long end = position.line + 1 < line_count()
                       ? line_starts_[static_cast<std::size_t>(position.line) + 1] - 1
                       : static_cast<long>(bytes_.size());
  for (long units = 0; at < end && units < position.character;) {
    long bytes = 0, step = 0;
    character_at(static_cast<unsigned char>(bytes_[static_cast<std::size_t>(at)]), bytes, step);
    at = std::min(at + bytes, end);
    units += step;
  }
  return at;
}

}  // namespace pl0::lsp
