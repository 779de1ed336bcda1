#include <cstdio>

#include "compiler.h"

int main(int argc, char** argv) {
  return pl0::compiler_main(argc, argv, stdin, stdout, stderr);
}
