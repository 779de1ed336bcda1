#include <stdio.h>

int main(void) {
  int s = 0, t = 0;
  for (int i = 0; i < 50000000; i++) {
    s = s + 7;
    if (s > 1000) s -= 1000;
    t = t + s;
    if (t > 1000000000) t -= 1000000000;
  }
  printf("%d %d ", s, t);
  return 0;
}
