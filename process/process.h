// Starting another program and waiting for it, the one way this tool chain does: pl0 runs the
// system's linker and a native program through it, and the conformance kit runs every
// implementation under test through it, in a folder of its own with a time limit, its own
// process group and its confinement (conform/isolation.h) wrapped around the command.
// posix_spawn, not fork: it does not copy this process's memory, which in the kit holds every
// case.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pl0 {

bool is_executable(const std::filesystem::path& path);

// The folder of this process's own executable; empty where it cannot be known.
std::filesystem::path own_folder();

// The path of `program` in a folder of PATH, or an empty string.
std::string find_on_path(const std::string& program);

struct Start {
  std::vector<std::string> argv;  // the program's arguments, its name first
  std::string path;               // what is started: argv[0] (looked up on PATH) when empty
  std::string in, out, err;       // files for the standard streams; empty: this process's own
  std::string folder;             // where it runs; empty: here
  // "NAME=value" each; this process's own environment when not given.
  const std::vector<std::string>* environment = nullptr;
  // In a process group of its own, with SIGXFSZ's default action back (so that a file size
  // limit ends it): the group is ended when it is, taking whatever it left running.
  bool own_group = false;
  double seconds = 0;  // the time limit; 0 for none
};

struct Ended {
  bool started = false;
  bool timed_out = false;  // it was ended at the time limit
  int status = -1;         // its exit status, or 128 plus the signal that ended it
  int signal = 0;          // the signal that ended it, or 0
};

Ended run_process(const Start& start);

}  // namespace pl0
