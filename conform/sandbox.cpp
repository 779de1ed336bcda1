// Running an implementation: posix_spawn into a folder of its own, then waiting with a limit.
#include "sandbox.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "files.h"
#include "temporary_folder.h"

namespace pl0::conform {

namespace fs = std::filesystem;

namespace {


bool executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

bool on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && executable(fs::path(folder) / name)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> command_line(const std::string& command, std::string& why) {
  std::vector<std::string> words;
  std::istringstream split(command);
  for (std::string word; split >> word;) {
    std::error_code ec;
    // A relative name of an existing file ("compiler.py", "./tok") keeps working from the
    // scratch folder.
    if (word.find('/') != std::string::npos || (!words.empty() && fs::exists(word, ec))) {
      if (fs::exists(word, ec)) word = fs::absolute(word).string();
    }
    words.push_back(word);
  }
  if (words.empty()) {
    why = "the command is empty";
  } else if (words[0].find('/') != std::string::npos ? !executable(words[0]) : !on_path(words[0])) {
    why = "cannot start '" + words[0] + "': " +
          (words[0].find('/') != std::string::npos ? "no such executable file" : "not found on PATH");
    words.clear();
  }
  return words;
}

SandboxRun run_sandboxed(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& files,
                         const std::string& stdin_text, const Limits& limits,
                         const std::string& path_first, const std::vector<std::string>& env) {
  TemporaryFolder scratch("pl0k");
  const fs::path work = scratch.path() / "work";
  fs::create_directory(work);
  for (const auto& [name, text] : files) std::ofstream(work / name, std::ios::binary) << text;
  const fs::path in = scratch.path() / "stdin", out = scratch.path() / "stdout",
                 err = scratch.path() / "stderr";
  std::ofstream(in, std::ios::binary) << stdin_text;

  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("PATH=", 0) != 0) environment.emplace_back(*e);
  }
  const char* path = std::getenv("PATH");
  environment.push_back("PATH=" + (path_first.empty() ? "" : path_first + ":") + (path ? path : ""));
  for (const std::string& e : env) environment.push_back(e);
  Confinement confinement(limits);
  std::vector<std::string> words = confinement.wrap(argv, environment, work, path_first);
  std::vector<char*> args;
  args.reserve(words.size() + 1);
  for (std::string& w : words) args.push_back(w.data());
  args.push_back(nullptr);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  // posix_spawn, not fork: it does not copy this process's memory, which holds every case.
  // The file size limit is this process's own (a child inherits it); a child gets the
  // default action for SIGXFSZ back, so a flood ends it. Its own process group lets a timeout
  // end everything it started.
  const rlimit size{static_cast<rlim_t>(limits.file_bytes), RLIM_INFINITY};
  ::setrlimit(RLIMIT_FSIZE, &size);
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit core{0, 0};
  ::setrlimit(RLIMIT_CORE, &core);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGXFSZ);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, work.c_str());
  SandboxRun run;
  run.scratch = scratch.path().string();
  pid_t pid = 0;
  const bool has_slash = words[0].find('/') != std::string::npos;
  const int started = has_slash ? posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data())
                                : posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (started != 0) {
    run.trouble = RunTrouble::not_started;
    return run;
  }
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    if (spent.count() > limits.seconds) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      run.trouble = RunTrouble::timed_out;
      break;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(5)) pause *= 2;
  }
  ::kill(-pid, SIGKILL);  // whatever it started and left running
  const Breach breach = confinement.end();
  Outcome& o = run.outcome;
  int signal = 0;
  if (WIFEXITED(status)) {
    o.status = WEXITSTATUS(status);
    if (confinement.status_carries_signal() && o.status > 128 && o.status < 128 + NSIG) signal = o.status - 128;
  } else if (WIFSIGNALED(status)) {
    o.status = 128 + WTERMSIG(status);
    signal = WTERMSIG(status);
  }
  if (signal != 0 && run.trouble == RunTrouble::none) {
    run.trouble = signal == SIGXFSZ ? RunTrouble::flooded : signal == SIGXCPU ? RunTrouble::cpu_time : RunTrouble::crashed;
  }
  if (breach == Breach::memory) run.trouble = RunTrouble::out_of_memory;
  if (breach == Breach::processes) run.trouble = RunTrouble::too_many_processes;
  o.out = read_file(out);
  o.err = read_file(err);
  for (const fs::path& stream : {out, err}) {
    if (static_cast<long>(fs::file_size(stream)) >= limits.file_bytes) run.trouble = RunTrouble::flooded;
  }
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(work, ec); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path relative = fs::relative(it->path(), work);
    if (it->is_directory(ec)) {
      run.folders.push_back(relative.string());
    } else if (it->is_regular_file(ec)) {
      o.files[relative.string()] = read_file(it->path());
      if (static_cast<long>(it->file_size(ec)) >= limits.file_bytes) run.trouble = RunTrouble::flooded;
    }
  }
  return run;
}

}  // namespace pl0::conform
