// Code-file text and standard input through the Interpreter's loader and machine. The first
// byte chooses the trace; the code file runs up to the first NUL byte, standard input after it.
#include <cstring>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pl0::fuzz;
  if (size == 0) return 0;
  const bool trace = data[0] & 1;
  const auto* text = data + 1;
  const std::size_t rest = size - 1;
  const auto* nul = static_cast<const std::uint8_t*>(std::memchr(text, 0, rest));
  const std::size_t code_size = nul != nullptr ? static_cast<std::size_t>(nul - text) : rest;
  write_file(file("code"), text, code_size);
  const std::size_t input_start = nul != nullptr ? code_size + 1 : rest;
  run_code_file(file("code"), text + input_start, rest - input_start, trace, 20000);
  return 0;
}
