// The recording as JSON. Numbers that follow one another closely (registers, the steps at which
// cells change) are written as differences, which keeps a long run to a few bytes a step.
// Strings are byte strings: every byte, as the programs wrote it, is one character 0 .. 255.
// Not nlohmann-json (the language server's): it rejects bytes that are not UTF-8, and pl0
// explore is built without it; not the conformance kit's, which makes text printable first.
#include <cstdio>

#include "recording.h"
#include "vocabulary.h"

namespace pl0::explorer {

namespace {

class Json {
 public:
  std::string text;

  // Each value ends with fresh_ false, so that the next one in its array or object is
  // preceded by a comma.
  void raw(const char* s) {
    text += s;
    fresh_ = false;
  }
  void number(long long n) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%lld", n);
    text += buffer;
    fresh_ = false;
  }
  void string(const std::string& s) {
    text += '"';
    for (const char byte : s) {
      const auto c = static_cast<unsigned char>(byte);
      if (c == '"' || c == '\\') {
        text += '\\';
        text += static_cast<char>(c);
      } else if (c == '\n') {
        text += "\\n";
      } else if (c < 32 || c >= 127 || c == '<') {  // '<': no "</script>" inside a page
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
        text += buffer;
      } else {
        text += static_cast<char>(c);
      }
    }
    text += '"';
    fresh_ = false;
  }
  void key(const char* name) {
    separate();
    string(name);
    text += ':';
    fresh_ = true;
  }
  // Before a value in an array or object: a comma unless it is the first.
  void separate() {
    if (!fresh_) text += ',';
    fresh_ = false;
  }
  void open(char bracket) {
    text += bracket;
    fresh_ = true;
  }
  void close(char bracket) {
    text += bracket;
    fresh_ = false;
  }
  template <typename Numbers>
  void numbers(const Numbers& values) {
    open('[');
    for (const auto v : values) {
      separate();
      number(static_cast<long long>(v));
    }
    close(']');
  }

 private:
  bool fresh_ = true;
};

const char* end_name(RunEnd::Kind kind) {
  switch (kind) {
    case RunEnd::finished: return "finished";
    case RunEnd::fault: return "fault";
    case RunEnd::step_cap: return "step-cap";
    case RunEnd::write_failed: return "write-failed";
  }
  return "?";
}

void write_program(Json& j, const Recording& r) {
  j.key("symbolNames");
  j.open('[');
  for (const char* name : symbol_names) {
    j.separate();
    j.string(name);
  }
  j.close(']');
  j.key("opcodeNames");
  j.open('[');
  for (const char* name : opcode_names) {
    j.separate();
    j.string(name);
  }
  j.close(']');
  j.key("instructions");
  j.open('[');
  for (const InstructionInfo& i : r.instructions) {
    j.separate();
    j.numbers(std::vector<long long>{i.instruction.opcode, i.instruction.level,
                                     i.instruction.operand, i.line});
  }
  j.close(']');
  j.key("operations");
  j.open('[');
  for (const InstructionInfo& i : r.instructions) {
    j.separate();
    j.open('[');
    for (const std::string& op : i.operations) {
      j.separate();
      j.string(op);
    }
    j.close(']');
  }
  j.close(']');
  j.key("procedures");
  j.open('[');
  for (const Procedure& p : r.procedures) {
    j.separate();
    j.open('{');
    j.key("name");
    j.string(p.name);
    for (const auto& [name, value] : {std::pair{"level", p.level}, {"jump", p.jump},
                                      {"body", p.body}, {"end", p.end}}) {
      j.key(name);
      j.number(value);
    }
    j.key("variables");
    j.open('[');
    for (const Variable& v : p.variables) {
      j.separate();
      j.open('[');
      j.separate();
      j.string(v.name);
      j.separate();
      j.number(v.offset);
      j.separate();
      j.number(v.cells);
      j.close(']');
    }
    j.close(']');
    j.close('}');
  }
  j.close(']');
}

void write_run(Json& j, const Recording& r) {
  j.open('{');
  j.key("end");
  j.string(end_name(r.end.kind));
  j.key("message");
  j.string(r.end.message);
  j.key("steps");
  j.number(r.steps);
  j.key("maxSteps");
  j.number(r.max_steps);
  // Each register as the difference from its value in the state before.
  std::vector<long long> registers(r.registers.size());
  for (std::size_t k = 0; k < r.registers.size(); ++k) {
    registers[k] = k < 6 ? r.registers[k]
                         : static_cast<long long>(r.registers[k]) - r.registers[k - 6];
  }
  j.key("registers");
  j.numbers(registers);
  // Triples: the state (as the difference from the previous triple's), the cell, its value.
  std::vector<long long> changes;
  long long previous = 0;
  for (std::size_t state = 0; state + 1 < r.change_start.size(); ++state) {
    for (auto c = static_cast<std::size_t>(r.change_start[state]);
         c < static_cast<std::size_t>(r.change_start[state + 1]); ++c) {
      changes.push_back(static_cast<long long>(state) - previous);
      changes.push_back(r.change_cell[c]);
      changes.push_back(r.change_value[c]);
      previous = static_cast<long long>(state);
    }
  }
  j.key("changes");
  j.numbers(changes);
  j.key("snapshotEvery");
  j.number(snapshot_every);
  j.key("snapshots");
  j.open('[');
  for (const auto& cells : r.snapshots) {
    j.separate();
    j.numbers(cells);
  }
  j.close(']');
  j.key("output");
  j.string(r.output);
  j.key("outputCut");
  j.raw(r.output_cut ? "true" : "false");
  for (const auto& [name, events] : {std::pair{"outputAt", &r.output_at}, {"inputAt", &r.input_at}}) {
    std::vector<long long> flat;
    for (const auto& [state, length] : *events) {
      flat.push_back(state);
      flat.push_back(static_cast<long long>(length));
    }
    j.key(name);
    j.numbers(flat);
  }
  j.close('}');
}

}  // namespace

std::string to_json(const Recording& r) {
  Json j;
  j.open('{');
  j.key("format");
  j.string("pl0-recording");
  j.key("version");
  j.number(1);
  j.key("source");
  j.string(r.source);
  j.key("input");
  j.string(r.input);
  j.key("files");
  j.open('{');
  for (const auto& [name, text] : {std::pair{"tokens", &r.tokens}, {"code", &r.code},
                                   {"symbols", &r.symbols}, {"opcodes", &r.opcodes}}) {
    j.key(name);
    j.string(*text);
  }
  j.close('}');
  j.key("error");
  if (r.error_program.empty()) {
    j.raw("null");
  } else {
    j.open('{');
    j.key("program");
    j.string(r.error_program);
    j.key("message");
    j.string(r.error_message);
    j.key("line");
    j.number(r.error_line);
    j.key("from");
    j.number(r.error_from);
    j.key("to");
    j.number(r.error_to);
    j.key("unclosed");
    if (r.error_unclosed.empty()) {
      j.raw("null");
    } else {
      j.string(r.error_unclosed);
    }
    j.close('}');
  }
  write_program(j, r);
  j.key("run");
  if (r.ran) {
    write_run(j, r);
  } else {
    j.raw("null");
  }
  j.close('}');
  j.text += '\n';
  return j.text;
}

}  // namespace pl0::explorer
