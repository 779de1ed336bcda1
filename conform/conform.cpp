// Running the cases: the expected outcomes first, in this thread (the programs' code keeps
// global state), then the implementations in parallel, then the failures cut down one by one.
#include "conform.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "edit_distance.h"
#include "files.h"
#include "reduce.h"
#include "temporary_folder.h"

namespace pl0::conform {

namespace fs = std::filesystem;

std::string shell_quoted(const std::string& word) {
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

fs::path own_programs() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

namespace {

// For the curated cases, whose cmd calls the programs by name: a folder per program under test
// in which that name starts the implementation and the other three are this tool chain's.
class Wrappers {
 public:
  explicit Wrappers(const Options& options) : folder_("pl0w") {
    for (const auto& [program, argv] : options.commands) {
      const fs::path dir = folder_.path() / program_name(program);
      fs::create_directory(dir);
      for (Program other : programs) {
        const fs::path name = dir / program_name(other);
        std::string line = "exec";
        if (other == program) {
          for (const std::string& w : argv) line += " " + shell_quoted(w);
        } else {
          line += " " + shell_quoted((own_programs() / program_name(other)).string());
        }
        std::ofstream(name) << "#!/bin/sh\n" << line << " \"$@\"\n";
        fs::permissions(name, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
      }
    }
  }
  std::string folder(Program p) const { return (folder_.path() / program_name(p)).string(); }

 private:
  TemporaryFolder folder_;
};



SandboxRun run_case(const Case& c, const Options& options, const Wrappers& wrappers) {
  if (!c.folder.empty()) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    if (fs::is_directory(c.folder / "in", ec)) {
      for (const auto& entry : fs::recursive_directory_iterator(c.folder / "in")) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), c.folder / "in").string()] = read_file(entry.path());
      }
    }
    const std::string stdin_text = fs::exists(c.folder / "stdin") ? read_file(c.folder / "stdin") : "";
    return run_sandboxed({"bash", (c.folder / "cmd").string()}, files, stdin_text, options.limits,
                         wrappers.folder(c.program), {"CASE_DIR=" + c.folder.string()});
  }
  std::vector<std::string> argv = options.commands.at(c.program);
  const Invocation how = invocation(c.program, c.keep_lines);
  argv.insert(argv.end(), how.switches.begin(), how.switches.end());
  return run_sandboxed(argv, {{how.input, c.input}}, c.stdin_text, options.limits);
}

// How this tool chain handles a case's input: reduction must keep this the same.
std::string handling(const Case& c) {
  if (c.source && c.program != Program::tokeniser) {
    const Compiled compiled = compile(*c.source);
    return std::to_string(compiled.tokenised) + std::to_string(compiled.compiled) + " " +
           std::to_string(compiled.error);
  }
  const Outcome o = reference(c.program, c.input, c.stdin_text, c.keep_lines);
  return std::to_string(o.status) + " " + o.err.substr(0, o.err.find_first_of(":,"));
}

// True when this tool chain refuses the case's input: a compile error, a token file or code
// file its program stops on with an error.
bool refused(const Case& c) {
  if (c.source && c.program != Program::tokeniser) return !compile(*c.source).compiled;
  return reference(c.program, c.input, c.stdin_text, c.keep_lines).status != 0;
}

