#include "driver.h"

int main(int argc, char** argv) {
  return pl0::driver::driver_main(argc, argv);
}
