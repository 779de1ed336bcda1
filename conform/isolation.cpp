// Isolation: bubblewrap's command line for one run, the cgroup groups that bound it, and the
// probe that decides once what this machine allows.
#include "isolation.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "sandbox.h"

namespace pl0::conform {

namespace fs = std::filesystem;

namespace {

// What bubblewrap needs for its own processes: its monitor and the namespace's first process.
constexpr int bwrap_processes = 2;

bool within(const fs::path& path, const fs::path& folder) {
  const auto mismatch = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return mismatch.first == folder.end();
}

fs::path canonical_or_same(const fs::path& path) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(path, ec);
  return ec ? path : c;
}

// Folders never made visible whole: they hold the grader's own files and the other runs'.
bool too_wide(const fs::path& folder) {
  const char* home = std::getenv("HOME");
  const char* tmp = std::getenv("TMPDIR");
  for (const fs::path& wide : {fs::path(home != nullptr ? home : "/root"),
                               fs::path(tmp != nullptr && *tmp ? tmp : "/tmp"), fs::path("/tmp")}) {
    if (within(canonical_or_same(wide), folder)) return true;
  }
  return folder == "/";
}

// Where a program is installed: the folder above its bin/ (so that a language's runtime beside
// it is there too), or its own folder.
fs::path installation(const fs::path& program) {
  fs::path folder = program.parent_path();
  const std::string name = folder.filename().string();
  if ((name == "bin" || name == "sbin" || name == "shims") && !too_wide(folder.parent_path())) {
    return folder.parent_path();
  }
  return folder;
}

fs::path found_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    fs::path candidate = fs::path(folder) / name;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// A file to see: its folder, unless that folder is too wide, then the file alone.
void add_visible(std::vector<fs::path>& visible, const fs::path& folder, const fs::path& file) {
  if (folder.empty()) return;
  for (const fs::path& p : {folder, canonical_or_same(folder)}) {
    if (!too_wide(p)) {
      visible.push_back(p);
    } else if (!file.empty()) {
      visible.push_back(file);
    }
  }
}

bool spawn_and_wait(const std::vector<std::string>& argv) {
  std::vector<std::string> words(argv);
  std::vector<char*> args;
  args.reserve(words.size() + 1);
  for (std::string& w : words) args.push_back(w.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  pid_t pid = 0;
  const int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return started == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// The system's programs and libraries, read-only, and the few files of /etc they read.
std::vector<std::string> system_binds() {
  std::vector<std::string> a{"--ro-bind", "/usr", "/usr"};
  for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/opt"}) {
    std::error_code ec;
    if (fs::is_symlink(top, ec)) {
      a.insert(a.end(), {"--symlink", fs::read_symlink(top, ec).string(), top});
    } else if (fs::is_directory(top, ec)) {
      a.insert(a.end(), {"--ro-bind", top, top});
    }
  }
  a.insert(a.end(), {"--proc", "/proc", "--dev", "/dev", "--tmpfs", "/tmp"});
  std::vector<std::string> etc{"alternatives", "ld.so.cache", "ld.so.conf", "ld.so.conf.d",
                               "localtime",    "passwd",      "group",      "nsswitch.conf"};
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/etc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("java", 0) == 0 || name.rfind("python", 0) == 0) etc.push_back(name);
  }
  for (const std::string& name : etc)
    a.insert(a.end(), {"--ro-bind-try", "/etc/" + name, "/etc/" + name});
  return a;
}

// The parent group for this run under `controller` (v1), where this process may make one.
fs::path make_parent_group(const std::string& controller, const char* limit_file) {
  std::ifstream own("/proc/self/cgroup");
  for (std::string line; std::getline(own, line);) {
    const std::size_t a = line.find(':'), b = line.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    const std::string controllers = "," + line.substr(a + 1, b - a - 1) + ",";
    if (controllers.find("," + controller + ",") == std::string::npos) continue;
    fs::path group = fs::path("/sys/fs/cgroup") / line.substr(a + 1, b - a - 1) /
                     fs::path(line.substr(b + 1)).relative_path() /
                     ("pl0-conform-" + std::to_string(::getpid()));
    std::error_code ec;
    if (fs::create_directory(group, ec) && fs::exists(group / limit_file, ec)) return group;
    fs::remove(group, ec);
  }
  return {};
}

