#include <csignal>
#include <cstdio>

#include "tokeniser.h"

// A closed pipe is reported as a failed write rather than ending the program silently.
int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  return pl0::tokeniser_main(argc, argv, stdin, stdout, stderr);
}
