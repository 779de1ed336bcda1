#include <stdio.h>

int main(void) {
  int count = 1, last = 2, gap = 0;
  for (int n = 3; n < 600000; n += 2) {
    int composite = 0;
    for (int d = 3; d <= n / d; d += 2) {
      if (n % d == 0) {
        composite = 1;
        break;
      }
    }
    if (!composite) {
      count++;
      if (n - last > gap) gap = n - last;
      last = n;
    }
  }
  printf("%d %d ", count, gap);
  return 0;
}
