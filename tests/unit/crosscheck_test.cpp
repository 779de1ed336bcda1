// The Interpreter and the Translator must describe one machine. This test runs every golden
// program twice: on the Interpreter, recording the whole machine state after each instruction,
// and as the Translator's opcode file, carrying out its register operations one line at a time.
// Outputs and states must agree everywhere, so a net-effect shortcut in the Interpreter that
// drifts from the register operations is caught.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "build_paths.h"
#include "compiler.h"
#include "machine_run.h"
#include "register_operations.h"
#include "run_helpers.h"
#include "tokeniser.h"
#include "translate.h"
#include "wrapping.h"

namespace pl0 {
namespace {

namespace fs = std::filesystem;
using interpreter::MachineState;
using namespace translator;

constexpr std::size_t instruction_budget = 200000;

struct Line {
  RegOp op;
  std::int32_t number;
};

std::vector<std::vector<Line>> parse_opcode_file(const std::string& text) {
  std::vector<std::vector<Line>> groups;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start) + 1;
    const std::string line = text.substr(start, end - start);
    start = end;
    if (line[0] != '\t') {
      groups.emplace_back();
      continue;
    }
    bool known = false;
    for (int op = 0; op < register_operation_count && !known; ++op) {
      const std::string pattern = register_lines[op];
      const std::size_t hole = pattern.find("%d");
      if (hole == std::string::npos) {
        known = line == pattern;
        if (known) groups.back().push_back({static_cast<RegOp>(op), 0});
      } else if (line.compare(0, hole, pattern, 0, hole) == 0) {
        known = true;
        groups.back().push_back({static_cast<RegOp>(op), std::stoi(line.substr(hole))});
      }
    }
    EXPECT_TRUE(known) << "unknown line " << line;
  }
  return groups;
}

struct CellOutOfRange {};

// A machine that knows only the register operations, each as its one-line definition.
struct RegisterMachine {
  MachineState s;
  std::FILE* in;
  std::string out;

  std::int32_t& cell(std::int32_t index) {
    if (index < 0 || index > interpreter::top_cell) throw CellOutOfRange{};
    return s.cells[static_cast<std::size_t>(index)];
  }

  void execute(const Line& line) {
    std::int32_t& ax = s.ax;
    switch (line.op) {
      case push_Ax:
        s.sp = wrap_sub(s.sp, 1);
        cell(s.sp) = ax;
        break;
      case pop_Ax:
        ax = cell(s.sp);
        s.sp += 1;
        break;
      case pop_Bx:
        s.bx = cell(s.sp);
        s.sp += 1;
        break;
      case sub_Ax_Bx: ax = wrap_sub(ax, s.bx); break;
      case add_Ax_Bx: ax = wrap_add(ax, s.bx); break;
      case imul_Ax_Bx: ax = wrap_mul(ax, s.bx); break;
      case idiv_Ax_Bx: ax = s.bx == 0 ? INT32_MIN : s.bx == -1 ? wrap_neg(ax) : ax / s.bx; break;
      case mod_Ax_Bx: ax = s.bx == 0 ? INT32_MIN : s.bx == -1 ? 0 : ax % s.bx; break;
      case odd_Ax: ax = ax & 1; break;
      case eq_Ax_Bx: ax = ax == s.bx; break;
      case lt_Ax_Bx: ax = ax < s.bx; break;
      case le_Ax_Bx: ax = ax <= s.bx; break;
      case ne_Ax_Bx: ax = ax != s.bx; break;
      case gt_Ax_Bx: ax = ax > s.bx; break;
      case ge_Ax_Bx: ax = ax >= s.bx; break;
      case mov_Ax_Bx: ax = s.bx; break;
      case mov_Tx_Ax: s.tx = ax; break;
      case mov_Bx_Tx: s.bx = s.tx; break;
      case mov_Bx_Imm: s.bx = line.number; break;
      case jmp: s.pc = line.number; break;
      case jz:
        if (ax == 0) s.pc = line.number;
        break;
      case mov_PC_Ax: s.pc = ax; break;
      case mov_Ax_PC: ax = s.pc; break;
      case mov_Ax_SP: ax = s.sp; break;
      case mov_SP_Ax: s.sp = ax; break;
      case mov_Ax_BP: ax = s.bp; break;
      case mov_BP_Ax: s.bp = ax; break;
      case dec_Ax: ax = wrap_sub(ax, 1); break;
      case inc_Ax: ax = wrap_add(ax, 1); break;
      case mov_Ax_at_Ax: ax = cell(ax); break;
      case mov_at_Ax_Bx: cell(ax) = s.bx; break;
      case write_Ax: out += std::to_string(ax) + " "; break;
      case putc_Ax: out += static_cast<char>(ax & 0xff); break;
      case read_Ax: read_int(in, ax); break;
      case getc_Ax: {
        const int c = std::fgetc(in);
        if (c != EOF) s.character = static_cast<unsigned char>(c);
        ax = static_cast<std::int8_t>(s.character);
        break;
      }
      case base_walk: ADD_FAILURE() << "base walks are written out as lines"; break;
    }
  }
};

// The state after every dispatch, with the number of instructions it ran (two for a fused
// pair).
struct Recorder {
  static constexpr bool active = true;
  std::vector<std::pair<MachineState, int>> states;
  std::size_t executed = 0;
  bool operator()(const MachineState& state, int instructions) {
    states.emplace_back(state, instructions);
    executed += static_cast<std::size_t>(instructions);
    return executed < instruction_budget;
  }
};

