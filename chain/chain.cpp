// Each program's switches are read from invocation(), so pl0, the conformance kit and the
// playground run the programs on exactly the same command lines.
#include "chain.h"

#include <cstdlib>
#include <utility>

#include "compiler.h"
#include "interpreter.h"
#include "tokeniser.h"
#include "translator.h"

namespace pl0 {

Chain::Chain(std::filesystem::path folder, std::string stem)
    : folder_(std::move(folder)), stem_(std::move(stem)) {}

const char* program_name(Program program) {
  switch (program) {
    case Program::tokeniser: return "Tokeniser";
    case Program::compiler: return "Compiler";
    case Program::interpreter: return "Interpreter";
    case Program::translator: return "Translator";
  }
  return "?";
}

ProgramEntry program_entry(Program program) {
  switch (program) {
    case Program::tokeniser: return tokeniser_main;
    case Program::compiler: return compiler_main;
    case Program::interpreter: return interpreter_main;
    case Program::translator: return translator_main;
  }
  return nullptr;
}

std::string Chain::file(const char* extension) const {
  return (folder_ / (stem_ + "." + extension)).string();
}

Invocation Chain::invocation(Program program, bool keep_lines) const {
  switch (program) {
    case Program::tokeniser:
      if (keep_lines) {
        return {file("pl0"), {"-i", file("pl0"), "-o", file("tok"), "-nl"}, {file("tok")}};
      }
      return {file("pl0"), {"-i", file("pl0"), "-o", file("tok")}, {file("tok")}};
    case Program::compiler:
      return {file("tok"), {"-i", file("tok"), "-o", file("code"), "-t", file("sym")},
              {file("code"), file("sym")}};
    case Program::interpreter:
      if (keep_lines) {
        return {file("code"), {"-i", file("code"), "-o", file("run"), "-s", file("stk")},
                {file("run"), file("stk")}};
      }
      return {file("code"), {"-i", file("code"), "-o", file("run")}, {file("run")}};
    case Program::translator:
      return {file("code"), {"-i", file("code"), "-o", file("ops")}, {file("ops")}};
  }
  return {};
}

std::vector<std::string> Chain::command(Program program, bool keep_lines) const {
  std::vector<std::string> args{program_name(program)};
  const Invocation how = invocation(program, keep_lines);
  args.insert(args.end(), how.switches.begin(), how.switches.end());
  return args;
}

InProcessRun Chain::tokenise(const std::string& source) const {
  std::vector<std::string> args = command(Program::tokeniser, true);
  args[2] = source;  // the word after -i: the source may lie outside the folder
  return run_in_process(tokeniser_main, args);
}

InProcessRun Chain::compile() const {
  return run_in_process(compiler_main, command(Program::compiler, true));
}

InProcessRun Chain::translate() const {
  return run_in_process(translator_main, command(Program::translator, true));
}

int Chain::interpret(const Streams& streams, const std::string& stack_file) const {
  std::vector<std::string> args = command(Program::interpreter, false);
  if (!stack_file.empty()) args.insert(args.end(), {"-s", stack_file});
  return run_on_streams(interpreter_main, args, streams);
}

namespace {

long number_after(const std::string& message, const std::string& marker) {
  const std::size_t at = message.find(marker);
  return at == std::string::npos ? 0 : std::strtol(message.c_str() + at + marker.size(), nullptr, 10);
}

}  // namespace

long tokeniser_message_line(const std::string& message) {
  return number_after(message, "Line ");
}
long compiler_message_line(const std::string& message) {
  return number_after(message, " on line ");
}
long compiler_message_number(const std::string& message) {
  return number_after(message, "Error ");
}

}  // namespace pl0
