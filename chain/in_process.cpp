// Temporary files rather than memory streams: the programs write through std::FILE, as their
// main does, so nothing in them knows it runs in-process.
#include "in_process.h"

#include <stdexcept>

namespace pl0 {

std::FILE* temporary_stream(const std::string& text) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("cannot create a temporary file");
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return file;
}

std::string read_whole_stream(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  return text;
}

int run_on_streams(ProgramEntry entry, const std::vector<std::string>& args,
                   const Streams& streams) {
  std::vector<const char*> argv;
  argv.reserve(args.size());
  for (const std::string& a : args) argv.push_back(a.c_str());
  return entry(static_cast<int>(argv.size()), argv.data(), streams.in, streams.out, streams.err);
}

InProcessRun run_in_process(ProgramEntry entry, const std::vector<std::string>& args,
                            const std::string& stdin_text) {
  std::FILE* in = temporary_stream(stdin_text);
  std::FILE* out = temporary_stream("");
  std::FILE* err = temporary_stream("");
  InProcessRun run;
  run.status = run_on_streams(entry, args, {in, out, err});
  run.out = read_whole_stream(out);
  run.err = read_whole_stream(err);
  for (std::FILE* f : {in, out, err}) std::fclose(f);
  return run;
}

}  // namespace pl0
