// What the four programs share around their work: the command-line scan, opening and closing
// files with one kind of message, and the early end that unwinds back to the entry function.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pl0 {

// Thrown to end a program before its work is done (an error report, the end of the source).
// The entry function catches it, closes its files in the program's own order and returns the
// status, so the programs can be run again and again inside one process (tests, fuzzers).
struct EarlyEnd {
  int status;
};

struct Switch {
  Switch(const char* switch_text, bool with_name) : text(switch_text), takes_name(with_name) {}

  const char* text;  // compared with each argument as a whole, case-sensitively
  bool takes_name;
  bool seen = false;
  std::string name;  // the argument after the switch's last occurrence, if there was one
};

// Examines every argument in turn against every switch. The argument after a switch is taken as
// its name but not skipped: it is examined as a switch in its own turn.
void scan_switches(int argc, const char* const* argv, std::vector<Switch>& switches);

// One place that opens a program's files, so every failure reads the same:
// "Compiler: cannot open token file 'x.tok': No such file or directory".
class FileOpener {
 public:
  FileOpener(const char* program, FILE* err) : program_(program), err_(err) {}

  // Opens for reading; nullptr after a message when it cannot.
  FILE* open_input(const char* role, const Switch& sw);
  // Creates or empties for writing; refuses, before emptying anything, a file that is also one of
  // the inputs opened so far, since creating it would destroy the input.
  FILE* open_output(const char* role, const Switch& sw);
  // Closes an output and reports a failed write (a full disk) instead of ending in success.
  bool close_output(FILE* file, const char* role, const Switch& sw);

  // Writes "<program>: <message>" as one line on the error stream.
  void report(const std::string& message) const;

 private:
  bool named(const char* role, const Switch& sw) const;

  const char* program_;
  FILE* err_;
  std::vector<std::pair<std::string, std::string>> inputs_;  // role, name
};

// Reports a failed write on a stream the program did not open (standard output).
bool flush_stream(FILE* file, const char* program, const char* what, FILE* err);

}  // namespace pl0
