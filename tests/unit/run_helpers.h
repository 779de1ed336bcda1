// Runs a program's entry function in this process on temporary streams and collects what it
// wrote, so that tests can call the programs many times and compare every byte.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "in_process.h"

namespace pl0::test {

inline std::string read_all(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

// The whole content of an open stream, leaving its position at the end for further writes.
inline std::string read_file_stream(std::FILE* file) {
  std::fflush(file);
  const long end = std::ftell(file);
  std::string text = read_all(file);
  std::fseek(file, end, SEEK_SET);
  return text;
}

inline void write_file(const std::string& name, const std::string& text) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

inline std::string read_file(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return "<missing>";
  std::string text = read_all(file);
  std::fclose(file);
  return text;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

inline Outcome run_entry(ProgramEntry entry, const std::vector<const char*>& args, const std::string& input = "") {
  const InProcessRun run = run_in_process(entry, {args.begin(), args.end()}, input);
  return {run.status, run.out, run.err};
}

}  // namespace pl0::test
