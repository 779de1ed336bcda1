#include <cstdio>

#include "native_translator.h"

int main(int argc, char** argv) {
  return pl0::native_translator_main(argc, argv, stdin, stdout, stderr);
}
