// The machine's arithmetic: signed 32-bit, wrapping in two's complement. Computed in uint32_t,
// where wrapping is defined, and converted back.
#pragma once

#include <cstdint>

namespace pl0 {

inline std::int32_t wrap(std::uint32_t value) {
  return static_cast<std::int32_t>(value);
}
inline std::uint32_t bits(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}

inline std::int32_t wrap_add(std::int32_t a, std::int32_t b) {
  return wrap(bits(a) + bits(b));
}
inline std::int32_t wrap_sub(std::int32_t a, std::int32_t b) {
  return wrap(bits(a) - bits(b));
}
inline std::int32_t wrap_mul(std::int32_t a, std::int32_t b) {
  return wrap(bits(a) * bits(b));
}
inline std::int32_t wrap_neg(std::int32_t a) {
  return wrap(0u - bits(a));
}

}  // namespace pl0
