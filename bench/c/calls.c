#include <stdio.h>

static int n, result;

/* Through globals, as the PL/0 twin: the argument in n, the answer in result. */
static void fib(void) {
  int k = n, a;
  if (k < 2) {
    result = k;
  } else {
    n = k - 1;
    fib();
    a = result;
    n = k - 2;
    fib();
    result = a + result;
  }
}

int main(void) {
  int total = 0;
  for (int round = 0; round < 6000; round++) {
    n = 17;
    fib();
    total += result;
  }
  printf("%d ", total);
  return 0;
}
