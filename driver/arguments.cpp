#include "arguments.h"

#include <cerrno>
#include <cstdlib>

namespace pl0::driver {

namespace {

UsageError unknown_option(const std::string& option, const std::string& command) {
  return {"unknown option '" + option + "' for '" + command + "'"};
}

}  // namespace

std::vector<std::string> read_arguments(int argc, const char* const* argv,
                                        const std::string& command,
                                        const std::vector<Switch>& switches,
                                        std::size_t most_names) {
  std::vector<std::string> names;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const Switch* known = nullptr;
    for (const Switch& s : switches) {
      if (s.name == arg) known = &s;
    }
    if (known != nullptr && known->take) {
      if (i + 1 == argc) throw UsageError{"'" + arg + "' needs " + known->needs + " after it"};
      known->take(argv[++i]);
    } else if (known != nullptr) {
      known->set();
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw unknown_option(arg, command);
    } else if (names.size() < most_names) {
      names.push_back(arg);
    } else {
      throw UsageError{"unexpected argument '" + arg + "'"};
    }
  }
  return names;
}

long whole_number(const std::string& option, const std::string& text, long least) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || n < least) {
    throw UsageError{option + " needs a whole number of at least " + std::to_string(least) +
                     ", not '" + text + "'"};
  }
  return n;
}

}  // namespace pl0::driver
