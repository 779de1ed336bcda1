// pl0 conform and pl0 reduce: their command lines, and the checks made before any case runs
// (an implementation that cannot start, a report that would overwrite what it tests).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "arguments.h"
#include "conform.h"
#include "files.h"
#include "driver.h"
#include "process.h"
#include "reduce.h"

namespace pl0::driver {

namespace fs = std::filesystem;

namespace {

bool inside(const fs::path& path, const fs::path& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(path, ec), f = fs::weakly_canonical(folder, ec);
  const auto mismatch = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
  return mismatch.first == f.end();
}

// Where the curated cases are: installed beside bin/, or the source tree's.
fs::path golden_cases() {
  fs::path installed = own_folder().parent_path() / "share" / "pl0" / "conform" / "golden";
  std::error_code ec;
  if (fs::is_directory(installed, ec)) return installed;
  if (fs::is_directory(PL0_GOLDEN_DIR, ec)) return PL0_GOLDEN_DIR;
  return {};
}

conform::Options parse_conform(int argc, const char* const* argv, fs::path& keep, fs::path& junit,
                               fs::path& gradescope, conform::IsolationMode& isolation) {
  conform::Options o;
  o.golden = golden_cases();
  o.jobs = static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
  std::vector<Switch> switches;
  for (conform::Program p : conform::programs) {
    std::string name = conform::program_name(p);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    switches.push_back(with_value("--" + name, [&o, p, name](const std::string& command) {
      std::string why;
      o.commands[p] = conform::command_line(command, why);
      if (o.commands[p].empty()) throw UsageError{"--" + name + ": " + std::move(why)};
      o.command_text[p] = command;
      o.selection.programs.push_back(p);
    }));
  }
  auto number = [](const char* option, long least, auto&& set) {
    return with_value(option, [=](const std::string& v) { set(whole_number(option, v, least)); });
  };
  auto path = [](const char* option, fs::path& field) {
    return with_value(option, [&field](const std::string& v) { field = v; });
  };
  switches.insert(
      switches.end(),
      {number("--seed", 0, [&o](long n) { o.selection.seed = static_cast<std::uint32_t>(n); }),
       number("--count", 0, [&o](long n) { o.selection.count = static_cast<int>(n); }),
       number("--jobs", 1, [&o](long n) { o.jobs = static_cast<int>(n); }),
       number("--timeout", 1, [&o](long n) { o.limits.seconds = static_cast<double>(n); }),
       number("--reduce-seconds", 1, [&o](long n) { o.reduce_seconds = static_cast<double>(n); }),
       number("--memory", 16, [&o](long n) { o.limits.memory_mib = n; }),
       number("--processes", 1, [&o](long n) { o.limits.processes = static_cast<int>(std::min(n, 1L << 20)); }),
       with_value("--isolation",
                  [&isolation](const std::string& v) {
                    if (v == "auto") {
                      isolation = conform::IsolationMode::automatic;
                    } else if (v == "required") {
                      isolation = conform::IsolationMode::required;
                    } else if (v == "off") {
                      isolation = conform::IsolationMode::off;
                    } else {
                      throw UsageError{"--isolation: '" + v + "' is none of auto, required, off"};
                    }
                  }),
       with_value("--cases",
                  [&o](const std::string& v) {
                    o.cases = v;
                    std::error_code ec;
                    if (!fs::is_directory(o.cases, ec)) {
                      throw UsageError{"--cases: '" + v + "' is no folder"};
                    }
                  }),
       path("--keep", keep), path("--junit", junit), path("--gradescope", gradescope),
       flag("--strict", [&o] { o.selection.strict = true; }),
       flag("--no-reduce", [&o] { o.reduce = false; }),
       with_value("--only", [&o](const std::string& v) { o.only = v; })});
  read_arguments(argc, argv, "conform", switches, 0);
  o.keep = keep;
  if (o.commands.empty()) {
    throw UsageError{"'conform' needs at least one of --tokeniser, --compiler, --interpreter, --translator"};
  }
  // Reports never go over the implementations or the cases.
  for (const fs::path& report : {keep, junit, gradescope}) {
    if (report.empty()) continue;
    if (inside(report, o.cases) || inside(report, o.golden)) {
      throw UsageError{"'" + report.string() + "' lies among the cases; write reports elsewhere"};
    }
    for (const auto& [program, words] : o.commands) {
      for (const std::string& w : words) {
        std::error_code ec;
        if (fs::exists(w, ec) && fs::equivalent(w, report, ec)) {
          throw UsageError{"'" + report.string() + "' is a file of the implementation under test"};
        }
      }
    }
  }
  return o;
}

// A kept failure's rerun: EXPECTED (files, stdout, stderr, status) against what the program
// left in FOLDER and its streams in STREAMS, by the rules of the run that kept it.
//   pl0 conform --compare PROGRAM [--strict] EXPECTED FOLDER STREAMS
int compare_main(int argc, const char* const* argv) {
  std::vector<std::string> words(argv, argv + argc);
  const bool strict = words.size() > 1 && words[1] == "--strict";
  if (strict) words.erase(words.begin() + 1);
  conform::Result r;
  bool known = false;
  for (conform::Program p : conform::programs) {
    if (!words.empty() && words[0] == conform::program_name(p)) {
      r.c.program = p;
      known = true;
    }
  }
  if (!known || words.size() != 4) {
    std::fprintf(stderr, "pl0: --compare PROGRAM [--strict] EXPECTED FOLDER STREAMS\n");
    return 2;
  }
  r.c.strict = strict;
  const auto read_streams = [](const fs::path& folder, conform::Outcome& o) {
    o.out = read_file(folder / "stdout");
    o.err = read_file(folder / "stderr");
    o.status = std::atoi(read_file(folder / "status").c_str());
  };
  const fs::path expected = words[1], folder = words[2];
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(expected, ec); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), expected).string();
    if (it->is_regular_file() && name != "stdout" && name != "stderr" && name != "status") {
      r.expected.files[name] = read_file(it->path());
    }
  }
  read_streams(expected, r.expected);
  conform::SandboxRun run;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), folder).string();
    if (it->is_directory()) run.folders.push_back(name);
    if (it->is_regular_file()) run.outcome.files[name] = read_file(it->path());
  }
  read_streams(words[3], run.outcome);
  // sh gives 128 and the signal's number for a program that a signal ended.
  if (run.outcome.status > 128 && run.outcome.status < 128 + 65) run.trouble = conform::RunTrouble::crashed;
  r.actual = run.outcome;
  r.differences = conform::differences(r.c, r.expected, run, conform::Limits{}, strict);
  if (r.differences.empty()) {
    std::printf("passes now\n");
    return 0;
  }
  std::fputs(conform::explanation(r).c_str(), stdout);
  return 1;
}

