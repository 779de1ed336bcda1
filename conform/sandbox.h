// Running an implementation under test: in a scratch folder of its own, with its standard input
// from a file, a time limit, a cap on every file it writes, and nothing left behind; isolated,
// with its memory, processes and CPU time bounded, when the limits carry an isolation plan.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "isolation.h"
#include "reference.h"

namespace pl0::conform {

struct Limits {
  double seconds = 10;
  long file_bytes = 64L << 20;
  // Memory and processes are bounded, and the run isolated, only with an isolation plan.
  long memory_mib = 1024;
  int processes = 128;  // threads count too: a JVM starts dozens on a large machine
  std::shared_ptr<const Isolation> isolation;
};

// What became of a run, besides its outcome.
enum class RunTrouble { none, not_started, timed_out, flooded, crashed, out_of_memory, too_many_processes, cpu_time };

struct SandboxRun {
  Outcome outcome;
  RunTrouble trouble = RunTrouble::none;
  std::vector<std::string> folders;  // folders it made (nothing but files is expected)
  std::string scratch;               // where it ran, gone by now; messages may name it
};

// Runs `argv` (argv[0] found on PATH unless it holds a '/') in a fresh folder holding `files`,
// with `stdin_text` as standard input and `path_first` (if not empty) before PATH; `env` adds
// variables. Waits at most the time limit, then ends the whole process group.
SandboxRun run_sandboxed(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& files,
                         const std::string& stdin_text, const Limits& limits,
                         const std::string& path_first = "",
                         const std::vector<std::string>& env = {});

// An implementation's command line: split at blanks, its program and any existing files named
// made absolute, so it runs from any folder. Empty with `why` set when it cannot be started.
std::vector<std::string> command_line(const std::string& command, std::string& why);

}  // namespace pl0::conform
