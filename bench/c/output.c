#include <stdio.h>

int main(void) {
  for (int i = 0; i < 3000000; i++) printf("%d ", i);
  return 0;
}
