#include <cstdio>

#include "tokeniser.h"

int main(int argc, char** argv) {
  return pl0::tokeniser_main(argc, argv, stdin, stdout, stderr);
}
