#include <algorithm>

#include "machine_run.h"

namespace pl0::interpreter {

namespace detail {

void write_number(const MachineIO& io, std::int32_t value) {
  if (io.run->on()) {
    io.run->put_int(value);
    io.run->put(' ');
  }
  io.out->put_int(value);
  io.out->put(' ');
  if (io.out->failed() || io.run->failed()) throw OutputFailed{};
}

void write_character(const MachineIO& io, std::int32_t value) {
  const auto c = static_cast<char>(value & 0xff);
  if (io.run->on()) io.run->put(c);
  io.out->put(c);
  if (io.out->failed() || io.run->failed()) throw OutputFailed{};
}

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
  state.ax = static_cast<std::int8_t>(state.character);
}

}  // namespace detail

void write_trace_header(Output& trace) {
  trace.put("   PC    SP    BP OpCode Level Operand Stack ->\n");
}

// Shows only cells that exist: a frame base or stack pointer outside the stack is not followed.
void write_trace_line(Output& trace, const MachineState& m, const Instruction& next) {
  trace.put_int(m.pc, 5);
  trace.put(' ');
  trace.put_int(m.sp, 5);
  trace.put(' ');
  trace.put_int(m.bp, 5);
  trace.put(' ');
  trace.put_padded(is_opcode(next.opcode) ? opcode_names[next.opcode] : "?", 6);
  trace.put(' ');
  trace.put_int(next.level, 5);
  trace.put(' ');
  trace.put_int(next.operand, 7);
  trace.put(' ');
  const std::int64_t bp = m.bp;
  for (std::int64_t c = top_cell; c >= std::max<std::int64_t>(bp + 1, 0); --c) {
    trace.put_int(m.cells[static_cast<std::size_t>(c)], 4);
  }
  if (bp >= 0 && bp <= top_cell) {
    trace.put('|');
    trace.put_int(m.cells[static_cast<std::size_t>(bp)], 3);
  }
  for (std::int64_t c = std::min<std::int64_t>(bp - 1, top_cell);
       c >= std::max<std::int64_t>(m.sp, 0); --c) {
    trace.put_int(m.cells[static_cast<std::size_t>(c)], 4);
  }
  trace.put('\n');
}

RunResult run_program(const std::vector<Instruction>& program, MachineState& state,
                      const MachineIO& io) {
  NoObserver none;
  return run_program_observed(program, state, io, none);
}

}  // namespace pl0::interpreter
