// One spawn and one wait for every program this tool chain starts; see process.h.
#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <system_error>
#include <thread>

// POSIX asks a program to declare it; some C libraries do too.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace pl0 {

namespace fs = std::filesystem;

bool is_executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

fs::path own_folder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

std::string find_on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && is_executable(fs::path(folder) / program)) {
      return (fs::path(folder) / program).string();
    }
  }
  return "";
}

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
  std::vector<char*> list;
  list.reserve(words.size() + 1);
  for (std::string& w : words) list.push_back(w.data());
  list.push_back(nullptr);
  return list;
}

bool add_open(posix_spawn_file_actions_t& actions, int fd, const std::string& file, int flags) {
  return file.empty() ||
         posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), flags, 0644) == 0;
}

pid_t spawn(const Start& start) {
  std::vector<std::string> args(start.argv);
  std::vector<std::string> environment;
  if (start.environment != nullptr) environment = *start.environment;
  std::vector<char*> argv = pointers(args);
  std::vector<char*> envp = pointers(environment);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const int write_flags = O_WRONLY | O_CREAT | O_TRUNC;
  bool ready = add_open(actions, 0, start.in, O_RDONLY) &&
               add_open(actions, 1, start.out, write_flags) &&
               add_open(actions, 2, start.err, write_flags);
  if (!start.folder.empty()) {
    ready = ready && posix_spawn_file_actions_addchdir_np(&actions, start.folder.c_str()) == 0;
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (start.own_group) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
  }
  char** env = start.environment != nullptr ? envp.data() : environ;
  pid_t pid = 0;
  int started = -1;
  if (ready && !args.empty()) {
    started = !start.path.empty()
                  ? posix_spawn(&pid, start.path.c_str(), &actions, &attributes, argv.data(), env)
              : args[0].find('/') != std::string::npos
                  ? posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), env)
                  : posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), env);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return started == 0 ? pid : -1;
}

enum class Wait { ended, timed_out, lost };

// Waits for `pid`, at most `seconds` when that is not 0: polled, with a pause that grows to
// 5 ms, so that a short run is not held up and a long one costs little.
Wait wait_within(pid_t pid, double seconds, int& status) {
  if (seconds <= 0) {
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return Wait::lost;
    }
    return Wait::ended;
  }
  const auto begin = std::chrono::steady_clock::now();
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return Wait::ended;
    if (done < 0 && errno != EINTR) return Wait::lost;
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
    if (spent.count() > seconds) return Wait::timed_out;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(5)) pause *= 2;
  }
}

}  // namespace

Ended run_process(const Start& start) {
  Ended ended;
  const pid_t pid = spawn(start);
  if (pid < 0) return ended;
  ended.started = true;
  int status = 0;
  const Wait wait = wait_within(pid, start.seconds, status);
  if (wait == Wait::timed_out) {
    ::kill(start.own_group ? -pid : pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ended.timed_out = true;
  }
  if (start.own_group) ::kill(-pid, SIGKILL);  // whatever it started and left running
  if (wait == Wait::lost) return ended;  // its status is unknown: never taken for success
  if (WIFEXITED(status)) {
    ended.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    ended.signal = WTERMSIG(status);
    ended.status = 128 + ended.signal;
  }
  return ended;
}

}  // namespace pl0
