// Starting the tool chain's programs as separate processes, found beside the driver's own
// executable first and then on PATH.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pl0::driver {

// Where the standard streams of a started program go: empty means the driver's own.
struct Redirect {
  std::string in;
  std::string out;
  std::string err;
};

// The folder of the driver's own executable.
std::filesystem::path own_folder();

// The path of `program`, or an empty string when it is found nowhere.
std::string find_program(const std::string& program);

// Runs `program` with `args` (without the program name) and returns its exit status, or 128
// plus the signal number that ended it; -1 when it could not be started.
int run_program(const std::string& path, const std::vector<std::string>& args,
                const Redirect& redirect = {});

}  // namespace pl0::driver
