// Recording runs the Interpreter's own machine in-process on what the chain compiled
// (chain/compilation.h) and watches it after every instruction.
#include "recording.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "in_process.h"
#include "stepping.h"

namespace pl0::explorer {

namespace {

// Sees the state after every instruction and keeps what changed.
struct Recorder {
  static constexpr bool active = true;
  Recording& r;
  const std::vector<Instruction>& program;
  std::FILE* in;
  std::FILE* out_file;
  interpreter::Output& out;
  interpreter::MachineState last;

  void keep(const interpreter::MachineState& s) {
    for (std::int32_t v : {s.pc, s.sp, s.bp, s.ax, s.bx, s.tx}) r.registers.push_back(v);
    for (int c = 0; c < interpreter::stack_cells; ++c) {
      if (s.cells[static_cast<std::size_t>(c)] != last.cells[static_cast<std::size_t>(c)]) {
        r.change_cell.push_back(c);
        r.change_value.push_back(s.cells[static_cast<std::size_t>(c)]);
      }
    }
    r.change_start.push_back(static_cast<std::int32_t>(r.change_cell.size()));
    if (r.steps % snapshot_every == 0) r.snapshots.push_back(s.cells);
  }

  bool operator()(const interpreter::MachineState& s, int /*instructions*/) {
    const std::int32_t opcode = program[static_cast<std::size_t>(last.pc)].opcode;
    ++r.steps;
    keep(s);
    if (opcode == WRITE || opcode == PUTC) {
      out.flush();
      r.output_at.emplace_back(r.steps, static_cast<std::size_t>(std::ftell(out_file)));
    } else if (opcode == READ || opcode == GETC) {
      r.input_at.emplace_back(r.steps, static_cast<std::size_t>(std::ftell(in)));
    }
    last = s;
    return r.steps < r.max_steps;
  }
};

void run(Recording& r, const std::vector<Instruction>& program, std::size_t max_output) {
  std::FILE* in = std::tmpfile();
  std::FILE* out_file = std::tmpfile();
  if (in == nullptr || out_file == nullptr) throw std::runtime_error("cannot create a temp file");
  std::fwrite(r.input.data(), 1, r.input.size(), in);
  std::rewind(in);
  interpreter::RunResult result;
  {
    interpreter::Output off;
    interpreter::Output out(out_file);
    interpreter::MachineState state;
    Recorder recorder{r, program, in, out_file, out, state};
    r.change_start.push_back(0);
    recorder.keep(state);
    result = interpreter::run_stepwise(
        program, state, interpreter::MachineIO{in, &off, &out, &off}, recorder);
  }
  r.ran = true;
  switch (result.kind) {
    case interpreter::RunResult::finished: r.end.kind = RunEnd::finished; break;
    case interpreter::RunResult::fault: r.end.kind = RunEnd::fault; break;
    case interpreter::RunResult::stopped: r.end.kind = RunEnd::step_cap; break;
    case interpreter::RunResult::write_failed: r.end.kind = RunEnd::write_failed; break;
  }
  r.end.message = result.message;
  r.output = read_whole_stream(out_file);
  if (r.output.size() > max_output) {
    r.output.resize(max_output);
    r.output_cut = true;
    for (auto& [state, length] : r.output_at) length = std::min(length, max_output);
  }
  std::fclose(in);
  std::fclose(out_file);
}

}  // namespace

Recording record(Compilation compiled, const std::string& input, long max_steps,
                 std::size_t max_output) {
  Recording r(std::move(compiled));
  r.input = input;
  r.max_steps = max_steps;
  if (!r.error_program.empty()) return r;
  std::vector<Instruction> program;
  program.reserve(r.instructions.size());
  for (const InstructionInfo& i : r.instructions) program.push_back(i.instruction);
  run(r, program, max_output);
  return r;
}

Recording record(const std::string& source, const std::string& input, long max_steps,
                 std::size_t max_output) {
  return record(compile(source), input, max_steps, max_output);
}

}  // namespace pl0::explorer
