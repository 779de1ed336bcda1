// Code-file text through the Translator.
#include "harness.h"
#include "translator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pl0::fuzz;
  write_file(file("code"), data, size);
  run_entry(pl0::translator_main, {"Translator", "-i", file("code"), "-o", file("opcodes")});
  return 0;
}
