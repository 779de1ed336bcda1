// The pl0 driver: one command for the whole chain. It runs the four programs as separate
// processes on files in a private folder, passes their messages through unchanged, and adds
// the source line that a Tokeniser or Compiler message names.
#include "driver.h"


#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

#include "compiler.h"
#include "native.h"
#include "parser.h"
#include "process.h"
#include "temporary_folder.h"

namespace pl0::driver {

namespace fs = std::filesystem;

namespace {

constexpr const char* version = "pl0 1.0.0";

constexpr const char* help = R"(Usage: pl0 COMMAND FILE.pl0 [OPTIONS]

Commands:
  run FILE.pl0 [--keep DIR] [--native]
                                 compile FILE.pl0 and run it; its input and output are the
                                 console's; --native runs it as x86-64 machine code
  build FILE.pl0 [-o DIR] [--native]
                                 write FILE.tok, FILE.code, FILE.sym and FILE.ops beside the
                                 source (or in DIR), running nothing; --native adds FILE.s
                                 (x86-64 assembly) and the executable FILE
  trace FILE.pl0 [--out FILE] [--keep DIR]
                                 run FILE.pl0 with the stack trace on and write the trace to
                                 standard output (the program's own output is then not shown)
                                 or to FILE
  explore FILE.pl0 [-o FILE] [--input FILE] [--max-steps N] [--json]
                                 run FILE.pl0 and write FILE.html beside it (or FILE): one
                                 page that steps through the run; --input is the program's
                                 standard input (empty without it); at most N instructions
                                 are recorded (default 1000000); --json writes the recording
                                 itself (FILE.json)
  conform --compiler CMD ... [OPTIONS]
                                 test another implementation of the four programs against
                                 this one: --tokeniser, --compiler, --interpreter and
                                 --translator CMD name the programs to test (a path or a
                                 command line split at blanks); --seed N, --count N (cases
                                 of each kind, default 100), --cases DIR (your own),
                                 --jobs N, --timeout SECONDS (default 10), --keep DIR,
                                 --junit FILE, --gradescope FILE, --strict (also the places
                                 where this tool chain departs), --no-reduce, --only CASE;
                                 status 0 when every case passed, 1 otherwise
  reduce FILE --test CMD [--seconds N]
                                 cut FILE down to the smallest text on which CMD (run by
                                 sh in a folder holding the candidate as FILE's name) still
                                 exits 0; the original is kept as FILE.orig
  help, --help                   show this text
  --version                      show the version

--keep DIR keeps the intermediate files (token, code, symbol table and run file) in DIR.
The exit status is that of the program that failed, 0 when all went well, and 2 for a
mistake on the command line.
)";

struct UsageError {
  std::string message;
};

struct Options {
  std::string command;
  std::string source;
  std::string out;   // -o DIR (build) or --out FILE (trace)
  std::string keep;  // --keep DIR
  bool native = false;
};

Options parse(int argc, const char* const* argv) {
  Options options;
  options.command = argv[1];
  const std::string out_switch = options.command == "build" ? "-o" : "--out";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string* value = nullptr;
    if (arg == "--keep" && options.command != "build") value = &options.keep;
    if (arg == out_switch && options.command != "run") value = &options.out;
    if (arg == "--native" && options.command != "trace") {
      options.native = true;
    } else if (value != nullptr) {
      if (i + 1 == argc) throw UsageError{"'" + arg + "' needs a name after it"};
      *value = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option '" + arg + "' for '" + options.command + "'"};
    } else if (options.source.empty()) {
      options.source = arg;
    } else {
      throw UsageError{"unexpected argument '" + arg + "'"};
    }
  }
  if (options.source.empty()) throw UsageError{"'" + options.command + "' needs a source file"};
  std::error_code ec;
  std::FILE* source =
      fs::is_directory(options.source, ec) ? nullptr : std::fopen(options.source.c_str(), "r");
  if (source == nullptr) {
    const int reason = fs::is_directory(options.source, ec) ? EISDIR : errno;
    throw UsageError{"cannot open source file '" + options.source + "': " + std::strerror(reason)};
  }
  std::fclose(source);
  return options;
}

// The intermediate files live in a TemporaryFolder (common/temporary_folder.h).
using Workspace = TemporaryFolder;

std::string read_text(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Line `number` of the source, counted from 1, without its line end.
std::optional<std::string> source_line(const std::string& source, long number) {
  std::ifstream file(source, std::ios::binary);
  std::string line;
  for (long n = 1; std::getline(file, line); ++n) {
    if (n != number) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  return std::nullopt;
}

// The line number a message names after `marker` ("Line 7:", "Error 11 on line 7:").
long line_named(const std::string& message, const std::string& marker) {
  const std::size_t at = message.find(marker);
  if (at == std::string::npos) return 0;
  return std::strtol(message.c_str() + at + marker.size(), nullptr, 10);
}

struct Stage {
  const char* program;
  std::vector<std::string> args;
  const char* line_marker;  // where the program's message names a source line, if it does
};

// Where the Tokeniser's and the Compiler's messages name a source line.
constexpr const char* tokeniser_marker = "Line ";
constexpr const char* compiler_marker = " on line ";

// Passes on the messages a program wrote to `errors` unchanged, adding the source line they
// name after `marker` (none without one).
void pass_on_messages(const fs::path& errors, const char* marker, const Options& options) {
  const std::string message = read_text(errors);
  const long line = marker == nullptr || message.empty() ? 0 : line_named(message, marker);
  show_stage_message(message, options.source, line);
}

// Runs one program with its error stream captured, passes the messages on unchanged and adds
// the source line they name.
int run_stage(const Stage& stage, const Options& options, const Workspace& work) {
  const std::string path = find_program(stage.program);
  if (path.empty()) {
    std::fprintf(stderr, "pl0: cannot find %s beside pl0 or on PATH\n", stage.program);
    return 127;
  }
  const fs::path errors = work.path() / (std::string(stage.program) + ".err");
  const int status = run_program(path, stage.args, Redirect{"", "", errors.string()});
  pass_on_messages(errors, stage.line_marker, options);
  if (status < 0) std::fprintf(stderr, "pl0: cannot start %s\n", stage.program);
  return status < 0 ? 127 : status;
}

struct Files {
  fs::path tokens, code, symbols, opcodes, run, assembly, executable;
};

Files files_in(const fs::path& folder, const std::string& source) {
  const std::string stem = fs::path(source).stem().string();
  return {folder / (stem + ".tok"), folder / (stem + ".code"), folder / (stem + ".sym"),
          folder / (stem + ".ops"), folder / (stem + ".run"), folder / (stem + ".s"),
          folder / stem};
}

// The Compiler in this process with its line hook set, for a listing that shows each
// instruction's source line: one compilation gives both the code file and the lines.
int compile_with_lines(const Options& options, const Files& f, const Workspace& work,
                       std::vector<int>& lines) {
  const fs::path errors = work.path() / "Compiler.err";
  std::FILE* err = std::fopen(errors.c_str(), "wb");
  if (err == nullptr) {
    std::fprintf(stderr, "pl0: cannot write %s\n", errors.c_str());
    return 1;
  }
  const std::string tokens = f.tokens.string(), code = f.code.string(),
                    symbols = f.symbols.string();
  const char* const args[] = {"Compiler", "-i", tokens.c_str(), "-o", code.c_str(), "-t",
                              symbols.c_str()};
  compiler::LineTable table;
  int status;
  {
    compiler::Observing observing(&table);
    status = compiler_main(7, args, nullptr, stdout, err);
  }
  std::fclose(err);
  pass_on_messages(errors, compiler_marker, options);
  lines = std::move(table.lines);
  return status;
}

// Tokeniser and Compiler; 0 when both succeeded. With `lines` the Compiler also tells each
// instruction's source line.
int compile(const Options& options, const Files& f, const Workspace& work,
            std::vector<int>* lines = nullptr) {
  int status =
      run_stage({"Tokeniser", {"-i", options.source, "-o", f.tokens.string(), "-nl"}, tokeniser_marker},
                options, work);
  if (status != 0) return status;
  if (lines != nullptr) return compile_with_lines(options, f, work, *lines);
  return run_stage({"Compiler",
                    {"-i", f.tokens.string(), "-o", f.code.string(), "-t", f.symbols.string()},
                    compiler_marker},
                   options, work);
}

fs::path intermediate_folder(const Options& options, const Workspace& work) {
  if (options.keep.empty()) return work.path();
  fs::create_directories(options.keep);
  return options.keep;
}

// A source named without .pl0 (or as FILE.s) would be overwritten by the executable (or the
// assembly) that --native writes beside it.
void refuse_to_overwrite_source(const Options& options, const Files& f) {
  if (!options.native) return;
  for (const fs::path& output : {f.assembly, f.executable}) {
    std::error_code ec;
    if (fs::equivalent(options.source, output, ec)) {
      throw UsageError{"--native would write '" + output.string() +
                       "' over the source; name the source FILE.pl0"};
    }
  }
}

int run_command(const Options& options) {
  Workspace work("pl0");
  const Files f = files_in(intermediate_folder(options, work), options.source);
  refuse_to_overwrite_source(options, f);
  std::vector<int> lines;
  if (int status = compile(options, f, work, options.native ? &lines : nullptr); status != 0) {
    return status;
  }
  // The banners go to the run file, so the console shows the program's own output alone.
  if (options.native) {
    if (int status = build_native(options.source, lines, f.code, f.assembly, f.executable,
                                  work.path());
        status != 0) {
      return status;
    }
    const int status = run_program(f.executable.string(), {"-o", f.run.string()});
    return status < 0 ? 127 : status;
  }
  return run_stage({"Interpreter", {"-i", f.code.string(), "-o", f.run.string()}, nullptr}, options,
                   work);
}

int build_command(const Options& options) {
  Workspace work("pl0");
  const fs::path folder =
      options.out.empty() ? fs::path(options.source).parent_path() : fs::path(options.out);
  if (!options.out.empty()) fs::create_directories(folder);
  const Files f = files_in(folder, options.source);
  refuse_to_overwrite_source(options, f);
  std::vector<int> lines;
  if (int status = compile(options, f, work, options.native ? &lines : nullptr); status != 0) {
    return status;
  }
  const int status = run_stage(
      {"Translator", {"-i", f.code.string(), "-o", f.opcodes.string()}, nullptr}, options, work);
  if (status != 0 || !options.native) return status;
  return build_native(options.source, lines, f.code, f.assembly, f.executable, work.path());
}

int trace_command(const Options& options) {
  Workspace work("pl0");
  const Files f = files_in(intermediate_folder(options, work), options.source);
  if (int status = compile(options, f, work); status != 0) return status;
  const fs::path trace = options.out.empty() ? work.path() / "trace" : fs::path(options.out);
  const std::string path = find_program("Interpreter");
  if (path.empty()) {
    std::fputs("pl0: cannot find Interpreter beside pl0 or on PATH\n", stderr);
    return 127;
  }
  const std::string console = options.out.empty() ? "/dev/null" : "";
  const int status =
      run_program(path, {"-i", f.code.string(), "-o", f.run.string(), "-s", trace.string()},
                  Redirect{"", console, ""});
  if (options.out.empty()) {
    std::cout << read_text(trace);
    std::cout.flush();
  }
  return status < 0 ? 127 : status;
}

}  // namespace

void show_stage_message(const std::string& message, const std::string& source, long line) {
  std::fputs(message.c_str(), stderr);
  if (const auto text = source_line(source, line); line > 0 && text) {
    std::fprintf(stderr, "%4ld | %s\n", line, text->c_str());
  }
}

int driver_main(int argc, const char* const* argv) {
  if (argc < 2) {
    std::fputs("Usage: pl0 COMMAND FILE.pl0 [OPTIONS]\nTry 'pl0 --help'.\n", stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(help, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts(version);
    return 0;
  }
  if (command == "explore") return explore_main(argc - 2, argv + 2);
  if (command == "conform") return conform_main(argc - 2, argv + 2);
  if (command == "reduce") return reduce_main(argc - 2, argv + 2);
  try {
    if (command != "run" && command != "build" && command != "trace") {
      throw UsageError{"unknown command '" + command + "'"};
    }
    const Options options = parse(argc, argv);
    if (options.native) {  // before anything is written
      if (const std::string reason = native_unavailable(); !reason.empty()) {
        std::fprintf(stderr, "pl0: %s\n", reason.c_str());
        return 2;
      }
    }
    if (command == "run") return run_command(options);
    if (command == "build") return build_command(options);
    return trace_command(options);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "pl0: %s\nTry 'pl0 --help'.\n", error.message.c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pl0: %s\n", error.what());
    return 1;
  }
}

}  // namespace pl0::driver
