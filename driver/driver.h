// The pl0 driver's entry: run, build or trace a PL/0 program through the four programs.
#pragma once

namespace pl0::driver {

int driver_main(int argc, const char* const* argv);

}  // namespace pl0::driver
