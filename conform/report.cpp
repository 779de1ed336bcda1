// The reports of a run: for a person on the terminal, folders to rerun by hand, JUnit XML for
// a CI job, and results.json for an autograder. A hidden case's contents never appear.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "conform.h"
#include "markup.h"

namespace pl0::conform {

namespace fs = std::filesystem;

namespace {

bool hidden(const Result& r) { return r.c.visibility != "visible"; }

const char* extension(Program p) {
  switch (p) {
    case Program::tokeniser: return "pl0";
    case Program::compiler: return "tok";
    default: return "code";
  }
}

// What differs, in a few lines: the first difference as a unified diff.
std::string explanation(const Result& r) {
  if (!r.c.broken.empty()) return "broken case: " + r.c.broken + "\n";
  std::ostringstream text;
  text << "differs:";
  for (const Difference& d : r.differences) text << " " << d.what << (&d == &r.differences.back() ? "" : ",");
  text << "\n";
  const Difference& first = r.differences.front();
  if (first.what == "run") {
    text << "the implementation " << first.actual << "\n";
  } else if (first.what == "exit status") {
    text << "exit status " << first.actual << ", expected " << first.expected << "\n";
  } else if (!hidden(r)) {
    text << unified_diff(first.expected, first.actual, first.what);
  }
  return text.str();
}

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

std::string xml(const std::string& text) { return explorer::escaped_markup(printable(text)); }

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

void print_report(std::FILE* out, const std::vector<Result>& results, const Options& options) {
  std::map<Program, std::pair<int, int>> counts;  // passed, all
  int all_passed = 0;
  for (const Result& r : results) {
    auto& [ok, all] = counts[r.c.program];
    ++all;
    if (passed(r)) {
      ++ok;
      ++all_passed;
      continue;
    }
    std::fprintf(out, "FAIL %s: %s\n", program_name(r.c.program), r.c.name.c_str());
    if (!r.c.departs.empty()) std::fprintf(out, "(a place where this tool chain departs: %s)", r.c.departs.c_str());
    if (hidden(r)) {
      std::fprintf(out, "%s(a hidden case: its contents are not shown)\n\n", explanation(r).c_str());
      continue;
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
    const std::string& input = r.reduced ? r.reduced_input : (r.c.source ? *r.c.source : r.c.input);
    if (r.c.folder.empty()) {
      std::fprintf(out, "%s%s", input.c_str(), !input.empty() && input.back() == '\n' ? "" : "\n");
      if (r.c.program == Program::interpreter && !r.c.stdin_text.empty()) std::fprintf(out, "with standard input:\n%s\n", r.c.stdin_text.c_str());
    } else {
      std::fprintf(out, "the golden case in %s\n", r.c.folder.string().c_str());
    }
    std::fprintf(out, "%s", explanation(r).c_str());
    std::fprintf(out, "rerun: %s\n\n", rerun_command(r, options).c_str());
  }
  for (const auto& [program, count] : counts) {
    std::fprintf(out, "%s: %d of %d cases passed\n", program_name(program), count.first, count.second);
  }
  std::fprintf(out, "conform: %d of %zu cases passed\n", all_passed, results.size());
}

std::string keep_failures(const fs::path& folder, const std::vector<Result>& results,
                          const Options& options) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return "cannot make '" + folder.string() + "': " + ec.message();
  for (const Result& r : results) {
    if (passed(r) || hidden(r)) continue;
    std::string name = r.c.name;
    for (char& c : name) c = c == '/' ? '-' : c;
    const fs::path dir = folder / name;
    fs::create_directories(dir / "expected", ec);
    fs::create_directories(dir / "actual", ec);
    const std::string ext = r.c.source ? "pl0" : extension(r.c.program);
    const auto put = [](const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; };
    if (r.c.folder.empty()) {
      put(dir / ("reduced." + ext), r.reduced ? r.reduced_input : (r.c.source ? *r.c.source : r.c.input));
      put(dir / "reduced.stdin", r.c.stdin_text);
      put(dir / ("input." + std::string(extension(r.c.program))), r.c.input);
    }
    for (const auto& [side, outcome] : {std::pair{"expected", &r.expected}, {"actual", &r.actual}}) {
      for (const auto& [file, text] : outcome->files) put(dir / side / file, text);
      put(dir / side / "stdout", outcome->out);
      put(dir / side / "stderr", outcome->err);
      put(dir / side / "status", std::to_string(outcome->status) + "\n");
    }
    const Invocation how = invocation(r.c.program, r.c.keep_lines);
    std::string command = options.command_text.count(r.c.program) ? options.command_text.at(r.c.program) : "";
    for (const std::string& s : how.switches) command += " " + s;
    put(dir / "rerun", "#!/bin/sh\n# This case again, as the kit ran it: in a folder holding " + how.input +
                           " (input." + extension(r.c.program) + "), with reduced.stdin as standard input.\n" +
                           "# The same case through the kit: " + rerun_command(r, options) + "\n" + command +
                           " < reduced.stdin\n");
  }
  return "";
}

std::string write_junit(const fs::path& file, const std::vector<Result>& results) {
  std::map<Program, std::vector<const Result*>> suites;
  for (const Result& r : results) suites[r.c.program].push_back(&r);
  std::ostringstream x;
  x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"pl0 conform\">\n";
  for (const auto& [program, members] : suites) {
    int failures = 0, errors = 0;
    for (const Result* r : members) {
      if (!r->c.broken.empty()) ++errors;
      else if (!r->differences.empty()) ++failures;
    }
    x << "  <testsuite name=\"" << program_name(program) << "\" tests=\"" << members.size()
      << "\" failures=\"" << failures << "\" errors=\"" << errors << "\" skipped=\"0\">\n";
    for (const Result* r : members) {
      x << "    <testcase name=\"" << xml(r->c.name) << "\" classname=\"" << program_name(program) << "."
        << xml(r->c.group) << "\"";
      if (passed(*r)) {
        x << "/>\n";
        continue;
      }
      const char* kind = r->c.broken.empty() ? "failure" : "error";
      const std::string message = r->c.broken.empty() ? r->differences.front().what + " differs" : "broken case";
      x << ">\n      <" << kind << " message=\"" << xml(message) << "\" type=\"" << kind << "\">"
        << xml(explanation(*r)) << "</" << kind << ">\n    </testcase>\n";
    }
    x << "  </testsuite>\n";
  }
  x << "</testsuites>\n";
  return write_whole(file, x.str());
}

std::string write_gradescope(const fs::path& file, const std::vector<Result>& results) {
  // One test per program and group of cases (and visibility): the score is the cases passed.
  std::map<std::string, std::vector<const Result*>> tests;
  for (const Result& r : results) tests[std::string(program_name(r.c.program)) + ": " + r.c.group].push_back(&r);
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
            std::to_string(static_cast<long>(max_score)) + " cases passed")
    << "\n}\n";
  return write_whole(file, j.str());
}

}  // namespace pl0::conform
