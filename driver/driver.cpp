// The pl0 driver: one command for the whole chain. It runs the four programs' own code in this
// process on files in a private folder (chain/chain.h), passes their messages through
// unchanged, and adds the source line that a Tokeniser or Compiler message names.
#include "driver.h"


#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "arguments.h"
#include "chain.h"
#include "files.h"
#include "native.h"
#include "temporary_folder.h"
#include "watch.h"

namespace pl0::driver {

namespace fs = std::filesystem;

namespace {

constexpr const char* version = "pl0 1.0.0";

constexpr const char* help = R"(Usage: pl0 COMMAND FILE.pl0 [OPTIONS]

Commands:
  run FILE.pl0 [--keep DIR] [--native [-O0]]
                                 compile FILE.pl0 and run it; its input and output are the
                                 console's; --native runs it as x86-64 machine code
  build FILE.pl0 [-o DIR] [--native [-O0]]
                                 write FILE.tok, FILE.code, FILE.sym and FILE.ops beside the
                                 source (or in DIR), running nothing; --native adds FILE.s
                                 (x86-64 assembly) and the executable FILE; -O0 writes
                                 plain code, each instruction on its own
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
  conform [--tokeniser CMD] [--compiler CMD] [--interpreter CMD] [--translator CMD]
          [OPTIONS]
                                 test another implementation of the four programs against
                                 this one: name at least one of the four programs to test
                                 (a path or a command line split at blanks); --seed N,
                                 --count N (cases of each kind, default 100), --cases DIR
                                 (your own), --jobs N, --timeout SECONDS (default 10),
                                 --keep DIR (a folder per failure, with a rerun script),
                                 --junit FILE, --gradescope FILE, --strict (also the places
                                 where this tool chain departs), --no-reduce,
                                 --reduce-seconds N (default 30 a cut-down), --only CASE,
                                 --isolation auto|required|off (each run under bubblewrap:
                                 its own folder, no network), --memory MIB (default 1024),
                                 --processes N (default 128);
                                 status 0 when every case passed, 1 otherwise, 2 when the
                                 programs cannot run at all
  conform --check-cases DIR      check a teacher's cases before the term
  reduce FILE --test CMD [--seconds N]
                                 cut FILE down to the smallest text on which CMD (run by
                                 sh in a folder holding the candidate as FILE's name) still
                                 exits 0; the original is kept as FILE.orig
  lsp                            a language server (LSP) for editors, on standard input
                                 and output: errors as you type, what each name is and
                                 what code each line became, definitions, references,
                                 renaming, outline, colours, completion, folding
  help, --help                   show this text
  --version                      show the version

--keep DIR keeps the intermediate files (token, code, symbol table and run file) in DIR.
The exit status is that of the program that failed, 0 when all went well, and 2 for a
mistake on the command line.
)";

struct Options {
  std::string command;
  std::string source;
  std::string out;   // -o DIR (build) or --out FILE (trace)
  std::string keep;  // --keep DIR
  bool native = false;
  bool plain = false;  // -O0: the plain native code generator
};

Options parse(int argc, const char* const* argv) {
  Options options;
  options.command = argv[1];
  const std::string& command = options.command;
  std::vector<Switch> switches;
  auto to = [](std::string& field) { return [&field](const std::string& v) { field = v; }; };
  if (command != "build") switches.push_back(with_value("--keep", to(options.keep), "a name"));
  if (command == "build") switches.push_back(with_value("-o", to(options.out), "a name"));
  if (command == "trace") switches.push_back(with_value("--out", to(options.out), "a name"));
  if (command != "trace") {
    switches.push_back(flag("--native", [&] { options.native = true; }));
    switches.push_back(flag("-O0", [&] { options.plain = true; }));
  }
  const std::vector<std::string> names = read_arguments(argc - 2, argv + 2, command, switches, 1);
  if (names.empty()) throw UsageError{"'" + command + "' needs a source file"};
  options.source = names[0];
  if (options.plain && !options.native) throw UsageError{"-O0 chooses how --native writes code; give --native too"};
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

// What a program wrote: its output as it was, its messages with the source line they name.
void pass_on(const InProcessRun& run, const Options& options, long line) {
  std::fputs(run.out.c_str(), stdout);
  show_stage_message(run.err, options.source, line);
}

// Tokeniser and Compiler; 0 when both succeeded. With `lines` the Compiler also tells each
// instruction's source line.
int compile(const Options& options, const Chain& chain, std::vector<int>* lines = nullptr) {
  const InProcessRun tokenised = chain.tokenise(options.source);
  pass_on(tokenised, options, tokeniser_message_line(tokenised.err));
  if (tokenised.status != 0) return tokenised.status;
  compiler::LineTable table;
  InProcessRun compiled;
  {
    compiler::Observing observing(lines != nullptr ? &table : nullptr);
    compiled = chain.compile();
  }
  pass_on(compiled, options, compiler_message_line(compiled.err));
  if (lines != nullptr) *lines = std::move(table.lines);
  return compiled.status;
}

fs::path intermediate_folder(const Options& options, const TemporaryFolder& work) {
  if (options.keep.empty()) return work.path();
  fs::create_directories(options.keep);
  return options.keep;
}

// What --native writes beside the other files: the listing and the executable.
struct NativeFiles {
  fs::path assembly, executable;
};

NativeFiles native_files(const fs::path& folder, const Options& options) {
  const std::string stem = fs::path(options.source).stem().string();
  return {folder / (stem + ".s"), folder / stem};
}

// A source named without .pl0 (or as FILE.s) would be overwritten by the executable (or the
// assembly) that --native writes beside it.
void refuse_to_overwrite_source(const Options& options, const NativeFiles& f) {
  if (!options.native) return;
  for (const fs::path& output : {f.assembly, f.executable}) {
    std::error_code ec;
    if (fs::equivalent(options.source, output, ec)) {
      throw UsageError{"--native would write '" + output.string() +
                       "' over the source; name the source FILE.pl0"};
    }
  }
}

native::Generator generator(const Options& options) {
  return options.plain ? native::Generator::plain : native::Generator::optimising;
}

Chain chain_in(const fs::path& folder, const Options& options) {
  return Chain(folder, fs::path(options.source).stem().string());
}

int run_command(const Options& options) {
  TemporaryFolder work("pl0");
  const fs::path folder = intermediate_folder(options, work);
  const Chain chain = chain_in(folder, options);
  const NativeFiles f = native_files(folder, options);
  refuse_to_overwrite_source(options, f);
  std::vector<int> lines;
  if (int status = compile(options, chain, options.native ? &lines : nullptr); status != 0) {
    return status;
  }
  // The banners go to the run file, so the console shows the program's own output alone.
  if (options.native) {
    if (int status = build_native(options.source, lines, chain.file("code"), f.assembly,
                                  f.executable, work.path(), generator(options));
        status != 0) {
      return status;
    }
    const int status = run_program(f.executable.string(), {"-o", chain.file("run")});
    return status < 0 ? 127 : status;
  }
  return chain.interpret({stdin, stdout, stderr});
}

int build_command(const Options& options) {
  TemporaryFolder work("pl0");
  const fs::path folder =
      options.out.empty() ? fs::path(options.source).parent_path() : fs::path(options.out);
  if (!options.out.empty()) fs::create_directories(folder);
  const Chain chain = chain_in(folder, options);
  const NativeFiles f = native_files(folder, options);
  refuse_to_overwrite_source(options, f);
  std::vector<int> lines;
  if (int status = compile(options, chain, options.native ? &lines : nullptr); status != 0) {
    return status;
  }
  const InProcessRun translated = chain.translate();
  pass_on(translated, options, 0);
  if (translated.status != 0 || !options.native) return translated.status;
  return build_native(options.source, lines, chain.file("code"), f.assembly, f.executable,
                      work.path(), generator(options));
}

// The stack trace to --out FILE with the program's output on the console, or to the console
// with the program's output dropped.
int trace_command(const Options& options) {
  TemporaryFolder work("pl0");
  const Chain chain = chain_in(intermediate_folder(options, work), options);
  if (int status = compile(options, chain); status != 0) return status;
  if (!options.out.empty()) return chain.interpret({stdin, stdout, stderr}, options.out);
  const std::string trace = work / "trace";
  std::FILE* nowhere = std::fopen("/dev/null", "w");
  if (nowhere == nullptr) throw std::runtime_error("cannot open /dev/null");
  const int status = chain.interpret({stdin, nowhere, stderr}, trace);
  std::fclose(nowhere);
  const std::string text = read_file(trace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return status;
}

}  // namespace

void show_stage_message(const std::string& message, const std::string& source, long line) {
  std::fputs(message.c_str(), stderr);
  if (line <= 0 || message.empty()) return;
  const std::vector<std::string> lines = lines_of(read_file(source));
  if (static_cast<std::size_t>(line) <= lines.size()) {
    std::fprintf(stderr, "%4ld | %s\n", line, lines[static_cast<std::size_t>(line) - 1].c_str());
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
  if (command == "lsp") return lsp_main(argc - 2, argv + 2);
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
