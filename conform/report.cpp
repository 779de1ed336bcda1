// The reports of a run: for a person on the terminal, folders to rerun by hand, JUnit XML for
// a CI job, and results.json for an autograder. A hidden case's contents never appear.
// Its JSON is written by hand, not by the explorer's or the language server's writer: pl0
// conform is built without nlohmann-json, and its strings are made printable first.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "conform.h"
#include "files.h"
#include "markup.h"

namespace pl0::conform {

namespace fs = std::filesystem;

namespace {

bool hidden(const Result& r) { return r.c.visibility != "visible"; }

std::vector<std::string> last_lines(const std::string& text, std::size_t most) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (lines.size() > most) lines.erase(lines.begin(), lines.end() - static_cast<long>(most));
  return lines;
}

std::string indented(const std::string& text, std::size_t most) {
  std::string out;
  for (const std::string& line : last_lines(text, most)) out += "    " + line + "\n";
  return out;
}

}  // namespace

// What differs, in the order a student looks for the cause: how the run ended, what it wrote
// to standard error (a traceback's last lines name the fault), then each file's first
// differing lines. A hidden case shows how it ended and which files differ, nothing more.
std::string explanation(const Result& r) {
  if (!r.c.broken.empty()) return "broken case: " + r.c.broken + "\n";
  const std::string your = std::string("your ") + program_name(r.c.program);
  const bool secret = hidden(r);
  std::ostringstream text;
  const Difference* status = nullptr;
  const Difference* err = nullptr;
  for (const Difference& d : r.differences) {
    if (d.what == "exit status") status = &d;
    if (d.what == "standard error") err = &d;
  }
  for (const Difference& d : r.differences) {
    if (d.what == "run") text << your << " " << d.actual << "\n";
  }
  // "your Interpreter ended with status 1 and wrote to standard error:", its last lines, and
  // then what this tool chain's program does instead.
  const bool wrote_err = err && !r.actual.err.empty() && !secret;
  if (status) {
    text << your << " ended with status " << status->actual;
    text << (wrote_err ? " and wrote to standard error:\n" : " (this tool chain's ends with " + status->expected + ")\n");
  } else if (err && !secret) {
    text << your << (wrote_err ? " wrote to standard error:\n" : " wrote nothing to standard error\n");
  } else if (err) {
    text << "standard error differs\n";
  }
  if (wrote_err) text << indented(r.actual.err, 8);
  if (err && !secret) {
    text << "  where this tool chain's ends with status " << r.expected.status << " and writes "
         << (r.expected.err.empty() ? "nothing to standard error\n" : "to standard error:\n" + indented(r.expected.err, 8));
  }
  for (const Difference& d : r.differences) {
    if (d.what == "run" || d.what == "exit status" || d.what == "standard error") continue;
    if (d.actual == "(not written)") {
      text << d.what << " was not written\n";
    } else if (d.expected == "(no such file)") {
      text << your << " wrote " << d.what << ", which it should not\n";
    } else if (d.expected == "(no such folder)") {
      text << your << " made the folder " << d.what << ", which it should not\n";
    } else if (secret) {
      text << d.what << " differs\n";
    } else {
      text << d.what << " differs:\n" << unified_diff(d.expected, d.actual, d.what, 12);
    }
  }
  return text.str();
}

namespace {

// Writes `text` beside `file` and renames it into place: the report is whole or absent.
std::string write_whole(const fs::path& file, const std::string& text) {
  const fs::path partial = file.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary);
    out << text;
    if (!out.flush()) {
      std::error_code ec;
      fs::remove(partial, ec);
      return "cannot write '" + file.string() + "'";
    }
  }
  std::error_code ec;
  fs::rename(partial, file, ec);
  return ec ? "cannot write '" + file.string() + "': " + ec.message() : "";
}

// Text for XML or JSON: valid UTF-8 is kept, any other byte and any control character but
// tab and line feed become '?'.
std::string printable(const std::string& text) {
  std::string out;
  for (std::size_t k = 0; k < text.size();) {
    const auto c = static_cast<unsigned char>(text[k]);
    const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool whole = length > 0 && k + static_cast<std::size_t>(length) <= text.size();
    for (int j = 1; whole && j < length; ++j) whole = (static_cast<unsigned char>(text[k + static_cast<std::size_t>(j)]) >> 6) == 2;
    if (!whole || (c < 0x20 && c != '\t' && c != '\n') || c == 0x7f) {
      out += '?';
      ++k;
    } else {
      out.append(text, k, static_cast<std::size_t>(length));
      k += static_cast<std::size_t>(length);
    }
  }
  return out;
}

