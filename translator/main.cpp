#include <cstdio>

#include "translator.h"

int main(int argc, char** argv) {
  return pl0::translator_main(argc, argv, stdin, stdout, stderr);
}
