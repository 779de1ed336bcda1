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

#include "conform.h"
#include "driver.h"
#include "process.h"
#include "reduce.h"

namespace pl0::driver {

namespace fs = std::filesystem;

namespace {

struct UsageError {
  std::string message;
};

long whole_number(const std::string& option, const std::string& text, long least) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || n < least) {
    throw UsageError{option + " needs a whole number of at least " + std::to_string(least) + ", not '" + text + "'"};
  }
  return n;
}

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
                               fs::path& gradescope) {
  conform::Options o;
  o.golden = golden_cases();
  o.jobs = static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 == argc) throw UsageError{"'" + arg + "' needs a value after it"};
      return argv[++i];
    };
    bool matched = false;
    for (conform::Program p : conform::programs) {
      std::string name = conform::program_name(p);
      for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (arg == "--" + name) {
        const std::string command = value();
        std::string why;
        o.commands[p] = conform::command_line(command, why);
        if (o.commands[p].empty()) throw UsageError{"--" + name + ": " + std::move(why)};
        o.command_text[p] = command;
        o.selection.programs.push_back(p);
        matched = true;
      }
    }
    if (matched) continue;
    if (arg == "--seed") {
      o.selection.seed = static_cast<std::uint32_t>(whole_number(arg, value(), 0));
    } else if (arg == "--count") {
      o.selection.count = static_cast<int>(whole_number(arg, value(), 0));
    } else if (arg == "--cases") {
      o.cases = value();
      std::error_code ec;
      if (!fs::is_directory(o.cases, ec)) throw UsageError{"--cases: '" + o.cases.string() + "' is no folder"};
    } else if (arg == "--jobs") {
      o.jobs = static_cast<int>(whole_number(arg, value(), 1));
    } else if (arg == "--timeout") {
      o.limits.seconds = static_cast<double>(whole_number(arg, value(), 1));
    } else if (arg == "--keep") {
      keep = value();
    } else if (arg == "--junit") {
      junit = value();
    } else if (arg == "--gradescope") {
      gradescope = value();
    } else if (arg == "--strict") {
      o.selection.strict = true;
    } else if (arg == "--no-reduce") {
      o.reduce = false;
    } else if (arg == "--only") {
      o.only = value();
    } else {
      throw UsageError{"unknown option '" + arg + "' for 'conform'"};
    }
  }
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

}  // namespace

constexpr const char* conform_usage =
    "Usage: pl0 conform [--tokeniser CMD] [--compiler CMD] [--interpreter CMD] [--translator CMD]\n"
    "                   [--seed N] [--count N] [--cases DIR] [--jobs N] [--timeout SECONDS]\n"
    "                   [--keep DIR] [--junit FILE] [--gradescope FILE] [--strict] [--no-reduce]\n"
    "                   [--only CASE]\n"
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
  fs::path keep, junit, gradescope;
  conform::Options options;
  try {
    options = parse_conform(argc, argv, keep, junit, gradescope);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "pl0: %s\n", e.message.c_str());
    return 2;
  }
  options.progress = ::isatty(2) != 0;
  const std::vector<conform::Result> results = conform::run_conformance(options);
  conform::print_report(stdout, results, options);
  std::fflush(stdout);
  int status = 0;
  for (const conform::Result& r : results) {
    if (!r.differences.empty() || !r.c.broken.empty()) status = 1;
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
    for (int i = 0; i < argc; ++i) {
      const std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 == argc) throw UsageError{"'" + arg + "' needs a value after it"};
        return argv[++i];
      };
      if (arg == "--test") {
        test = value();
      } else if (arg == "--seconds") {
        seconds = static_cast<double>(whole_number(arg, value(), 1));
      } else if (arg.size() > 1 && arg[0] == '-') {
        throw UsageError{"unknown option '" + arg + "' for 'reduce'"};
      } else if (file.empty()) {
        file = arg;
      } else {
        throw UsageError{"unexpected argument '" + arg + "'"};
      }
    }
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
  if (!passes(text.str())) {
    std::fprintf(stderr, "pl0: the test does not exit 0 on '%s' as it is: nothing to reduce\n", file.c_str());
    return 1;
  }
  const conform::Reduction r = conform::reduce(text.str(), conform::shape_of(name), passes, seconds);
  std::ofstream(file + ".orig", std::ios::binary) << text.str();
  std::ofstream(file, std::ios::binary) << r.result;
  std::printf("pl0 reduce: %s from %zu to %zu bytes after %d tests%s; the original is in %s.orig\n",
              file.c_str(), text.str().size(), r.result.size(), r.tests,
              r.complete ? "" : " (time ran out: smaller may exist)", file.c_str());
  return 0;
}

}  // namespace pl0::driver
