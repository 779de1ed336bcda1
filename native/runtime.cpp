// What a native program links besides its own code: main, and the services its code calls.
// The services are the Interpreter's own (its output buffers, number reading, session and
// fault messages); a block whose cell checks fail, or a return to an address the code cannot
// enter, is handed to the Interpreter's machine, which then runs to the end.
//
// The generated code calls these with the C convention. They leave by throwing (a fault, a
// failed write): the generated function has unwind information, so the exception reaches
// NativeCode::run through it.
#include <csignal>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "interpreter.h"
#include "native_abi.h"
#include "services.h"

namespace pl0::native {

namespace {

using namespace interpreter;

struct Fault {
  std::string message;
};

// The run in progress; there is one per process. The streams are a copy, one load nearer for
// the services called on every WRITE and PUTC.
MachineState* state = nullptr;
MachineIO io{nullptr, nullptr, nullptr, nullptr};

// A program whose popped values go unstored (pl0_restarts) is run again from its start by the
// machine that takes over. Its input is read through a stream that keeps every byte it hands
// on, a line at a time as a terminal would, so that the second run reads the same first; and
// the bytes the first run wrote, counted from here, are not written twice.
struct Recording {
  std::FILE* from = nullptr;
  std::string kept;
  std::size_t replayed = 0;
  bool replaying = false;
  std::size_t run_from = 0, out_from = 0;
};
Recording* recording = nullptr;

ssize_t read_recorded(void* cookie, char* buffer, std::size_t size) {
  auto& r = *static_cast<Recording*>(cookie);
  if (r.replaying && r.replayed < r.kept.size()) {
    const std::size_t n = std::min(size, r.kept.size() - r.replayed);
    r.kept.copy(buffer, n, r.replayed);
    r.replayed += n;
    return static_cast<ssize_t>(n);
  }
  std::size_t n = 0;
  for (int c = 0; n < size && c != '\n' && (c = std::getc(r.from)) != EOF;) {
    buffer[n++] = static_cast<char>(c);
  }
  if (n == 0 && std::ferror(r.from)) return -1;
  if (!r.replaying) r.kept.append(buffer, n);
  return static_cast<ssize_t>(n);
}

struct Skipping {
  std::FILE* to;
  std::size_t skip;
};

ssize_t write_skipping(void* cookie, const char* buffer, std::size_t size) {
  auto& s = *static_cast<Skipping*>(cookie);
  const std::size_t dropped = std::min(size, s.skip);
  s.skip -= dropped;
  const std::size_t rest = size - dropped;
  if (rest != 0 && (std::fwrite(buffer + dropped, 1, rest, s.to) != rest || std::fflush(s.to) != 0)) {
    return -1;
  }
  return static_cast<ssize_t>(size);
}

// A stream of our own; it has nowhere to go but memory, so only a full memory refuses it.
std::FILE* opened(void* cookie, const char* mode, cookie_io_functions_t functions) {
  std::FILE* file = fopencookie(cookie, mode, functions);
  if (file == nullptr) throw std::bad_alloc();
  return file;
}

// An output stream that passes on what `output` would be written past what it holds now.
std::FILE* skipping(Skipping& s, const Output& output, std::size_t from) {
  if (!output.on()) return nullptr;
  s = {output.file(), output.count() - from};
  return opened(&s, "w", {nullptr, write_skipping, nullptr, nullptr});
}

// The program from its start on the Interpreter's machine, reading the input read so far
// again and writing only past what was written.
RunResult run_again(const std::vector<Instruction>& program) {
  io.run->sync();
  io.out->sync();
  Skipping run_skip{}, out_skip{};
  std::FILE* run_file = skipping(run_skip, *io.run, recording->run_from);
  std::FILE* out_file = skipping(out_skip, *io.out, recording->out_from);
  recording->replaying = true;
  std::FILE* in = opened(recording, "r", {read_recorded, nullptr, nullptr, nullptr});
  RunResult result;
  {
    const auto run = std::make_unique<Output>(run_file);
    const auto out = std::make_unique<Output>(out_file);
    *state = MachineState{};
    result = run_program(program, *state, MachineIO{in, run.get(), out.get(), io.trace});
    if (!run->good() || !out->good()) result.kind = RunResult::write_failed;
  }
  for (std::FILE* file : {in, run_file, out_file}) {
    if (file != nullptr && std::fclose(file) != 0 && file != in) result.kind = RunResult::write_failed;
  }
  return result;
}

[[gnu::noinline]] void put_character(std::int32_t value) {
  services::write_character(io, value);
}

class NativeCode : public Runnable {
 public:
  bool load() override { return pl0_loaded != 0; }
  RunResult run(MachineState& machine, const MachineIO& streams) override {
    state = &machine;
    io = streams;
    Recording kept;
    std::FILE* in = nullptr;
    if (pl0_restarts != 0) {
      kept = {streams.in, "", 0, false, streams.run->count(), streams.out->count()};
      in = opened(&kept, "r", {read_recorded, nullptr, nullptr, nullptr});
      recording = &kept;
      io.in = in;
    }
    RunResult result = run_natively(machine);
    if (in != nullptr) std::fclose(in);
    recording = nullptr;
    return result;
  }