// Before the term: which of a teacher's cases cannot be used, and which expect what this tool
// chain's own programs do not do (most often a slip in an expected file).
int check_cases_main(int argc, const char* const* argv) {
  if (argc != 1 || !fs::is_directory(argv[0])) {
    std::fprintf(stderr, "pl0: --check-cases needs the folder of the cases\n");
    return 2;
  }
  conform::Selection all;
  all.programs.assign(std::begin(conform::programs), std::end(conform::programs));
  int problems = 0, usable = 0;
  for (const conform::Case& c : conform::teacher_cases(argv[0], all)) {
    if (!c.broken.empty()) {
      std::printf("BROKEN CASE %s: %s\n", c.name.c_str(), c.broken.c_str());
      ++problems;
      continue;
    }
    ++usable;
    if (c.expected.empty()) continue;
    const conform::Outcome want = conform::expected_outcome(c);
    const conform::Outcome ours = conform::reference(c.program, c.input, c.stdin_text, c.keep_lines);
    std::string differing;
    for (const auto& [name, text] : want.files) {
      const auto found = ours.files.find(name);
      if (found == ours.files.end() || found->second != text) differing += " " + name;
    }
    if (want.out != ours.out) differing += " stdout";
    if (want.err != ours.err) differing += " stderr";
    if (want.status != ours.status) differing += " status";
    if (!differing.empty()) {
      std::printf("CHECK %s: this tool chain's %s does not do what expected/ says:%s\n", c.name.c_str(),
                  conform::program_name(c.program), differing.c_str());
      ++problems;
    }
  }
  std::printf("check-cases: %d cases ready, %d to look at\n", usable, problems);
  return problems == 0 ? 0 : 1;
}

}  // namespace

constexpr const char* conform_usage =
    "Usage: pl0 conform [--tokeniser CMD] [--compiler CMD] [--interpreter CMD] [--translator CMD]\n"
    "                   [--seed N] [--count N] [--cases DIR] [--jobs N] [--timeout SECONDS]\n"
    "                   [--keep DIR] [--junit FILE] [--gradescope FILE] [--strict] [--no-reduce]\n"
    "                   [--reduce-seconds N] [--only CASE] [--isolation auto|required|off]\n"
    "                   [--memory MIB] [--processes N]\n"
    "       pl0 conform --check-cases DIR\n"
    "Tests each named implementation against this tool chain; 'pl0 --help' says more.\n";

bool asks_for_help(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return true;
  }
  return false;
}

