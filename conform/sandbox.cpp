// Running an implementation: its files in a scratch folder, its confinement around the command,
// and the one process runner (process/process.h) with a time limit and a process group.
#include "sandbox.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files.h"
#include "process.h"
#include "temporary_folder.h"

namespace pl0::conform {

namespace fs = std::filesystem;

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
  } else if (words[0].find('/') != std::string::npos ? !is_executable(words[0])
                                                      : find_on_path(words[0]).empty()) {
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

  // The file size limit is this process's own (a child inherits it); a child gets the
  // default action for SIGXFSZ back (own_group), so a flood ends it. Its own process group
  // lets a timeout end everything it started.
  const rlimit size{static_cast<rlim_t>(limits.file_bytes), RLIM_INFINITY};
  ::setrlimit(RLIMIT_FSIZE, &size);
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit core{0, 0};
  ::setrlimit(RLIMIT_CORE, &core);
  Start start;
  start.argv = std::move(words);
  start.in = in.string();
  start.out = out.string();
  start.err = err.string();
  start.folder = work.string();
  start.environment = &environment;
  start.own_group = true;
  start.seconds = limits.seconds;
  const Ended ended = run_process(start);
  SandboxRun run;
  run.scratch = scratch.path().string();
  if (!ended.started) {
    run.trouble = RunTrouble::not_started;
    return run;
  }
  if (ended.timed_out) run.trouble = RunTrouble::timed_out;
  const Breach breach = confinement.end();
  Outcome& o = run.outcome;
  o.status = ended.status;
  int signal = ended.signal;
  if (signal == 0 && confinement.status_carries_signal() && o.status > 128 && o.status < 128 + NSIG) {
    signal = o.status - 128;
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
