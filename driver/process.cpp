#include "process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

// POSIX asks a program to declare it; some C libraries do too.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace pl0::driver {

namespace fs = std::filesystem;

namespace {

bool is_executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

bool add_redirect(posix_spawn_file_actions_t& actions, int fd, const std::string& file, int flags) {
  if (file.empty()) return true;
  return posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), flags, 0644) == 0;
}

}  // namespace

fs::path own_folder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

std::string find_program(const std::string& program) {
  const fs::path beside = own_folder() / program;
  if (is_executable(beside)) return beside.string();
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const fs::path folder = folders.substr(start, end - start);
    if (!folder.empty() && is_executable(folder / program)) return (folder / program).string();
    start = end + 1;
  }
  return "";
}

int run_program(const std::string& path, const std::vector<std::string>& args,
                const Redirect& redirect) {
  std::vector<char*> argv;
  std::string name = fs::path(path).filename().string();
  argv.push_back(name.data());
  std::vector<std::string> copies(args);
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const int write_flags = O_WRONLY | O_CREAT | O_TRUNC;
  const bool redirected = add_redirect(actions, 0, redirect.in, O_RDONLY) &&
                          add_redirect(actions, 1, redirect.out, write_flags) &&
                          add_redirect(actions, 2, redirect.err, write_flags);
  pid_t pid = 0;
  const int started =
      redirected ? posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) : -1;
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace pl0::driver