std::string xml(const std::string& text) { return escaped_markup(printable(text)); }

std::string json(const std::string& text) {
  std::string out = "\"";
  for (const char c : printable(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

bool passed(const Result& r) { return r.c.broken.empty() && r.differences.empty(); }

}  // namespace

std::string kept_name(const Result& r) {
  std::string name = r.c.name;
  for (char& c : name) c = c == '/' ? '-' : c;
  return name;
}

namespace {

// A case that was not cut down can be thousands of lines: the first of them, and where the
// whole case is.
constexpr std::size_t shown_lines = 30;

void print_case(std::FILE* out, const Result& r, const Options& options) {
  if (!r.c.folder.empty()) {
    std::fprintf(out, "the curated case in %s\n", r.c.folder.string().c_str());
    return;
  }
  const std::string& input = r.reduced ? r.reduced_input : (r.c.source ? *r.c.source : r.c.input);
  std::size_t end = 0, lines = 0;
  while (end < input.size() && lines < shown_lines) {
    end = input.find('\n', end);
    end = end == std::string::npos ? input.size() : end + 1;
    ++lines;
  }
  if (r.reduced && r.reduce_stopped) {
    std::fprintf(out, "the %.0f s limit stopped this cut-down before it was done; --reduce-seconds %.0f gives it more time\n",
                 options.reduce_seconds, 4 * options.reduce_seconds);
  }
  if (r.reduced) {
    std::fprintf(out, "cut down to (%d candidates tried in %.1f s):\n", r.reduce_tests, r.reduce_seconds);
  } else {
    std::fprintf(out, "the case:\n");
  }
  std::fprintf(out, "%.*s%s", static_cast<int>(end), input.c_str(), end > 0 && input[end - 1] == '\n' ? "" : "\n");
  if (end < input.size()) {
    const std::string file = std::string(r.reduced ? "reduced." : "") + (r.c.source ? "prog.pl0" : invocation(r.c.program, false).input);
    std::fprintf(out, "(%zu lines more: the whole case is %s)\n", static_cast<std::size_t>(std::count(input.begin() + static_cast<long>(end), input.end(), '\n')),
                 options.keep.empty() ? "kept with --keep DIR"
                                      : ("in " + (options.keep / kept_name(r) / file).string()).c_str());
  }
  if (r.c.program == Program::interpreter && !r.c.stdin_text.empty()) {
    std::fprintf(out, "with standard input:\n%s\n", r.c.stdin_text.c_str());
  }
}

}  // namespace

void print_report(std::FILE* out, const std::vector<Result>& results, const Options& options) {
  std::map<Program, std::pair<int, int>> counts;  // passed, all
  int all_passed = 0, all = 0;
  std::vector<const Result*> broken;
  for (const Result& r : results) {
    if (!r.c.broken.empty()) {  // the teacher's to mend, never the program's
      broken.push_back(&r);
      continue;
    }
    auto& [ok, tried] = counts[r.c.program];
    ++tried;
    ++all;
    if (passed(r)) {
      ++ok;
      ++all_passed;
      continue;
    }
    std::fprintf(out, "FAIL %s: %s\n", program_name(r.c.program), r.c.name.c_str());
    if (!r.c.departs.empty()) {
      const std::string why = r.c.departs.substr(0, r.c.departs.find_last_not_of('\n') + 1);
      std::fprintf(out, "(a place where this tool chain departs: %s)\n", why.c_str());
    }
    std::fprintf(out, "%s", explanation(r).c_str());
    if (hidden(r)) {
      std::fprintf(out, "(a hidden case: its contents are not shown)\n\n");
      continue;
    }
    print_case(out, r, options);
    std::fprintf(out, "rerun: %s\n\n", rerun_command(r, options).c_str());
  }
  for (const Result* r : broken) {
    std::fprintf(out, "BROKEN CASE %s: %s (not counted)\n", r->c.name.c_str(), r->c.broken.c_str());
  }
  if (!broken.empty()) {
    std::fprintf(out, "%zu of the cases in %s cannot be used; 'pl0 conform --check-cases %s' lists them\n\n",
                 broken.size(), options.cases.string().c_str(), options.cases.string().c_str());
  }
  for (const auto& [program, count] : counts) {
    std::fprintf(out, "%s: %d of %d cases passed\n", program_name(program), count.first, count.second);
  }
  std::fprintf(out, "conform: %d of %d cases passed\n", all_passed, all);
}

namespace {

// The file in a kept folder that holds the case as the report shows it.
std::string case_file(const Result& r) {
  const std::string input = invocation(r.c.program, false).input;
  if (r.reduced) return "reduced." + (r.c.source ? std::string("pl0") : input.substr(input.find('.') + 1));
  return r.c.source && r.c.program != Program::tokeniser ? "source.pl0" : input;
}

void put(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

void make_executable(const fs::path& file) {
  fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

// The rerun script: the run as pl0 conform made it, in a scratch folder, and its outcome
// compared with expected/ by the same rules (pl0 conform --compare).
std::string rerun_script(const Result& r, const Options& options) {
  const std::string program = program_name(r.c.program);
  std::string run;
  if (r.c.folder.empty()) {
    const Invocation how = invocation(r.c.program, r.c.keep_lines);
    run = "cp \"$here/" + how.input + "\" \"$work/\" || exit 2\n";
    std::string command;
    for (const std::string& w : options.commands.at(r.c.program)) command += shell_quoted(w) + " ";
    for (const std::string& s : how.switches) command += s + " ";
    run += "(cd \"$work\" && exec " + command + "<\"$here/stdin\" >\"$streams/stdout\" 2>\"$streams/stderr\")\n";
  } else {
    run = "if [ -d \"$here/case/in\" ]; then cp -R \"$here/case/in/.\" \"$work/\" || exit 2; fi\n"
          "(cd \"$work\" && PATH=\"$here/bin:$PATH\" CASE_DIR=\"$here/case\" exec bash \"$here/case/cmd\" "
          "<\"$here/stdin\" >\"$streams/stdout\" 2>\"$streams/stderr\")\n";
  }
  return "#!/bin/sh\n"
         "# " + r.c.name + "\n"
         "# again, as pl0 conform ran your " + program + ": in a scratch folder, with stdin as standard\n"
         "# input; what it leaves is then compared with expected/. Exits 1 while the failure remains\n"
         "# and 0 once it is mended. The whole run again:\n"
         "#   " + rerun_command(r, options) + "\n"
         "here=$(cd \"$(dirname \"$0\")\" && pwd)\n"
         "work=$(mktemp -d) && streams=$(mktemp -d) || exit 2\n"
         "trap 'rm -rf \"$work\" \"$streams\"' EXIT\n" +
         run + "echo $? >\"$streams/status\"\n" +
         shell_quoted((own_programs() / "pl0").string()) + " conform --compare " + program +
         (r.c.strict ? " --strict" : "") + " \"$here/expected\" \"$work\" \"$streams\"\n";
}

}  // namespace

std::string keep_failures(const fs::path& folder, const std::vector<Result>& results,
                          const Options& options) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return "cannot make '" + folder.string() + "': " + ec.message();
  for (const Result& r : results) {
    if (passed(r) || hidden(r) || !r.c.broken.empty()) continue;
    const fs::path dir = folder / kept_name(r);
    fs::remove_all(dir, ec);
    fs::create_directories(dir / "expected", ec);
    fs::create_directories(dir / "actual", ec);
    put(dir / "stdin", r.c.stdin_text);
    if (r.c.folder.empty()) {
      put(dir / invocation(r.c.program, false).input, r.c.input);
      if (case_file(r) != invocation(r.c.program, false).input) {
        put(dir / case_file(r), r.reduced ? r.reduced_input : *r.c.source);
      }
    } else {
      fs::copy(r.c.folder, dir / "case", fs::copy_options::recursive, ec);
      if (fs::exists(r.c.folder / "stdin")) put(dir / "stdin", read_file(r.c.folder / "stdin"));
      fs::create_directories(dir / "bin", ec);
      for (Program other : programs) {
        const fs::path name = dir / "bin" / program_name(other);
        std::string line = "exec";
        if (other == r.c.program) {
          for (const std::string& w : options.commands.at(r.c.program)) line += " " + shell_quoted(w);
        } else {
          line += " " + shell_quoted((own_programs() / program_name(other)).string());
        }
        put(name, "#!/bin/sh\n" + line + " \"$@\"\n");
        make_executable(name);
      }
    }
    for (const auto& [side, outcome] : {std::pair{"expected", &r.expected}, {"actual", &r.actual}}) {
      for (const auto& [file, text] : outcome->files) {
        fs::create_directories((dir / side / file).parent_path(), ec);
        put(dir / side / file, text);
      }
      put(dir / side / "stdout", outcome->out);
      put(dir / side / "stderr", outcome->err);
      put(dir / side / "status", std::to_string(outcome->status) + "\n");
    }
    put(dir / "rerun", rerun_script(r, options));
    make_executable(dir / "rerun");
  }
  return "";
}

std::string write_junit(const fs::path& file, const std::vector<Result>& results) {
  std::map<std::string, std::vector<const Result*>> suites;  // the teacher's broken cases apart
  for (const Result& r : results) suites[r.c.broken.empty() ? program_name(r.c.program) : "~broken cases"].push_back(&r);
  std::ostringstream x;
  x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"pl0 conform\">\n";
  for (const auto& [program, members] : suites) {
    int failures = 0;
    int skipped = 0;
    for (const Result* r : members) {
      if (!r->c.broken.empty()) ++skipped;
      else if (!r->differences.empty()) ++failures;
    }
    const std::string suite = program == "~broken cases" ? "broken cases" : program;
    x << "  <testsuite name=\"" << suite << "\" tests=\"" << members.size()
      << "\" failures=\"" << failures << "\" errors=\"0\" skipped=\"" << skipped << "\">\n";
    for (const Result* r : members) {
      x << "    <testcase name=\"" << xml(r->c.name) << "\" classname=\"" << suite << "."
        << xml(r->c.group) << "\"";
      if (passed(*r)) {
        x << "/>\n";
      } else if (!r->c.broken.empty()) {  // the teacher's to mend: not charged to the program
        x << ">\n      <skipped message=\"" << xml("broken case: " + r->c.broken) << "\"/>\n    </testcase>\n";
      } else {
        x << ">\n      <failure message=\"" << xml(r->differences.front().what + " differs") << "\" type=\"failure\">"
          << xml(explanation(*r)) << "</failure>\n    </testcase>\n";
      }
    }
    x << "  </testsuite>\n";
  }
  x << "</testsuites>\n";
  return write_whole(file, x.str());
}

std::string write_gradescope(const fs::path& file, const std::vector<Result>& results) {
  // One test per program and group of cases (and visibility): the score is the cases passed.
  std::map<std::string, std::vector<const Result*>> tests;
  std::string broken;  // the teacher's to mend: in no test and no score
  for (const Result& r : results) {
    if (!r.c.broken.empty()) {
      broken += "\nbroken case " + r.c.name + ": " + r.c.broken + " (not counted)";
    } else {
      tests[std::string(program_name(r.c.program)) + ": " + r.c.group].push_back(&r);
    }
  }
  std::ostringstream j;
  double score = 0, max_score = 0;
  j << "{\n  \"tests\": [\n";
  bool first = true;
  for (const auto& [name, members] : tests) {
    int ok = 0;
    std::string output;
    for (const Result* r : members) {
      if (passed(*r)) {
        ++ok;
      } else {
        output += r->c.name + ": " + (hidden(*r) ? "failed\n" : explanation(*r));
      }
    }
    score += ok;
    max_score += static_cast<double>(members.size());
    j << (first ? "" : ",\n") << "    {\"name\": " << json(name) << ", \"score\": " << ok
      << ", \"max_score\": " << members.size() << ", \"output\": "
      << json(std::to_string(ok) + " of " + std::to_string(members.size()) + " cases passed\n" + output);
    if (hidden(*members.front())) j << ", \"visibility\": " << json(members.front()->c.visibility);
    j << "}";
    first = false;
  }
  j << "\n  ],\n  \"score\": " << score << ",\n  \"output\": "
    << json("pl0 conform: " + std::to_string(static_cast<long>(score)) + " of " +
            std::to_string(static_cast<long>(max_score)) + " cases passed" + broken)
    << "\n}\n";
  return write_whole(file, j.str());
}

}  // namespace pl0::conform
