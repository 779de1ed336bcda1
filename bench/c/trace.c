#include <stdio.h>

int main(void) {
  int s = 0;
  for (int i = 0; i < 250000; i++) s += i % 3;
  printf("%d ", s);
  return 0;
}
