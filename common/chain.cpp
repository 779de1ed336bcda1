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

std::string Chain::file(const char* extension) const {
  return (folder_ / (stem_ + "." + extension)).string();
}

InProcessRun Chain::tokenise(const std::string& source) const {
  return run_in_process(tokeniser_main, {"Tokeniser", "-i", source, "-o", file("tok"), "-nl"});
}

InProcessRun Chain::compile() const {
  return run_in_process(compiler_main,
                        {"Compiler", "-i", file("tok"), "-o", file("code"), "-t", file("sym")});
}

InProcessRun Chain::translate() const {
  return run_in_process(translator_main, {"Translator", "-i", file("code"), "-o", file("ops")});
}

int Chain::interpret(const Streams& streams, const std::string& stack_file) const {
  std::vector<std::string> args{"Interpreter", "-i", file("code"), "-o", file("run")};
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
