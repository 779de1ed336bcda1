#include <stdio.h>

static int a[24];

// The smaller part by a call, the larger by the loop, as the PL/0 program does.
static void quicksort(int l, int h) {
  while (l < h) {
    int pivot = a[(l + h) / 2], i = l, j = h;
    while (i <= j) {
      while (a[i] < pivot) i++;
      while (a[j] > pivot) j--;
      if (i <= j) {
        int t = a[i];
        a[i] = a[j];
        a[j] = t;
        i++;
        j--;
      }
    }
    if (j - l < h - i) {
      quicksort(l, j);
      l = i;
    } else {
      quicksort(i, h);
      h = j;
    }
  }
}

int main(void) {
  int seed = 1, sum = 0;
  for (int round = 0; round < 60000; round++) {
    for (int k = 0; k < 24; k++) {
      seed = (seed * 1103 + 12345) % 65536;
      a[k] = seed;
    }
    quicksort(0, 23);
    sum = (sum + a[0] + a[12] + a[23]) % 1000000;
  }
  printf("%d ", sum);
  return 0;
}
