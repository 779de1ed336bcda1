// pl0 lsp: the language server on the console's streams, for an editor to start.
#include <cstdio>
#include <iostream>

#include "driver.h"

#if PL0_LSP
#include "server.h"
#endif

namespace pl0::driver {

int lsp_main(int argc, const char* const* argv) {
  if (argc > 0) {
    std::fprintf(stderr, "pl0: 'lsp' takes no arguments (unexpected '%s')\nTry 'pl0 --help'.\n", argv[0]);
    return 2;
  }
#if PL0_LSP
  std::ios::sync_with_stdio(false);
  return lsp::serve(std::cin, std::cout);
#else
  std::fputs("pl0: this pl0 was built without nlohmann-json, which the language server needs "
             "(apt-get install nlohmann-json3-dev, then build again)\n", stderr);
  return 2;
#endif
}

}  // namespace pl0::driver
