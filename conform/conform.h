// pl0 conform: holds other implementations of the four programs against this tool chain. Each
// program is tested on its own, on cases whose inputs this tool chain's stages before it made;
// every case runs in a scratch folder of its own, and each failing generated case is cut down
// to a small one that still fails the same way.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cases.h"
#include "compare.h"
#include "sandbox.h"

namespace pl0::conform {

struct Options {
  std::map<Program, std::vector<std::string>> commands;  // the implementations under test
  std::map<Program, std::string> command_text;           // as given, for rerun commands
  Selection selection;
  std::filesystem::path golden;  // the curated cases; empty when none are found
  std::filesystem::path cases;   // a teacher's, if given
  int jobs = 2;
  Limits limits;
  bool reduce = true;
  double reduce_seconds = 30;
  int most_reduced = 10;  // failures cut down per program, one of each kind; the others as they are
  std::string only;       // run the one case of this name
  bool progress = false;  // a progress line on the error stream
  std::filesystem::path keep;  // --keep: where the report says a whole case is
};

struct Result {
  Case c;
  Outcome expected, actual;
  std::vector<Difference> differences;  // empty: passed
  bool reduced = false;
  std::string reduced_input, reduced_stdin;
  int reduce_tests = 0;
  double reduce_seconds = 0;
  bool reduce_stopped = false;  // the time limit ended the cut-down: a smaller case may exist
};

// Runs every selected case; the results in the order of the cases. When a program fails its
// first cases all in the same way (it cannot start, its interpreter or a path is wrong), the
// run stops there: `stopped` gets what to say and the results are those of that program.
std::vector<Result> run_conformance(const Options& options, std::string* stopped = nullptr);

// The names of all cases the options select; for --only, the closest to `name` first.
std::vector<std::string> closest_case_names(const Options& options, const std::string& name, std::size_t most);

// What differs, cause first: how the run ended, standard error's last lines, each file.
std::string explanation(const Result& result);

// What failed and how far it was cut down, the count per program, and the last line.
void print_report(std::FILE* out, const std::vector<Result>& results, const Options& options);

// --keep: a folder per failure to rerun by hand. --junit and --gradescope: whole files or none.
// Each returns an error message, or an empty string.
std::string keep_failures(const std::filesystem::path& folder, const std::vector<Result>& results,
                          const Options& options);
std::string write_junit(const std::filesystem::path& file, const std::vector<Result>& results);
std::string write_gradescope(const std::filesystem::path& file, const std::vector<Result>& results);

// The command that reruns one case.
std::string rerun_command(const Result& result, const Options& options);

// A kept failure's folder name; a word quoted for sh; the folder of pl0 and the four programs.
std::string kept_name(const Result& result);
std::string shell_quoted(const std::string& word);
std::filesystem::path own_programs();

}  // namespace pl0::conform
