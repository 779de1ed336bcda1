// The reference outcome: the programs' entry functions on files in a private folder, with
// their standard streams on temporary files.
#include "reference.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "compiler.h"
#include "files.h"
#include "in_process.h"
#include "interpreter.h"
#include "machine_run.h"
#include "temporary_folder.h"
#include "tokeniser.h"
#include "translator.h"

namespace pl0::conform {

namespace fs = std::filesystem;

namespace {


std::FILE* temporary(const std::string& text = "") {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("cannot create a temporary file");
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return file;
}

ProgramEntry entry(Program program) {
  switch (program) {
    case Program::tokeniser: return tokeniser_main;
    case Program::compiler: return compiler_main;
    case Program::interpreter: return interpreter_main;
    case Program::translator: return translator_main;
  }
  return nullptr;
}

}  // namespace

const char* program_name(Program program) {
  switch (program) {
    case Program::tokeniser: return "Tokeniser";
    case Program::compiler: return "Compiler";
    case Program::interpreter: return "Interpreter";
    case Program::translator: return "Translator";
  }
  return "?";
}

Invocation invocation(Program program, bool keep_lines) {
  switch (program) {
    case Program::tokeniser:
      if (keep_lines) return {"prog.pl0", {"-i", "prog.pl0", "-o", "prog.tok", "-nl"}, {"prog.tok"}};
      return {"prog.pl0", {"-i", "prog.pl0", "-o", "prog.tok"}, {"prog.tok"}};
    case Program::compiler:
      return {"prog.tok", {"-i", "prog.tok", "-o", "prog.code", "-t", "prog.sym"}, {"prog.code", "prog.sym"}};
    case Program::interpreter:  // with and without the trace: the machine has a loop for each
      if (keep_lines) return {"prog.code", {"-i", "prog.code", "-o", "prog.run", "-s", "prog.stk"}, {"prog.run", "prog.stk"}};
      return {"prog.code", {"-i", "prog.code", "-o", "prog.run"}, {"prog.run"}};
    case Program::translator:
      return {"prog.code", {"-i", "prog.code", "-o", "prog.ops"}, {"prog.ops"}};
  }
  return {};
}

Outcome reference(Program program, const std::string& input, const std::string& stdin_text,
                  bool keep_lines) {
  const Invocation how = invocation(program, keep_lines);
  TemporaryFolder folder("pl0c");
  std::ofstream(folder.path() / how.input, std::ios::binary) << input;
  // The switches name files in the folder by their full path; no message of a generated case
  // names a file.
  std::vector<std::string> args{program_name(program)};
  for (const std::string& s : how.switches) {
    args.push_back(s.rfind("prog.", 0) == 0 ? (folder.path() / s).string() : s);
  }
  const InProcessRun run = run_in_process(entry(program), args, stdin_text);
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
  std::FILE* file = temporary(code);
  load_code(file, program);
  std::fclose(file);
  std::FILE* in = temporary(stdin_text);
  std::FILE* out = temporary();
  interpreter::RunResult result;
  {
    interpreter::Output off;
    interpreter::Output sink(out);
    interpreter::MachineState state;
    StepLimit limit{steps};
    result = interpreter::detail::run_simple(program, state,
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