 private:
  static RunResult run_natively(MachineState& machine) {
    try {
      pl0_native_run(machine.cells.data());
      return {RunResult::finished, ""};
    } catch (const services::OutputFailed&) {
      return {RunResult::write_failed, ""};
    } catch (const Fault& fault) {
      return {RunResult::fault, fault.message};
    }
  }
};

// The row of pl0_calls for a return address on the machine stack, or null: a CAL whose
// program writes its link cells has none.
const std::int32_t* call_returning_to(std::uint64_t address) {
  const auto table = reinterpret_cast<std::uintptr_t>(pl0_calls);
  for (const std::int32_t* row = pl0_calls; row < pl0_calls_end; row += 3) {
    if (table + static_cast<std::uintptr_t>(static_cast<std::intptr_t>(row[0])) == address) return row;
  }
  return nullptr;
}

// Writes the link cells the CALs left unwritten, innermost frame first, as the Interpreter's
// CALs would have: each frame's static link is the main program's BP, its dynamic link its
// caller's BP (found from SP - BP at the CAL), and its return address the one after the CAL.
void rebuild_links(std::int32_t bp, const std::uint64_t* waiting, const std::uint64_t* bottom) {
  auto put = [](std::int32_t index, std::int32_t value) {
    if (index >= 0 && index <= interpreter::top_cell) state->cells[static_cast<std::size_t>(index)] = value;
  };
  for (; waiting < bottom; ++waiting) {
    const std::int32_t* call = call_returning_to(*waiting);
    if (call == nullptr) return;
    const std::int32_t caller = bp + 1 - call[2];
    put(bp, initial_bp);
    put(bp - 1, caller);
    put(bp - 2, call[1]);
    bp = caller;
  }
}

}  // namespace

}  // namespace pl0::native

using namespace pl0;
using namespace pl0::native;

extern "C" {

void pl0_write(std::int32_t value) {
  interpreter::services::write_number(io, value);
}

// Called once a character: the common case, no run file and room in the buffer, puts it there
// (a put that does not flush cannot fail, and a failure before would have ended the run), and
// the rest is a call of its own, so that the common case saves no registers.
void pl0_putc(std::int32_t value) {
  if (__builtin_expect(io.run->on() || io.out->full(), 0)) {
    put_character(value);
    return;
  }
  io.out->put(static_cast<char>(value & 0xff));
}

std::int32_t pl0_read(std::int32_t ax) {
  interpreter::services::read_number(io, ax);
  return ax;
}

std::int32_t pl0_getc() {
  interpreter::services::read_character(io, *state);
  return state->ax;
}

std::int32_t pl0_operate(std::int32_t opcode, std::int32_t left, std::int32_t right) {
  return interpreter::services::operate(static_cast<OpCode>(opcode), left, right);
}

std::int32_t pl0_walk(std::int32_t bp, std::int32_t level, std::int32_t at) {
  auto cell = [at](std::int32_t index) {
    if (static_cast<std::uint32_t>(index) > static_cast<std::uint32_t>(interpreter::top_cell)) {
      throw Fault{interpreter::services::cell_fault_message(index, at)};
    }
    return state->cells[static_cast<std::size_t>(index)];
  };
  return interpreter::services::base_walk(bp, level, cell);
}

void pl0_write_aligning(std::int32_t value) { pl0_write(value); }
void pl0_putc_aligning(std::int32_t value) { pl0_putc(value); }
std::int32_t pl0_read_aligning(std::int32_t ax) { return pl0_read(ax); }
std::int32_t pl0_getc_aligning() { return pl0_getc(); }
std::int32_t pl0_operate_aligning(std::int32_t opcode, std::int32_t left, std::int32_t right) {
  return pl0_operate(opcode, left, right);
}
std::int32_t pl0_walk_aligning(std::int32_t bp, std::int32_t level, std::int32_t at) {
  return pl0_walk(bp, level, at);
}

void pl0_cell_fault(std::int32_t index, std::int32_t at) {
  throw Fault{interpreter::services::cell_fault_message(index, at)};
}

void pl0_no_instruction(std::int32_t at) {
  throw Fault{interpreter::services::no_instruction_message(at)};
}

void pl0_resume(std::int32_t pc, std::int32_t sp, std::int32_t bp, std::int32_t ax,
                const std::uint64_t* waiting, const std::uint64_t* bottom) {
  std::vector<Instruction> program(static_cast<std::size_t>(pl0_code_size));
  for (std::size_t i = 0; i < program.size(); ++i) {
    program[i] = {pl0_code[3 * i], pl0_code[3 * i + 1], pl0_code[3 * i + 2]};
  }
  interpreter::RunResult result;
  if (recording != nullptr) {
    result = run_again(program);
  } else {
    rebuild_links(bp, waiting, bottom);
    state->pc = pc;
    state->sp = sp;
    state->bp = bp;
    state->ax = ax;
    result = interpreter::run_program(program, *state, io);
  }
  if (result.kind == interpreter::RunResult::fault) throw Fault{result.message};
  if (result.kind == interpreter::RunResult::write_failed) {
    throw interpreter::services::OutputFailed{};
  }
}

}  // extern "C"

namespace pl0::native {

int native_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                std::FILE* err) {
  std::vector<Switch> switches{{"-o", true}, {"-i", true}, {"-s", true}};
  scan_switches(argc, argv, switches);
  if (switches[1].seen || switches[2].seen) {  // its code is built in, and it keeps no trace
    std::fprintf(out, "Usage: %s [-o Output Run File]\n", argc > 0 ? argv[0] : "program");
    return 0;
  }
  FileOpener files("Interpreter", err);
  NativeCode program;
  return run_session(files, switches[0], nullptr, program, in, out, err);
}

}  // namespace pl0::native

// A closed pipe is reported as a failed write rather than ending the program silently.
int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  return pl0::native::native_main(argc, argv, stdin, stdout, stderr);
}
