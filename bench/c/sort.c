#include <stdio.h>

int main(void) {
  int a[80], seed = 1, sum = 0;
  for (int round = 0; round < 8000; round++) {
    for (int i = 0; i < 80; i++) {
      seed = (seed * 1103 + 12345) % 65536;
      a[i] = seed;
    }
    for (int i = 0; i < 79; i++) {
      for (int j = 0; j < 79 - i; j++) {
        if (a[j] > a[j + 1]) {
          int t = a[j];
          a[j] = a[j + 1];
          a[j + 1] = t;
        }
      }
    }
    sum = (sum + a[0] + a[40] + a[79]) % 1000000;
  }
  printf("%d ", sum);
  return 0;
}
