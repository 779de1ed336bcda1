#include <algorithm>
#include <cstring>

#include "machine_run.h"

namespace pl0::interpreter {

namespace detail {

// A prompt written before a read must be visible before the machine waits for the answer.
static void show_pending_output(const MachineIO& io) {
  if (io.out->pending()) io.out->sync();
}

void read_number(const MachineIO& io, std::int32_t& ax) {
  show_pending_output(io);
  read_int(io.in, ax);  // no number: Ax keeps its value
}

void read_character(const MachineIO& io, MachineState& state) {
  show_pending_output(io);
  const int c = std::fgetc(io.in);
  if (c != EOF) state.character = static_cast<unsigned char>(c);
  // The character's code as a signed 8-bit value (-128 .. 127), as the machine defines GETC.
  state.ax = static_cast<std::int8_t>(state.character);  // NOLINT(bugprone-signed-char-misuse)
}

}  // namespace detail

void write_trace_header(Output& trace) {
  trace.put("   PC    SP    BP OpCode Level Operand Stack ->\n");
}

namespace {

// Most cells hold small numbers: their "%4d" texts, ready to copy.
constexpr std::int32_t small_first = -99;
constexpr std::int32_t small_last = 999;
struct SmallCells {
  char text[small_last - small_first + 1][4];
};
constexpr SmallCells make_small_cells() {
  SmallCells table{};
  for (std::int32_t v = small_first; v <= small_last; ++v) {
    char* t = table.text[v - small_first];
    std::int32_t m = v < 0 ? -v : v;
    int i = 3;
    do {
      t[i--] = static_cast<char>('0' + m % 10);
      m /= 10;
    } while (m != 0);
    if (v < 0) t[i--] = '-';
    while (i >= 0) t[i--] = ' ';
  }
  return table;
}
constexpr SmallCells small_cells = make_small_cells();

char* put_cell(char* at, std::int32_t value) {
  if (value >= small_first && value <= small_last) {
    std::memcpy(at, small_cells.text[value - small_first], 4);
    return at + 4;
  }
  return format_right(at, value, 4);
}

// The longest trace line: the fixed fields and 101 cells of at most eleven characters each.
constexpr std::size_t longest_trace_line = 48 + stack_cells * 12;

}  // namespace

// Shows only cells that exist: a frame base or stack pointer outside the stack is not followed.
void write_trace_line(Output& trace, const MachineState& state, const Instruction& next) {
  char* at = trace.claim(longest_trace_line);
  at = format_right(at, state.pc, 5);
  *at++ = ' ';
  at = format_right(at, state.sp, 5);
  *at++ = ' ';
  at = format_right(at, state.bp, 5);
  *at++ = ' ';
  const char* name = is_opcode(next.opcode) ? opcode_names[next.opcode] : "?";
  const auto length = static_cast<int>(std::strlen(name));
  for (int pad = 6 - length; pad > 0; --pad) *at++ = ' ';
  std::memcpy(at, name, static_cast<std::size_t>(length));
  at += length;
  *at++ = ' ';
  at = format_right(at, next.level, 5);
  *at++ = ' ';
  at = format_right(at, next.operand, 7);
  *at++ = ' ';
  const std::int64_t bp = state.bp;
  for (std::int64_t c = top_cell; c >= std::max<std::int64_t>(bp + 1, 0); --c) {
    at = put_cell(at, state.cells[static_cast<std::size_t>(c)]);
  }
  if (bp >= 0 && bp <= top_cell) {
    *at++ = '|';
    at = format_right(at, state.cells[static_cast<std::size_t>(bp)], 3);
  }
  for (std::int64_t c = std::min<std::int64_t>(bp - 1, top_cell);
       c >= std::max<std::int64_t>(state.sp, 0); --c) {
    at = put_cell(at, state.cells[static_cast<std::size_t>(c)]);
  }
  *at++ = '\n';
  trace.done_at(at);
}

RunResult run_program(const std::vector<Instruction>& program, MachineState& state,
                      const MachineIO& io) {
  NoObserver none;
  return run_program_observed(program, state, io, none);
}

}  // namespace pl0::interpreter
