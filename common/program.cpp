#include "program.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace pl0 {

void scan_switches(int argc, const char* const* argv, std::vector<Switch>& switches) {
  for (int i = 1; i < argc; ++i) {
    for (Switch& sw : switches) {
      if (std::strcmp(argv[i], sw.text) != 0) continue;
      sw.seen = true;
      if (sw.takes_name && i + 1 < argc) sw.name = argv[i + 1];
    }
  }
}

void FileOpener::report(const std::string& message) const {
  std::fprintf(err_, "%s: %s\n", program_, message.c_str());
}

bool FileOpener::named(const char* role, const Switch& sw) const {
  if (!sw.name.empty()) return true;
  report(std::string("no ") + role + " name after " + sw.text);
  return false;
}

static std::string failure(const char* verb, const char* role, const std::string& name,
                           int error_number) {
  return std::string("cannot ") + verb + " " + role + " '" + name +
         "': " + std::strerror(error_number);
}

static bool is_directory(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_directory(name, ec);
}

FILE* FileOpener::open_input(const char* role, const Switch& sw) {
  if (!named(role, sw)) return nullptr;
  // fopen accepts a directory for reading on some systems; reading it would then fail later.
  if (is_directory(sw.name)) {
    report(failure("open", role, sw.name, EISDIR));
    return nullptr;
  }
  FILE* file = std::fopen(sw.name.c_str(), "r");
  if (file == nullptr) {
    report(failure("open", role, sw.name, errno));
    return nullptr;
  }
  inputs_.emplace_back(role, sw.name);
  return file;
}

FILE* FileOpener::open_output(const char* role, const Switch& sw) {
  if (!named(role, sw)) return nullptr;
  for (const auto& [input_role, input_name] : inputs_) {
    std::error_code ec;
    if (std::filesystem::equivalent(input_name, sw.name, ec)) {
      report("'" + sw.name + "' is both the " + input_role + " and the " + role +
             "; refusing to overwrite it");
      return nullptr;
    }
  }
  FILE* file = std::fopen(sw.name.c_str(), "w");
  if (file == nullptr) {
    report(failure("create", role, sw.name, errno));
    return nullptr;
  }
  return file;
}

bool FileOpener::close_output(FILE* file, const char* role, const Switch& sw) {
  bool failed = std::ferror(file) != 0;
  int saved = errno;
  if (std::fclose(file) != 0 && !failed) {
    failed = true;
    saved = errno;
  }
  if (failed) {
    report(failure("write", role, sw.name, saved));
  }
  return !failed;
}

bool flush_stream(FILE* file, const char* program, const char* what, FILE* err) {
  if (std::fflush(file) == 0 && std::ferror(file) == 0) return true;
  std::fprintf(err, "%s: cannot write %s: %s\n", program, what, std::strerror(errno));
  return false;
}

}  // namespace pl0
