// The one way pl0's commands read their command lines: switches that take the argument after
// them, flags, and the names that stand alone. A mistake is a UsageError, which the command
// reports with status 2.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pl0::driver {

struct UsageError {
  std::string message;
};

struct Switch {
  std::string name;                              // "-o", "--keep"
  std::function<void(const std::string&)> take;  // given the argument after it; empty for a flag
  std::function<void()> set;                     // for a flag
  std::string needs = "a value";                 // what "'-o' needs ... after it"
};

inline Switch with_value(std::string name, std::function<void(const std::string&)> take,
                         std::string needs = "a value") {
  return {std::move(name), std::move(take), {}, std::move(needs)};
}
inline Switch flag(std::string name, std::function<void()> set) {
  return {std::move(name), {}, std::move(set), {}};
}

// Reads argv[0 .. argc) of `command` and returns the names that stand alone, at most
// `most_names` of them. An argument starting with '-' that no switch names is an error.
std::vector<std::string> read_arguments(int argc, const char* const* argv,
                                        const std::string& command,
                                        const std::vector<Switch>& switches,
                                        std::size_t most_names);

// `text` as a whole number of at least `least`, given after `option`.
long whole_number(const std::string& option, const std::string& text, long least);

}  // namespace pl0::driver
