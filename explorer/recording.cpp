// Recording runs the programs' own code in-process on files in a private folder, exactly as the
// four programs run it, and watches the Compiler and the machine through their observers.
#include "recording.h"


#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "chain.h"
#include "code_file.h"
#include "files.h"
#include "in_process.h"
#include "machine_run.h"
#include "name_table.h"
#include "parser.h"
#include "source_spans.h"
#include "temporary_folder.h"
#include "token_reader.h"
#include "vocabulary.h"

namespace pl0::explorer {

namespace fs = std::filesystem;

namespace {

class Watcher : public compiler::LineTable {
 public:
  Watcher(Recording& r, compiler::CompileObserver* also) : r_(r), also_(also) {}
  void name_declared(int index) override {
    if (also_ != nullptr) also_->name_declared(index);
  }
  void name_used(int index) override {
    if (also_ != nullptr) also_->name_used(index);
  }
  void block_compiled(int own, int jump, int body, int end) override {
    if (also_ != nullptr) also_->block_compiled(own, jump, body, end);
    const compiler::NameTable& names = compiler::names;
    Procedure p{names.entries[static_cast<std::size_t>(own)].name, names.level, jump, body, end,
                {}};
    if (own == 0) p.name.clear();
    for (int i = own + 1; i <= names.top; ++i) {
      const compiler::NameEntry& e = names.entries[static_cast<std::size_t>(i)];
      if (e.kind == compiler::variable_kind && e.level == names.level) {
        p.variables.push_back({e.name, e.address, e.value});
      }
    }
    if (own == 0) {
      r_.procedures.insert(r_.procedures.begin(), p);
    } else {
      r_.procedures.push_back(p);
    }
  }

 private:
  Recording& r_;
  compiler::CompileObserver* also_;
};

// Each instruction's lines of the opcode file: a header line "N:\t; ..." and its operations.
void split_operations(Recording& r) {
  std::istringstream text(r.opcodes);
  std::string line;
  long current = -1;
  while (std::getline(text, line)) {
    if (!line.empty() && line[0] != '\t') {
      ++current;
    } else if (current >= 0 && static_cast<std::size_t>(current) < r.instructions.size()) {
      r.instructions[static_cast<std::size_t>(current)].operations.push_back(line.substr(1));
    }
  }
}

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
    result = interpreter::detail::run_simple(
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

// The error's place in the source: the symbol the message found, or the end of the text where
// the source or the token file ended too soon.
void locate_error(Recording& r) {
  const std::vector<Span> spans = symbol_spans(r.source);
  const auto end = static_cast<long>(r.source.size());
  Span at{end, end};
  if (r.error_program == "Tokeniser") {
    if (r.error_message.find("Unexpected end") == std::string::npos) {
      if (!spans.empty()) at = spans.back();
    } else if (const Span open = unclosed_opening(r.source); open.symbol != 0) {
      at = open;
      r.error_unclosed = open.symbol == string_sym ? "string" : "comment";
    }
  } else if (compiler_message_number(r.error_message) != compiler::unexpected_end) {
    const auto current = static_cast<std::size_t>(compiler::reader.symbol_count - 1);
    if (current < spans.size()) at = spans[current];
  }
  r.error_from = at.from;
  r.error_to = at.to;
}

void fail(Recording& r, const char* program, const std::string& message, long line) {
  r.error_program = program;
  r.error_message = message;
  r.error_line = static_cast<int>(line);
  r.procedures.clear();
  locate_error(r);
}

}  // namespace

Recording compile(const std::string& source, compiler::CompileObserver* also) {
  Recording r;
  r.source = source;
  TemporaryFolder folder("pl0x");
  const Chain chain(folder.path(), "program");
  write_file(chain.file("pl0"), source);

  const InProcessRun tokenised = chain.tokenise(chain.file("pl0"));
  r.tokens = read_file(chain.file("tok"));
  if (tokenised.status != 0) {
    fail(r, "Tokeniser", tokenised.err, tokeniser_message_line(tokenised.err));
    return r;
  }

  Watcher watcher(r, also);
  InProcessRun compiled;
  {
    compiler::Observing observing(&watcher);
    compiled = chain.compile();
  }
  r.code = read_file(chain.file("code"));
  r.symbols = read_file(chain.file("sym"));
  if (compiled.status != 0) {
    fail(r, "Compiler", compiled.err, compiler_message_line(compiled.err));
    return r;
  }

  chain.translate();
  r.opcodes = read_file(chain.file("ops"));
  std::vector<Instruction> program;
  {
    std::FILE* file = std::fopen(chain.file("code").c_str(), "r");
    if (file == nullptr) throw std::runtime_error("cannot read the code file");
    load_code(file, program);
    std::fclose(file);
  }
  for (std::size_t a = 0; a < program.size(); ++a) {
    r.instructions.push_back({program[a], a < watcher.lines.size() ? watcher.lines[a] : 0, {}});
  }
  split_operations(r);
  return r;
}

Recording record(Recording compiled, const std::string& input, long max_steps,
                 std::size_t max_output) {
  Recording r = std::move(compiled);
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
