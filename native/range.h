// What the generator proves about cells: the offsets from one register (SP, BP or a static
// link) that some instruction reaches, from the lowest to the highest.
#pragma once

#include <algorithm>
#include <cstdint>

namespace pl0::native {

struct Range {
  bool used = false;
  std::int64_t low = 0, high = 0;

  void add(std::int64_t offset) { add(offset, offset); }
  void add(std::int64_t from, std::int64_t to) {
    low = used ? std::min(low, from) : from;
    high = used ? std::max(high, to) : to;
    used = true;
  }
  void add(const Range& other) {
    if (other.used) add(other.low, other.high);
  }
  // Whether every cell of `other` lies in this range.
  bool covers(const Range& other) const {
    return used && low <= other.low && other.high <= high;
  }
  // Whether the two ranges overlap or touch, so that together they are one range.
  bool joins(const Range& other) const {
    return used && other.used && low <= other.high + 1 && other.low <= high + 1;
  }
  std::int64_t width() const { return high - low; }
  Range shifted(std::int64_t by) const { return {used, low + by, high + by}; }
};

}  // namespace pl0::native