bool write_text(const fs::path& file, const std::string& text) {
  std::ofstream out(file);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

long field(const fs::path& file, const std::string& name) {
  std::ifstream in(file);
  for (std::string key; in >> key;) {
    long value = 0;
    if (!(in >> value)) break;
    if (key == name) return value;
  }
  return 0;
}

std::string quoted(const std::string& word) {
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Variables a program may need to start; the rest (tokens, passwords, the grader's own
// settings) stay outside.
bool passed_on(const std::string& variable) {
  static const char* const kept[] = {
      "PATH=",    "HOME=", "USER=",      "LOGNAME=",   "LANG=", "LANGUAGE=",   "LC_",
      "TZ=",      "TERM=", "JAVA_HOME=", "CLASSPATH=", "PYENV", "PYTHONPATH=", "LD_LIBRARY_PATH=",
      "CASE_DIR="};
  for (const char* k : kept) {
    if (variable.rfind(k, 0) == 0) return true;
  }
  return false;
}

// RLIMIT_NPROC counts every process of the real user, not the run's alone.
int processes_of_this_user() {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    struct stat about {};
    if (name.find_first_not_of("0123456789") == std::string::npos &&
        ::stat(entry.path().c_str(), &about) == 0 && about.st_uid == ::getuid()) {
      ++count;
    }
  }
  return count;
}

}  // namespace

std::string memory_text(long mib) {
  return mib % 1024 == 0 ? std::to_string(mib / 1024) + " GiB" : std::to_string(mib) + " MiB";
}

Isolation::~Isolation() {
  std::error_code ec;
  for (const fs::path& group : free_) fs::remove(group, ec);
  for (const fs::path& group : {memory_group, pids_group}) {
    if (!group.empty()) fs::remove(group, ec);
  }
}

fs::path Isolation::take_group(const fs::path& parent) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = free_.begin(); it != free_.end(); ++it) {
    if (it->parent_path() == parent) {
      fs::path group = *it;
      free_.erase(it);
      return group;
    }
  }
  const fs::path group = parent / std::to_string(made_++);
  std::error_code ec;
  return fs::create_directory(group, ec) ? group : fs::path();
}

void Isolation::give_back(const fs::path& group) const {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(group);
}

IsolationPlan plan_isolation(IsolationMode mode,
                             const std::vector<std::vector<std::string>>& commands,
                             const std::vector<fs::path>& hidden) {
  auto isolation = std::make_shared<Isolation>();
  isolation->root = ::geteuid() == 0;
  IsolationPlan plan;
  std::string missing;
  if (mode != IsolationMode::off) {
    const fs::path bwrap = found_on_path("bwrap");
    std::vector<std::string> probe{bwrap.string(), "--unshare-all", "--die-with-parent"};
    const std::vector<std::string> system = system_binds();
    probe.insert(probe.end(), system.begin(), system.end());
    probe.insert(probe.end(), {"--", "true"});
    if (bwrap.empty()) {
      missing = "bubblewrap is not installed";
    } else if (!spawn_and_wait(probe)) {
      missing = "bubblewrap cannot make namespaces here";
    } else {
      isolation->bwrap = bwrap.string();
    }
  }
  if (mode == IsolationMode::required && isolation->bwrap.empty()) {
    plan.error = "--isolation required: " + missing +
                 " (install bubblewrap, e.g. apt-get install bubblewrap)";
    return plan;
  }
  isolation->memory_group = make_parent_group("memory", "memory.limit_in_bytes");
  isolation->pids_group = make_parent_group("pids", "pids.max");

  // Every PATH entry's installation, so that an interpreter a script names runs inside; the
  // implementations' own programs and files where they live.
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec) || within(folder, "/usr")) continue;
    add_visible(isolation->visible, installation(fs::path(folder) / "x"), {});
  }
  for (const std::vector<std::string>& words : commands) {
    for (std::size_t k = 0; k < words.size(); ++k) {
      std::error_code ec;
      fs::path file = k == 0 && words[k].find('/') == std::string::npos ? found_on_path(words[k])
                                                                        : fs::path(words[k]);
      if (file.empty() || !file.is_absolute() || !fs::exists(file, ec)) continue;
      if (fs::is_directory(file, ec)) {
        add_visible(isolation->visible, file, {});
      } else {
        add_visible(isolation->visible, k == 0 ? installation(file) : file.parent_path(), file);
        add_visible(isolation->visible, k == 0 ? installation(canonical_or_same(file)) : fs::path(),
                    canonical_or_same(file));
      }
    }
  }
  std::sort(isolation->visible.begin(), isolation->visible.end());
  isolation->visible.erase(std::unique(isolation->visible.begin(), isolation->visible.end()),
                           isolation->visible.end());
  for (const fs::path& h : hidden) {
    if (!h.empty()) isolation->hidden.push_back(canonical_or_same(fs::absolute(h)));
  }

  std::string unbounded;
  if (isolation->memory_group.empty())
    unbounded += "; memory is bounded per process (RLIMIT_DATA), not in all";
  if (isolation->pids_group.empty()) {
    unbounded +=
        isolation->root
            ? "; processes are not bounded (no pids cgroup, and root is exempt from RLIMIT_NPROC)"
            : "; processes are bounded by RLIMIT_NPROC, which counts all of this user's";
  }
  if (mode == IsolationMode::automatic && isolation->bwrap.empty()) {
    plan.warning =
        "pl0: warning: submissions run unisolated (" + missing +
        "): they can read and write your files and reach the network; install bubblewrap "
        "(apt-get install bubblewrap) to isolate each in its own folder" +
        unbounded;
  } else if (!unbounded.empty()) {
    plan.warning = "pl0: warning: " + unbounded.substr(2);
  }
  plan.isolation = std::move(isolation);
  return plan;
}

