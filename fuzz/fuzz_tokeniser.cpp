// Source bytes through the Tokeniser; the first byte chooses -nl.
#include "harness.h"
#include "tokeniser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pl0::fuzz;
  if (size == 0) return 0;
  write_file(file("source.pl0"), data + 1, size - 1);
  std::vector<std::string> args{"Tokeniser", "-i", file("source.pl0"), "-o", file("tokens")};
  if (data[0] & 1) args.push_back("-nl");
  run_entry(pl0::tokeniser_main, args);
  return 0;
}