std::FILE* input_stream(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

// Returns false when the Interpreter faults on the program, which then is not compared.
bool check_program(const std::vector<Instruction>& program, const std::string& input) {
  std::FILE* machine_in = input_stream(input);
  std::FILE* machine_out = std::tmpfile();
  Recorder recorder;
  interpreter::RunResult result;
  {
    interpreter::Output off;
    interpreter::Output out(machine_out);
    MachineState state;
    result = interpreter::run_program_observed(
        program, state, interpreter::MachineIO{machine_in, &off, &out, &off}, recorder);
  }
  const std::string interpreter_output = test::read_all(machine_out);
  std::fclose(machine_in);
  std::fclose(machine_out);
  // Faulting programs are not compared, nor those the Translator refuses.
  if (result.kind == interpreter::RunResult::fault) return false;
  if (find_deep_walk(program) != program.size()) return false;

  std::FILE* opcode_file = std::tmpfile();
  translate_program(program, opcode_file);
  const auto groups = parse_opcode_file(test::read_all(opcode_file));
  std::fclose(opcode_file);

  RegisterMachine machine{MachineState{}, input_stream(input), ""};
  bool ran = true;
  for (std::size_t step = 0; step < recorder.states.size() && ran; ++step) {
    const std::int32_t at = machine.s.pc;
    for (int k = 0; k < recorder.states[step].second && ran; ++k) {
      const auto group = static_cast<std::size_t>(machine.s.pc);
      if (group >= groups.size()) {
        ADD_FAILURE() << "no instruction group " << group;
        ran = false;
        break;
      }
      machine.s.pc = machine.s.pc + 1;
      try {
        for (const Line& line : groups[group]) machine.execute(line);
      } catch (const CellOutOfRange&) {
        ADD_FAILURE() << "register operations left the stack at step " << step;
        ran = false;
      }
    }
    if (!ran) break;
    const MachineState& want = recorder.states[step].first;
    const MachineState& got = machine.s;
    const bool same = got.pc == want.pc && got.sp == want.sp && got.bp == want.bp &&
                      got.ax == want.ax && got.bx == want.bx && got.tx == want.tx &&
                      got.cells == want.cells;
    if (!same) {
      ADD_FAILURE() << "state differs after instruction " << step << " at address " << at
                    << " (opcode " << program[static_cast<std::size_t>(at)].opcode << "): pc "
                    << got.pc << "/" << want.pc << " sp " << got.sp << "/" << want.sp << " bp "
                    << got.bp << "/" << want.bp << " ax " << got.ax << "/" << want.ax << " bx "
                    << got.bx << "/" << want.bx << " tx " << got.tx << "/" << want.tx;
      break;
    }
  }
  std::fclose(machine.in);
  if (result.kind == interpreter::RunResult::finished) {
    EXPECT_EQ(machine.out, interpreter_output);
  }
  return true;
}

std::string read_or_empty(const fs::path& path) {
  return fs::exists(path) ? test::read_file(path.string()) : "";
}

bool load_file(const fs::path& path, std::vector<Instruction>& program) {
  std::FILE* file = std::fopen(path.string().c_str(), "r");
  const bool loaded = file != nullptr && load_code(file, program);
  if (file != nullptr) std::fclose(file);
  return loaded && !program.empty();
}

// Compiles a source in-process through the Tokeniser and the Compiler.
bool compile(const fs::path& source, std::vector<Instruction>& program) {
  const std::string tokens = "crosscheck.tok";
  const std::string code = "crosscheck.code";
  const std::string source_name = source.string();
  const auto tokenised = test::run_entry(
      tokeniser_main, {"Tokeniser", "-i", source_name.c_str(), "-o", tokens.c_str()});
  const auto compiled =
      test::run_entry(compiler_main, {"Compiler", "-i", tokens.c_str(), "-o", code.c_str()});
  const bool ok = tokenised.status == 0 && compiled.status == 0 && load_file(code, program);
  std::remove(tokens.c_str());
  std::remove(code.c_str());
  return ok;
}

TEST(CrossCheck, InterpreterAndRegisterOperationsAgreeOnEveryGoldenProgram) {
  const fs::path root = test::source_dir;
  int compared = 0;
  for (const auto& item : fs::recursive_directory_iterator(root / "tests" / "golden")) {
    if (!item.is_regular_file()) continue;
    const fs::path& path = item.path();
    const fs::path folder = path.parent_path();
    if (folder.filename() != "in" && folder.filename() != "out") continue;
    std::vector<Instruction> program;
    const bool loaded = path.extension() == ".code"  ? load_file(path, program)
                        : path.extension() == ".pl0" ? compile(path, program)
                                                     : false;
    if (!loaded) continue;
    SCOPED_TRACE(path.string());
    if (check_program(program, read_or_empty(folder.parent_path() / "stdin"))) ++compared;
  }
  for (const auto& item : fs::directory_iterator(root / "examples")) {
    std::vector<Instruction> program;
    if (item.path().extension() != ".pl0" || !compile(item.path(), program)) continue;
    SCOPED_TRACE(item.path().string());
    fs::path input = item.path();
    if (check_program(program, read_or_empty(input.replace_extension(".stdin")))) ++compared;
  }
  EXPECT_GT(compared, 50);
  std::printf("compared %d programs\n", compared);
}

}  // namespace
}  // namespace pl0