std::vector<std::string> Confinement::wrap(const std::vector<std::string>& argv,
                                           std::vector<std::string>& environment,
                                           const fs::path& work, const std::string& path_first) {
  const Isolation* iso = limits_.isolation.get();
  if (iso == nullptr) return argv;
  std::string script;
  const int processes = limits_.processes + (iso->bwrap.empty() ? 0 : bwrap_processes);
  for (const auto& [parent, limit_file, limit] :
       {std::make_tuple(iso->memory_group, "memory.limit_in_bytes",
                        std::to_string(limits_.memory_mib << 20)),
        std::make_tuple(iso->pids_group, "pids.max", std::to_string(processes))}) {
    if (parent.empty()) continue;
    const fs::path group = iso->take_group(parent);
    if (group.empty()) continue;
    groups_.push_back({group, field(group / "memory.oom_control", "oom_kill"),
                       field(group / "pids.events", "max")});
    write_text(group / limit_file, limit);
    // Without swap accounting this file is absent; with it, swap must not widen the bound.
    std::error_code ec;
    if (fs::exists(group / "memory.memsw.limit_in_bytes", ec))
      write_text(group / "memory.memsw.limit_in_bytes", limit);
    script += "echo $$ >" + quoted((group / "cgroup.procs").string()) + " || exit 125; ";
  }
  // The CPU limit warns at the soft bound (SIGXCPU, told apart from a kill) and kills a second on.
  const long cpu = static_cast<long>(limits_.seconds + 0.999);
  script +=
      "ulimit -S -t " + std::to_string(cpu) + "; ulimit -H -t " + std::to_string(cpu + 1) + "; ";
  if (iso->memory_group.empty())
    script += "ulimit -d " + std::to_string(limits_.memory_mib << 10) + "; ";
  if (iso->pids_group.empty() && !iso->root) {
    // dash names the process limit -p, bash -u (its -p is the pipe size, which it refuses).
    const std::string most = std::to_string(processes + processes_of_this_user());
    script += "ulimit -p " + most + " 2>/dev/null || ulimit -u " + most + "; ";
  }
  std::vector<std::string> out{"/bin/sh", "-c", script + "exec \"$@\"", "pl0-limits"};
  if (!iso->bwrap.empty()) {
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [](const std::string& v) { return !passed_on(v); }),
                      environment.end());
    out.insert(out.end(), {iso->bwrap, "--unshare-all", "--die-with-parent", "--new-session"});
    const std::vector<std::string> system = system_binds();
    out.insert(out.end(), system.begin(), system.end());
    // Parents before what lies inside them; a hidden folder after the visible one holding it.
    std::vector<std::pair<fs::path, bool>> mounts;
    for (const fs::path& v : iso->visible) mounts.emplace_back(v, false);
    for (const fs::path& h : iso->hidden) {
      for (const fs::path& v : iso->visible) {
        if (within(h, v)) {
          mounts.emplace_back(h, true);
          break;
        }
      }
    }
    std::vector<fs::path> extra;
    if (!path_first.empty()) extra.emplace_back(path_first);
    for (std::size_t k = 0; k < argv.size(); ++k) {
      std::error_code ec;
      if (fs::path(argv[k]).is_absolute() && fs::is_regular_file(argv[k], ec))
        extra.emplace_back(argv[k]);
    }
    for (const fs::path& e : extra) {
      bool seen = false;
      for (const auto& m : mounts) seen = seen || (!m.second && within(e, m.first));
      if (!seen) mounts.emplace_back(e, false);
    }
    std::stable_sort(mounts.begin(), mounts.end(), [](const auto& a, const auto& b) {
      return std::distance(a.first.begin(), a.first.end()) <
             std::distance(b.first.begin(), b.first.end());
    });
    for (const auto& [where, masked] : mounts) {
      if (masked) {
        out.insert(out.end(), {"--tmpfs", where.string()});
      } else {
        out.insert(out.end(), {"--ro-bind", where.string(), where.string()});
      }
    }
    out.insert(out.end(), {"--bind", work.string(), work.string(), "--chdir", work.string(), "--"});
  }
  out.insert(out.end(), argv.begin(), argv.end());
  return out;
}

bool Confinement::status_carries_signal() const {
  return limits_.isolation != nullptr && !limits_.isolation->bwrap.empty();
}

Breach Confinement::end() {
  Breach breach = Breach::none;
  for (const Group& g : groups_) {
    // A process may still be starting others, and the killed leave the group only once reaped:
    // sweep until it is empty, and use it again only then.
    bool empty = false;
    for (int sweep = 0; sweep < 2000 && !empty; ++sweep) {
      std::ifstream procs(g.folder / "cgroup.procs");
      empty = true;
      for (pid_t pid; procs >> pid;) {
        ::kill(pid, SIGKILL);
        empty = false;
      }
      if (!empty) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (field(g.folder / "memory.oom_control", "oom_kill") > g.oom_kills) breach = Breach::memory;
    if (breach == Breach::none && field(g.folder / "pids.events", "max") > g.fork_failures)
      breach = Breach::processes;
    if (empty) limits_.isolation->give_back(g.folder);
  }
  groups_.clear();
  return breach;
}

}  // namespace pl0::conform
