#include <stdio.h>

int main(void) {
  for (int i = 0; i < 740741; i++) {
    for (int c = 97; c <= 122; c++) putchar(c);
    putchar(10);
  }
  return 0;
}
