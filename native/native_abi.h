// How a native program's generated code and its runtime meet. The generated code defines the
// first group; the runtime (runtime.cpp) defines the services that code calls.
#pragma once

#include <cstdint>

extern "C" {

// Defined by the generated assembly.
extern const unsigned char pl0_loaded;  // 0 when the code file had no header: nothing runs
// 1 when popped values go unstored in a program with arrays (frames.h): the machine that takes
// over then runs the program from its start.
extern const unsigned char pl0_restarts;
extern const std::int32_t pl0_code_size;
extern const std::int32_t pl0_code[];  // OpCode, Level and Operand of every instruction
// Where a CAL that writes no link cells returns (less the table's own address), the address it
// returns to and SP - BP at the CAL: three numbers a row, up to pl0_calls_end.
extern const std::int32_t pl0_calls[];
extern const std::int32_t pl0_calls_end[];
// Runs the program on the 101 cells until it stops; leaves by throwing at a fault.
void pl0_native_run(std::int32_t* cells);

// The services, for code that runs with the machine stack as the prologue left it (aligned as
// the C convention wants): the main program's, where no CAL's return can wait beneath it.
void pl0_write(std::int32_t value);
void pl0_putc(std::int32_t value);
std::int32_t pl0_read(std::int32_t ax);  // the number read, or `ax` when none stands there
std::int32_t pl0_getc();                 // the character cell as a signed 8-bit value
// A binary operation (vocabulary.h's PL0_BINARY) on a left and a right operand.
std::int32_t pl0_operate(std::int32_t opcode, std::int32_t left, std::int32_t right);
// The static links followed `level` times from `bp`; a cell outside the stack faults at `at`.
std::int32_t pl0_walk(std::int32_t bp, std::int32_t level, std::int32_t at);

// The same for code that may run while CALs' returns wait on the machine stack, 8 bytes each:
// these align the stack for themselves first. So do the rest, which any code may call.
#define PL0_ALIGNING __attribute__((force_align_arg_pointer))
PL0_ALIGNING void pl0_write_aligning(std::int32_t value);
PL0_ALIGNING void pl0_putc_aligning(std::int32_t value);
PL0_ALIGNING std::int32_t pl0_read_aligning(std::int32_t ax);
PL0_ALIGNING std::int32_t pl0_getc_aligning();
PL0_ALIGNING std::int32_t pl0_operate_aligning(std::int32_t opcode, std::int32_t left, std::int32_t right);
PL0_ALIGNING std::int32_t pl0_walk_aligning(std::int32_t bp, std::int32_t level, std::int32_t at);
[[noreturn]] PL0_ALIGNING void pl0_cell_fault(std::int32_t index, std::int32_t at);
[[noreturn]] PL0_ALIGNING void pl0_no_instruction(std::int32_t at);
// Runs the rest of the program on the Interpreter's machine from this state; the CALs' returns
// waiting on the machine stack lie from `waiting` (the innermost) up to `bottom`.
PL0_ALIGNING void pl0_resume(std::int32_t pc, std::int32_t sp, std::int32_t bp, std::int32_t ax,
                             const std::uint64_t* waiting, const std::uint64_t* bottom);
}
