#include <cstdio>

#include "interpreter.h"

int main(int argc, char** argv) {
  return pl0::interpreter_main(argc, argv, stdin, stdout, stderr);
}
