// pl0 explore: records one run in-process and writes it as the explorer's page (or as JSON).
// The file appears whole or not at all: it is written beside its final name and renamed.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "arguments.h"
#include "driver.h"
#include "page.h"
#include "recording.h"

namespace pl0::driver {

namespace fs = std::filesystem;

namespace {

struct ExploreOptions {
  std::string source, out, input;
  long max_steps = explorer::default_max_steps;
  bool json = false;
};

std::string read_whole(const std::string& path, const char* what) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    throw UsageError{std::string("cannot open ") + what + " '" + path + "': " + std::strerror(EISDIR)};
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw UsageError{std::string("cannot open ") + what + " '" + path + "': " + std::strerror(errno)};
  }
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

constexpr const char* explore_usage =
    "Usage: pl0 explore FILE.pl0 [-o FILE] [--input FILE] [--max-steps N] [--json]\n"
    "Runs FILE.pl0 once and writes FILE.html beside it (or FILE): one page that steps\n"
    "through the run, for any browser, offline.\n"
    "  -o FILE          the file to write\n"
    "  --input FILE     the program's standard input (without it, an empty input)\n"
    "  --max-steps N    record at most N instructions (default 1000000)\n"
    "  --json           write the recording itself (FILE.json)\n";

bool asks_for_help(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return true;
  }
  return false;
}

ExploreOptions parse(int argc, const char* const* argv) {
  ExploreOptions o;
  const std::vector<std::string> names = read_arguments(
      argc, argv, "explore",
      {with_value("-o", [&](const std::string& v) { o.out = v; }),
       with_value("--input", [&](const std::string& v) { o.input = v; }),
       with_value("--max-steps",
                  [&](const std::string& v) { o.max_steps = whole_number("--max-steps", v, 1); }),
       flag("--json", [&] { o.json = true; })},
      1);
  if (!names.empty()) o.source = names[0];
  if (o.source.empty()) throw UsageError{"'explore' needs a source file"};
  if (o.out.empty()) o.out = fs::path(o.source).replace_extension(o.json ? ".json" : ".html").string();
  return o;
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// Writes `text` to a new file beside `path` and renames it into place; false, with `error`
// set, when any step fails (the new file is then removed).
bool write_whole(const std::string& path, const std::string& text, std::string& error) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; give it the mode any new file would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* file = ::fdopen(fd, "wb");
  bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) ok = std::fclose(file) == 0 && ok;
  if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    error = std::strerror(errno != 0 ? errno : EIO);
    std::remove(temporary.c_str());
  }
  return ok;
}

}  // namespace

int explore_main(int argc, const char* const* argv) {
  if (asks_for_help(argc, argv)) {
    std::fputs(explore_usage, stdout);
    return 0;
  }
  ExploreOptions o;
  std::string source, input;
  try {
    o = parse(argc, argv);
    source = read_whole(o.source, "source file");
    if (!o.input.empty()) input = read_whole(o.input, "input file");
    if (same_file(o.out, o.source)) throw UsageError{"the output '" + o.out + "' is the source file"};
    if (!o.input.empty() && same_file(o.out, o.input)) {
      throw UsageError{"the output '" + o.out + "' is the input file"};
    }
  } catch (const UsageError& error) {
    std::fprintf(stderr, "pl0: %s\nTry 'pl0 --help'.\n", error.message.c_str());
    return 2;
  }

  explorer::Recording recording;
  try {
    recording = explorer::record(source, input, o.max_steps);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pl0: %s\n", error.what());
    return 1;
  }
  const std::string json = explorer::to_json(recording);
  std::string error;
  if (!write_whole(o.out, o.json ? json : explorer_page(json, fs::path(o.source).filename().string()), error)) {
    std::fprintf(stderr, "pl0: cannot write '%s': %s\n", o.out.c_str(), error.c_str());
    return 1;
  }
  std::printf("%s\n", o.out.c_str());
  // The status the chain would end with: a compile error or a fault is a failure, though the
  // page that shows it was written.
  if (!recording.error_program.empty()) {
    show_stage_message(recording.error_message, o.source, recording.error_line);
    return 1;
  }
  if (recording.end.kind == explorer::RunEnd::fault) {
    std::fprintf(stderr, "Interpreter: %s\n", recording.end.message.c_str());
    return 1;
  }
  if (recording.end.kind == explorer::RunEnd::step_cap) {
    std::fprintf(stderr, "pl0: the run was stopped after %ld instructions (--max-steps)\n",
                 recording.steps);
  }
  return 0;
}

}  // namespace pl0::driver