int conform_main(int argc, const char* const* argv) {
  if (asks_for_help(argc, argv)) {
    std::fputs(conform_usage, stdout);
    return 0;
  }
  if (argc > 0 && std::string(argv[0]) == "--compare") return compare_main(argc - 1, argv + 1);
  if (argc > 0 && std::string(argv[0]) == "--check-cases") return check_cases_main(argc - 1, argv + 1);
  fs::path keep, junit, gradescope;
  conform::Options options;
  conform::IsolationMode isolation = conform::IsolationMode::automatic;
  try {
    options = parse_conform(argc, argv, keep, junit, gradescope, isolation);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "pl0: %s\n", e.message.c_str());
    return 2;
  }
  std::vector<std::vector<std::string>> commands;
  for (const auto& [program, words] : options.commands) commands.push_back(words);
  // A curated case runs this tool chain's programs for the stages around the one tested, from
  // inside the submission's confinement: they must be visible there too.
  for (conform::Program p : conform::programs) {
    commands.push_back({(conform::own_programs() / conform::program_name(p)).string()});
  }
  const conform::IsolationPlan plan = conform::plan_isolation(isolation, commands, {options.cases, options.golden});
  if (!plan.error.empty()) {
    std::fprintf(stderr, "pl0: %s\n", plan.error.c_str());
    return 2;
  }
  if (!plan.warning.empty()) std::fprintf(stderr, "%s\n", plan.warning.c_str());
  options.limits.isolation = plan.isolation;
  options.progress = ::isatty(2) != 0;
  std::string stopped;
  const std::vector<conform::Result> results = conform::run_conformance(options, &stopped);
  if (!stopped.empty()) {
    std::fputs(stopped.c_str(), stderr);
    return 2;
  }
  if (results.empty() && !options.only.empty()) {
    std::string names;
    for (const std::string& name : conform::closest_case_names(options, options.only, 3)) names += "\n  " + name;
    std::fprintf(stderr, "pl0: --only: no case is named '%s'; the closest:%s\n", options.only.c_str(), names.c_str());
    return 2;
  }
  conform::print_report(stdout, results, options);
  std::fflush(stdout);
  int status = 0;
  for (const conform::Result& r : results) {
    if (!r.differences.empty()) status = 1;  // a broken case is the teacher's, not the program's
  }
  std::string error;
  if (!keep.empty() && !(error = conform::keep_failures(keep, results, options)).empty()) {
    std::fprintf(stderr, "pl0: %s\n", error.c_str());
    status = 2;
  }
  if (!junit.empty() && !(error = conform::write_junit(junit, results)).empty()) {
    std::fprintf(stderr, "pl0: %s\n", error.c_str());
    status = 2;
  }
  if (!gradescope.empty() && !(error = conform::write_gradescope(gradescope, results)).empty()) {
    std::fprintf(stderr, "pl0: %s\n", error.c_str());
    status = 2;
  }
  return status;
}

int reduce_main(int argc, const char* const* argv) {
  if (asks_for_help(argc, argv)) {
    std::fputs("Usage: pl0 reduce FILE --test CMD [--seconds N]\n"
               "Cuts FILE down to the smallest text on which CMD still exits 0.\n", stdout);
    return 0;
  }
  std::string file, test;
  double seconds = 120;
  try {
    const std::vector<std::string> names = read_arguments(
        argc, argv, "reduce",
        {with_value("--test", [&](const std::string& v) { test = v; }),
         with_value("--seconds",
                    [&](const std::string& v) { seconds = static_cast<double>(whole_number("--seconds", v, 1)); })},
        1);
    if (!names.empty()) file = names[0];
    if (file.empty() || test.empty()) throw UsageError{"'reduce' needs a file and --test CMD"};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "pl0: %s\n", e.message.c_str());
    return 2;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pl0: cannot open '%s'\n", file.c_str());
    return 2;
  }
  std::ostringstream text;
  text << in.rdbuf();
  // The test runs in a folder of its own where the candidate has the file's name.
  const std::string name = fs::path(file).filename().string();
  conform::Limits limits;
  const conform::Test passes = [&](const std::string& candidate) {
    const conform::SandboxRun run =
        conform::run_sandboxed({"sh", "-c", test}, {{name, candidate}}, "", limits);
    return run.trouble == conform::RunTrouble::none && run.outcome.status == 0;
  };
  // The test sees nothing but the candidate, so candidates may run side by side.
  const conform::Prepare prepare = [&](const std::string& candidate) {
    return std::optional<conform::Trial>{{candidate, [&passes, candidate](double) { return passes(candidate); }}};
  };
  if (!passes(text.str())) {
    std::fprintf(stderr, "pl0: the test does not exit 0 on '%s' as it is: nothing to reduce\n", file.c_str());
    return 1;
  }
  const int jobs = static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
  const conform::Reduction r = conform::reduce(text.str(), conform::shape_of(name), prepare, seconds, jobs);
  std::ofstream(file + ".orig", std::ios::binary) << text.str();
  std::ofstream(file, std::ios::binary) << r.result;
  std::printf("pl0 reduce: %s from %zu to %zu bytes after %d tests%s; the original is in %s.orig\n",
              file.c_str(), text.str().size(), r.result.size(), r.tests,
              r.complete ? "" : " (time ran out: smaller may exist; --seconds gives it more)", file.c_str());
  return 0;
}

}  // namespace pl0::driver
