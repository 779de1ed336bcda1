// Source bytes through the whole chain: Tokeniser, Compiler, then the machine (for a bounded
// number of instructions, with an empty input) and the Translator on the code it compiled.
#include "compiler.h"
#include "harness.h"
#include "tokeniser.h"
#include "translator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pl0::fuzz;
  write_file(file("source.pl0"), data, size);
  run_entry(pl0::tokeniser_main,
            {"Tokeniser", "-i", file("source.pl0"), "-o", file("tokens"), "-nl"});
  if (run_entry(pl0::compiler_main, {"Compiler", "-i", file("tokens"), "-o", file("code")}) != 0) {
    return 0;
  }
  run_code_file(file("code"), nullptr, 0, true, 20000);
  run_entry(pl0::translator_main, {"Translator", "-i", file("code"), "-o", file("opcodes")});
  return 0;
}
