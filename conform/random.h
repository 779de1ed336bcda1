// The kit's one source of chance: a Mersenne Twister with its own range functions, since the
// standard distributions may differ between libraries, and a seed must give the same cases on
// every machine.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace pl0::conform {

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  // A whole number from 0 to n - 1 (n > 0).
  int below(int n) { return static_cast<int>(engine_() % static_cast<std::uint32_t>(n)); }
  int between(int low, int high) { return low + below(high - low + 1); }
  bool chance(int percent) { return below(100) < percent; }
  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(below(static_cast<int>(items.size())))];
  }
  std::uint32_t next() { return static_cast<std::uint32_t>(engine_()); }

 private:
  std::mt19937 engine_;
};

}  // namespace pl0::conform