void cut_down(Result& r, const Options& options, const Wrappers& wrappers) {
  const Case& c = r.c;
  const std::string what = r.differences.front().what;
  const std::string handled = handling(c);
  // A candidate may make a faulty program loop; it is given a few times what the whole case
  // took (timed once more here), not the full limit, or a few such loops would eat the time.
  const auto timed = std::chrono::steady_clock::now();
  run_case(c, options, wrappers);
  const double once = std::chrono::duration<double>(std::chrono::steady_clock::now() - timed).count();
  const double most = std::min(options.limits.seconds, 1 + 4 * once);
  // This thread makes the candidate's case and its expected outcome (the programs' code keeps
  // global state); the run and the comparison may go beside others.
  const Prepare prepare = [&](const std::string& text) -> std::optional<Trial> {
    Case candidate = c;
    if (c.source) {
      auto made = case_from_source(c, text);
      if (!made) return std::nullopt;
      candidate = *made;
    } else {
      candidate.input = text;
      if (c.program == Program::interpreter && ending(text, c.stdin_text) != Ending::finished) return std::nullopt;
    }
    if (!clear_of_open_places(c.program, candidate.input, candidate.stdin_text) || handling(candidate) != handled) {
      return std::nullopt;
    }
    auto expected = std::make_shared<const Outcome>(expected_outcome(candidate));
    std::string key = candidate.input + '\0' + candidate.stdin_text;
    return Trial{std::move(key), [&, candidate, expected](double seconds) {
                   Options within = options;  // a run never outlasts the cut-down's own limit
                   within.limits.seconds = std::min(most, std::max(0.1, seconds));
                   const SandboxRun run = run_case(candidate, within, wrappers);
                   const auto d = differences(candidate, *expected, run, within.limits, options.selection.strict);
                   return !d.empty() && d.front().what == what;
                 }};
  };
  const Shape shape = c.source ? Shape::pl0
                      : c.program == Program::tokeniser ? Shape::pl0
                      : c.program == Program::compiler  ? Shape::tokens
                                                        : Shape::code;
  const auto start = std::chrono::steady_clock::now();
  const auto seconds_since = [](std::chrono::steady_clock::time_point then) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - then).count();
  };
  std::string from = c.source ? *c.source : c.input;
  int runs = 0;
  // A case this tool chain refuses most often fails for how the refusal is handled. It is cut
  // down here first, keeping only what this tool chain does with it (no run of the program
  // under test), and the result is run once: when that still fails, the cut-down goes on from
  // it, for a few runs rather than hundreds.
  if (refused(c)) {
    const Prepare alike = [&](const std::string& text) -> std::optional<Trial> {
      if (!prepare(text)) return std::nullopt;
      return Trial{text, [](double) { return true; }};
    };
    const Reduction quick = reduce(from, shape, alike, options.reduce_seconds / 4, 1);
    if (const std::optional<Trial> trial = quick.result != from ? prepare(quick.result) : std::nullopt) {
      ++runs;
      if (trial->still_fails(options.reduce_seconds - seconds_since(start))) from = quick.result;
    }
  }
  const Reduction reduction =
      reduce(from, shape, prepare, options.reduce_seconds - seconds_since(start), std::max(1, options.jobs));
  r.reduce_seconds = seconds_since(start);
  r.reduce_tests = runs + reduction.tests;
  r.reduce_stopped = !reduction.complete;
  r.reduced = true;
  Case smaller = c;
  if (c.source) {
    if (auto made = case_from_source(c, reduction.result)) smaller = *made;
  } else {
    smaller.input = reduction.result;
  }
  r.reduced_input = c.source ? reduction.result : smaller.input;
  r.reduced_stdin = smaller.stdin_text;
  // The report shows the small case's own difference.
  r.expected = expected_outcome(smaller);
  const SandboxRun run = run_case(smaller, options, wrappers);
  r.actual = run.outcome;
  r.differences = differences(smaller, r.expected, run, options.limits, options.selection.strict);
  r.c = smaller;
}

}  // namespace

namespace {

std::vector<Case> selected_cases(const Options& options) {
  std::vector<Case> cases;
  if (!options.golden.empty()) cases = curated_cases(options.golden, options.selection);
  for (Case& c : generated_cases(options.selection)) cases.push_back(std::move(c));
  if (!options.cases.empty()) {
    for (Case& c : teacher_cases(options.cases, options.selection)) cases.push_back(std::move(c));
  }
  return cases;
}

// How a run went, as far as telling "the same way every time" goes: its ending, its streams,
// and every file it left that is not what this tool chain's program leaves there. The scratch
// folder's name differs from run to run, and "can't open file '/tmp/pl0k.x/work/nope.py'"
// names it.
std::string way_of_failing(const Result& r, const SandboxRun& run) {
  std::string way = std::to_string(static_cast<int>(run.trouble)) + " " + std::to_string(run.outcome.status) +
                    "\n" + run.outcome.out + "\n" + run.outcome.err + "\n";
  for (const auto& [name, text] : run.outcome.files) {
    const auto expected = r.expected.files.find(name);
    if (expected == r.expected.files.end() || expected->second != text) {
      way.append(name).append("\n").append(text).append("\n");
    }
  }
  for (std::size_t at; !run.scratch.empty() && (at = way.find(run.scratch)) != std::string::npos;) {
    way.replace(at, run.scratch.size(), "SCRATCH");
  }
  return way;
}

// The first cases of a program that must all fail the same way before the run stops.
constexpr std::size_t same_failures_to_stop = 5;

}  // namespace

std::vector<std::string> closest_case_names(const Options& options, const std::string& name, std::size_t most) {
  std::vector<std::pair<std::size_t, std::string>> ranked;
  for (const Case& c : selected_cases(options)) ranked.emplace_back(edit_distance(c.name, name), c.name);
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  for (std::size_t k = 0; k < ranked.size() && k < most; ++k) names.push_back(ranked[k].second);
  return names;
}

