// Isolating each submission pl0 conform runs. The decision: use what the system already has,
// bubblewrap (its own user, mount, PID, network, IPC and UTS namespaces; never a home-made
// chroot), and bound memory and processes by cgroup (v1) groups of each run's own where this
// process may make them, by resource limits otherwise. What cannot be had is said once, in one
// line, and the run goes on unless isolation is required.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pl0::conform {

struct Limits;

enum class IsolationMode { automatic, required, off };

// Decided once for a whole run of pl0 conform, shared by every case's run.
struct Isolation {
  std::string bwrap;                               // empty: submissions run unisolated
  std::vector<std::filesystem::path> visible;      // read-only inside, besides the system's
  std::vector<std::filesystem::path> hidden;       // masked wherever a visible folder holds them
  std::filesystem::path memory_group, pids_group;  // this run's parent groups; empty: none
  bool root = false;
  Isolation() = default;
  Isolation(const Isolation&) = delete;
  Isolation& operator=(const Isolation&) = delete;
  ~Isolation();  // removes every group

  // A run's own group under `parent`, empty of processes; given back after the run. Groups are
  // used again because the kernel takes some 15 ms to remove one.
  std::filesystem::path take_group(const std::filesystem::path& parent) const;
  void give_back(const std::filesystem::path& group) const;

 private:
  mutable std::mutex mutex_;
  mutable std::vector<std::filesystem::path> free_;
  mutable int made_ = 0;
};

struct IsolationPlan {
  std::shared_ptr<const Isolation> isolation;
  std::string warning;  // one line when something is not isolated or not bounded
  std::string error;    // isolation is required and cannot be had
};

// `commands`: the implementations' command lines, whose installations and folders become
// visible; `hidden`: the folders of the cases, never visible.
IsolationPlan plan_isolation(IsolationMode mode,
                             const std::vector<std::vector<std::string>>& commands,
                             const std::vector<std::filesystem::path>& hidden);

// The limit a run reached, beyond its outcome.
enum class Breach { none, memory, processes };

// One run's confinement: its groups live from wrap() until end().
class Confinement {
 public:
  explicit Confinement(const Limits& limits) : limits_(limits) {}
  ~Confinement() { end(); }
  Confinement(const Confinement&) = delete;
  Confinement& operator=(const Confinement&) = delete;

  // `argv` as it is to be spawned, and `environment` cut down to what a program needs (no
  // token or password of the grader's reaches a submission). Unchanged without a plan.
  std::vector<std::string> wrap(const std::vector<std::string>& argv,
                                std::vector<std::string>& environment,
                                const std::filesystem::path& work, const std::string& path_first);

  // bubblewrap passes a signal on as the exit status 128 + N.
  bool status_carries_signal() const;

  // Ends every process the run left and says which limit it reached. Call once it has ended.
  Breach end();

 private:
  const Limits& limits_;
  struct Group {
    std::filesystem::path folder;
    long oom_kills, fork_failures;  // before the run: the kernel's counts never go back
  };
  std::vector<Group> groups_;
};

// "1 GiB", "64 MiB"
std::string memory_text(long mib);

}  // namespace pl0::conform
