// Token-file text through the Compiler; the first byte chooses the symbol table file.
#include "compiler.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pl0::fuzz;
  if (size == 0) return 0;
  write_file(file("tokens"), data + 1, size - 1);
  std::vector<std::string> args{"Compiler", "-i", file("tokens"), "-o", file("code")};
  if (data[0] & 1) {
    args.push_back("-t");
    args.push_back(file("symbols"));
  }
  run_entry(pl0::compiler_main, args);
  return 0;
}
