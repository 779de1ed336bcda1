// The reference outcome: the programs' entry functions on files in a private folder, with
// their standard streams on temporary files.
#include "reference.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "chain.h"
#include "files.h"
#include "in_process.h"
#include "stepping.h"
#include "temporary_folder.h"

namespace pl0::conform {

namespace fs = std::filesystem;

Invocation invocation(Program program, bool keep_lines) {
  return Chain({}, "prog").invocation(program, keep_lines);
}

Outcome reference(Program program, const std::string& input, const std::string& stdin_text,
                  bool keep_lines) {
  TemporaryFolder folder("pl0c");
  // The switches name files in the folder by their full path; no message of a generated case
  // names a file.
  const Chain chain(folder.path(), "prog");
  std::ofstream(chain.invocation(program, keep_lines).input, std::ios::binary) << input;
  const InProcessRun run =
      run_in_process(program_entry(program), chain.command(program, keep_lines), stdin_text);
  Outcome o{{}, run.out, run.err, run.status};
  for (const auto& file : fs::directory_iterator(folder.path())) {
    std::ifstream stream(file.path(), std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    o.files[file.path().filename().string()] = text.str();
  }
  return o;
}

namespace {

Compiled compiled_now(const std::string& source) {
  Compiled c;
  const Outcome tokens = reference(Program::tokeniser, source, "", true);
  if (tokens.status != 0) return c;
  c.tokenised = true;
  c.tokens = tokens.files.at("prog.tok");
  const Outcome code = reference(Program::compiler, c.tokens, "", true);
  if (code.status != 0) {
    c.error = std::atoi(code.err.c_str() + std::string("Error ").size());
    return c;
  }
  c.compiled = true;
  c.code = code.files.at("prog.code");
  return c;
}

}  // namespace

Compiled compile(const std::string& source) {
  // A cut-down makes a candidate's case and then checks how it compiles: the same source twice
  // in a row, and compiling is most of what a candidate costs before it runs.
  static std::optional<std::pair<std::string, Compiled>> last;
  if (!last || last->first != source) last = {source, compiled_now(source)};
  return last->second;
}

namespace {

struct StepLimit {
  static constexpr bool active = true;
  long left;
  bool operator()(const interpreter::MachineState&, int count) { return (left -= count) > 0; }
};

}  // namespace

Ending ending(const std::string& code, const std::string& stdin_text, long steps) {
  std::vector<Instruction> program;
  std::FILE* file = temporary_stream(code);
  load_code(file, program);
  std::fclose(file);
  std::FILE* in = temporary_stream(stdin_text);
  std::FILE* out = temporary_stream("");
  interpreter::RunResult result;
  {
    interpreter::Output off;
    interpreter::Output sink(out);
    interpreter::MachineState state;
    StepLimit limit{steps};
    result = interpreter::run_stepwise(program, state,
                                             interpreter::MachineIO{in, &off, &sink, &off}, limit);
  }
  std::fclose(in);
  std::fclose(out);
  switch (result.kind) {
    case interpreter::RunResult::finished: return Ending::finished;
    case interpreter::RunResult::stopped: return Ending::too_long;
    default: return Ending::fault;
  }
}

}  // namespace pl0::conform
