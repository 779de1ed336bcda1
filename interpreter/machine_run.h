// The machine's run loop, kept in a header so that tests can instantiate it with an observer
// that sees the state after every instruction; the Interpreter's own instance has none, and
// the observer's call compiles away.
#pragma once

#include <string>

#include "machine.h"
#include "machine_detail.h"
#include "machine_fast.h"
#include "vocabulary.h"
#include "wrapping.h"

namespace pl0::interpreter {

namespace detail {

// The simple loop: the instruction list as loaded, the state in memory, a trace line before
// every instruction when tracing. It runs traced programs (trace lines cost far more than
// dispatch) and stands in for the fast loop where the compiler cannot thread.
template <typename Observer>
RunResult run_simple(const std::vector<Instruction>& program, MachineState& m, const MachineIO& io,
                     Observer& observer) {
  const Instruction* const code = program.data();
  const auto size = static_cast<std::uint32_t>(program.size());
  std::int32_t* const cells = m.cells.data();
  const bool tracing = io.trace->on();
  std::int32_t at = m.pc;  // the address of the instruction being executed

  // Every cell access is checked, so a fault stops at the instruction that caused it.
  auto cell = [cells](std::int32_t index) -> std::int32_t& {
    if (static_cast<std::uint32_t>(index) > static_cast<std::uint32_t>(top_cell)) {
      throw detail::CellFault{index};
    }
    return cells[index];
  };
  auto push = [&](std::int32_t value) {
    m.sp = wrap_sub(m.sp, 1);
    cell(m.sp) = value;
  };
  auto pop = [&]() {
    const std::int32_t value = cell(m.sp);
    ++m.sp;  // cannot overflow: the cell check passed
    return value;
  };
  auto base = [&](std::int32_t level) { m.ax = detail::base_walk(m.bp, level, cell); };

  try {
    for (;;) {
      at = m.pc;
      if (static_cast<std::uint32_t>(at) >= size) {
        return {RunResult::fault, detail::no_instruction_message(at)};
      }
      const Instruction& i = code[at];
      if (tracing) {
        write_trace_line(*io.trace, m, i);
        if (io.trace->failed()) throw detail::OutputFailed{};
      }
      m.pc = at + 1;
      const std::int32_t a = i.operand;
      // Every opcode has its case (-Wswitch); any other number only advances PC.
      switch (static_cast<OpCode>(i.opcode)) {
        case LIT:
          m.bx = a;
          m.ax = a;
          push(m.ax);
          break;
        case LOD:
          base(i.level);
          m.bx = a;
          m.ax = cell(wrap_sub(m.ax, m.bx));
          push(m.ax);
          break;
        case STO:
          base(i.level);
          m.bx = a;
          m.ax = wrap_sub(m.ax, m.bx);
          m.bx = pop();
          cell(m.ax) = m.bx;
          break;
        case CAL: {
          base(i.level);
          const std::int32_t s = m.sp;
          push(m.ax);  // static link
          push(m.bp);  // dynamic link
          push(m.pc);  // return address
          m.ax = s;
          m.bp = wrap_sub(s, 1);
          m.sp = s;
          m.pc = a;
          if (m.pc <= 0) goto stop;
          break;
        }
        case INT:
          m.bx = a;
          m.ax = wrap_sub(m.sp, m.bx);
          m.sp = m.ax;
          break;
        case JMP:
          m.pc = a;
          if (m.pc <= 0) goto stop;
          break;
        case JPC:
          m.ax = pop();
          if (m.ax == 0) {
            m.pc = a;
            if (m.pc <= 0) goto stop;
          }
          break;
        case RTN: {
          m.sp = wrap_sub(m.bp, 2);
          m.pc = pop();
          const std::int32_t dynamic_link = pop();
          m.bp = dynamic_link;
          m.ax = pop();
          if (m.pc <= 0) goto stop;
          break;
        }
        case WRITE:
          m.ax = pop();
          detail::write_number(io, m.ax);
          break;
        case READ:
          detail::read_number(io, m.ax);
          push(m.ax);
          break;
        case PUTC:
          m.ax = pop();
          detail::write_character(io, m.ax);
          break;
        case GETC:
          detail::read_character(io, m);
          push(m.ax);
          break;
        case LDT:
          base(i.level);
          m.bx = a;
          m.ax = wrap_sub(m.ax, m.bx);
          m.bx = pop();
          m.ax = cell(wrap_sub(m.ax, m.bx));
          push(m.ax);
          break;
        case STT:
          m.ax = pop();
          m.tx = m.ax;
          base(i.level);
          m.bx = a;
          m.ax = wrap_sub(m.ax, m.bx);
          m.bx = pop();
          m.ax = wrap_sub(m.ax, m.bx);
          m.bx = m.tx;
          cell(m.ax) = m.bx;
          break;
        case NEG:
          m.bx = pop();
          m.ax = wrap_neg(m.bx);
          push(m.ax);
          break;
        case ODD:
          m.ax = pop() & 1;
          push(m.ax);
          break;
        PL0_BINARY_CASES {
          m.bx = pop();
          const std::int32_t l = pop();
          const std::int32_t r = m.bx;
          m.ax = detail::operate(static_cast<OpCode>(i.opcode), l, r);
          push(m.ax);
          break;
        }
      }
      if constexpr (Observer::active) {
        if (!observer(m, 1)) return {RunResult::stopped, ""};
      }
    }
  stop:
    if constexpr (Observer::active) observer(m, 1);
    return {RunResult::finished, ""};
  } catch (const detail::OutputFailed&) {
    return {RunResult::write_failed, ""};
  } catch (const detail::CellFault& fault) {
    return {RunResult::fault, detail::cell_fault_message(fault.index, at)};
  }
}

}  // namespace detail

template <typename Observer>
RunResult run_program_observed(const std::vector<Instruction>& program, MachineState& state,
                               const MachineIO& io, Observer& observer) {
#if PL0_THREADED
  if (!io.trace->on()) return detail::run_fast(program, state, io, observer);
#endif
  return detail::run_simple(program, state, io, observer);
}

}  // namespace pl0::interpreter
