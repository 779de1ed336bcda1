// The machine's stack: 101 cells, numbered 0 .. 100, growing down from the top, where the main
// program's frame starts with its three link cells already in place.
#pragma once

#include <cstdint>

namespace pl0 {

inline constexpr int stack_cells = 101;
inline constexpr std::int32_t top_cell = stack_cells - 1;
inline constexpr std::int32_t initial_bp = top_cell;
inline constexpr std::int32_t initial_sp = top_cell - 2;

}  // namespace pl0
