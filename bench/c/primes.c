#include <stdio.h>

int main(void) {
  int count = 0;
  for (int n = 2; n < 200000; n++) {
    int prime = 1;
    for (int d = 2; d * d <= n; d++) {
      if (n % d == 0) prime = 0;
    }
    count += prime;
  }
  printf("%d ", count);
  return 0;
}