std::vector<Result> run_conformance(const Options& options, std::string* stopped) {
  std::vector<Case> cases = selected_cases(options);
  if (!options.only.empty()) {
    std::vector<Case> one;
    for (Case& c : cases) {
      if (c.name == options.only) one.push_back(std::move(c));
    }
    cases = std::move(one);
  }
  std::vector<Result> results(cases.size());
  for (std::size_t k = 0; k < cases.size(); ++k) results[k].c = std::move(cases[k]);

  // The implementations run in the pool while this thread works out the expected outcomes
  // (the programs' own code keeps global state: one thread only).
  const Wrappers wrappers(options);
  std::vector<SandboxRun> runs(results.size());
  std::vector<std::atomic<bool>> finished(results.size());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  const auto work = [&] {
    for (std::size_t k; (k = next++) < results.size();) {
      if (results[k].c.broken.empty() && !stop) runs[k] = run_case(results[k].c, options, wrappers);
      finished[k] = true;
    }
  };
  std::vector<std::thread> pool;
  for (int j = 0; j < std::max(1, options.jobs); ++j) pool.emplace_back(work);
  // Each case is compared once its run has ended; the pool is mostly ahead.
  std::size_t failed = 0;
  std::map<Program, std::vector<std::size_t>> first_failures;  // while each failed the same way
  std::map<Program, std::size_t> tried;
  auto shown = std::chrono::steady_clock::now();
  for (std::size_t k = 0; k < results.size(); ++k) {
    Result& r = results[k];
    if (r.c.broken.empty()) r.expected = expected_outcome(r.c);
    while (!finished[k]) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (r.c.broken.empty()) {
      r.actual = runs[k].outcome;
      r.differences = differences(r.c, r.expected, runs[k], options.limits, options.selection.strict);
      // A program that cannot start (a wrong path, a missing interpreter) fails every case
      // alike: one message says it, and cutting hundreds of cases down would say nothing more.
      std::vector<std::size_t>& alike = first_failures[r.c.program];
      if (tried[r.c.program]++ == alike.size() && !r.differences.empty() &&
          (alike.empty() || way_of_failing(results[alike.front()], runs[alike.front()]) == way_of_failing(r, runs[k]))) {
        alike.push_back(k);
        if (alike.size() == same_failures_to_stop && stopped) {
          stop = true;
          for (std::thread& t : pool) t.join();
          *stopped = "conform: your " + std::string(program_name(r.c.program)) + " failed its first " +
                     std::to_string(same_failures_to_stop) + " cases all in the same way, so no more were run:\n" +
                     explanation(results[alike.front()]);
          if (options.progress) std::fprintf(stderr, "\r%60s\r", "");
          std::vector<Result> shown_results;
          shown_results.reserve(alike.size());
          for (std::size_t j : alike) shown_results.push_back(results[j]);
          return shown_results;
        }
      }
    }
    if (!r.differences.empty() || !r.c.broken.empty()) ++failed;
    if (options.progress && std::chrono::steady_clock::now() - shown > std::chrono::milliseconds(100)) {
      std::fprintf(stderr, "\rconform: %zu of %zu cases, %zu failed", k + 1, results.size(), failed);
      shown = std::chrono::steady_clock::now();
    }
  }
  for (std::thread& t : pool) t.join();

  if (options.reduce) {
    // One failure of each kind is cut down (the same program, group of cases and first
    // difference): the others of its kind most often fail for the same reason. The first of
    // the kind, not the smallest nor the one with the fewest lines: a Tokeniser message's line
    // number must stay, and either can hold its error on a later line.
    std::set<std::string> kinds;
    std::map<Program, int> cut;
    for (Result& r : results) {
      const bool generated = r.c.folder.empty() && r.c.expected.empty() && r.c.broken.empty();
      if (r.differences.empty() || !generated || r.differences.front().what == "run") continue;
      const std::string kind = std::string(program_name(r.c.program)) + r.c.group + r.differences.front().what;
      if (!kinds.insert(kind).second || cut[r.c.program]++ >= options.most_reduced) continue;
      if (options.progress) std::fprintf(stderr, "\rconform: cutting down %s          ", r.c.name.c_str());
      cut_down(r, options, wrappers);
    }
  }
  if (options.progress) std::fprintf(stderr, "\r%60s\r", "");
  return results;
}

std::string rerun_command(const Result& r, const Options& options) {
  std::string command = "pl0 conform";
  for (const auto& [program, text] : options.command_text) {
    std::string lower = program_name(program);
    for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    command += " --" + lower + " " + shell_quoted(text);
  }
  if (options.selection.seed != 1) command += " --seed " + std::to_string(options.selection.seed);
  if (options.selection.count != 100) command += " --count " + std::to_string(options.selection.count);
  if (!options.cases.empty()) command += " --cases " + shell_quoted(options.cases.string());
  if (options.selection.strict) command += " --strict";
  if (options.limits.memory_mib != Limits{}.memory_mib) command += " --memory " + std::to_string(options.limits.memory_mib);
  if (options.limits.processes != Limits{}.processes) command += " --processes " + std::to_string(options.limits.processes);
  return command + " --only " + shell_quoted(r.c.name);
}

}  // namespace pl0::conform
