#include <stdio.h>

int main(void) {
  int a = 1, b = 1;
  for (int i = 0; i < 50000000; i++) {
    int t = a + b;
    if (t >= 1000000) t -= 1000000;
    a = b;
    b = t;
  }
  printf("%d %d ", a, b);
  return 0;
}
