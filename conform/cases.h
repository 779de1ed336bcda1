// The cases a run checks, each named so that a failure says what was being checked:
// generated ones (from a seed), the curated golden cases shipped with the kit, and a teacher's.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "reference.h"

namespace pl0::conform {

struct Case {
  std::string name;   // "compiler/valid/17", "curated/compiler/error_11_undeclared"
  std::string group;  // "valid programs", "curated", ...: a report's test for grading
  Program program = Program::tokeniser;
  std::string input;       // the file the program reads
  std::string stdin_text;  // its standard input
  bool keep_lines = false;  // -nl for the Tokeniser, -s for the Interpreter
  // Where the input came from a PL/0 program, the program: reduction works on it, and the
  // input is made again from it by this tool chain's stages before.
  std::optional<std::string> source;
  std::string visibility = "visible";  // or "hidden", "after_published"
  bool strict = false;        // a place where this tool chain departs: counted with --strict only
  std::string departs;        // why, for a curated case
  bool status_free = false;   // an unknown symbol: the literal status is 0, ours 1
  std::filesystem::path folder;      // a curated case's folder: its cmd runs the programs
  // A teacher's expected files by name (stdout, stderr and status among them): they replace
  // this tool chain's outcome where they are given.
  std::map<std::string, std::string> expected;
  std::string broken;                // why the case cannot be used, if it cannot
};

struct Selection {
  std::uint32_t seed = 1;
  int count = 100;
  bool strict = false;
  std::vector<Program> programs;
};

std::vector<Case> generated_cases(const Selection& selection);

// Every golden case of the programs' groups below `golden` (tokeniser/, compiler/, ...).
std::vector<Case> curated_cases(const std::filesystem::path& golden, const Selection& selection);

// A teacher's cases: each folder below `root` (or below root/hidden, root/after_published)
// with one input file, input.pl0, input.tok or input.code, and optionally stdin and
// expected/PROGRAM/{FILE, stdout, stderr, status}.
std::vector<Case> teacher_cases(const std::filesystem::path& root, const Selection& selection);

// Whether a generated case keeps clear of every place where the programs' rules leave the
// outcome open or this tool chain mends a fault: a literal implementation must pass it.
bool clear_of_open_places(Program program, const std::string& input, const std::string& stdin_text = "");

// The case made from `source` again, for `program` (the stages before it are this tool
// chain's); nothing when those stages fail.
std::optional<Case> case_from_source(const Case& model, const std::string& source);

}  // namespace pl0::conform
