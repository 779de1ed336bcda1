// The chain run in-process on files in a private folder, exactly as the four programs run it,
// with the Compiler watched for each instruction's line and each block's frame.
#include "compilation.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "chain.h"
#include "files.h"
#include "source_spans.h"
#include "temporary_folder.h"
#include "vocabulary.h"
#include "watch.h"

namespace pl0 {

namespace {

using tokeniser::Span;

class Watcher : public compiler::LineTable {
 public:
  Watcher(Compilation& r, compiler::CompileObserver* also) : r_(r), also_(also) {}
  void name_declared(int index) override {
    if (also_ != nullptr) also_->name_declared(index);
  }
  void name_used(int index) override {
    if (also_ != nullptr) also_->name_used(index);
  }
  void block_compiled(int own, int jump, int body, int end) override {
    if (also_ != nullptr) also_->block_compiled(own, jump, body, end);
    const compiler::NameTable& names = compiler::names;
    Procedure p{names.entries[static_cast<std::size_t>(own)].name, names.level, jump, body, end,
                {}};
    if (own == 0) p.name.clear();
    for (int i = own + 1; i <= names.top; ++i) {
      const compiler::NameEntry& e = names.entries[static_cast<std::size_t>(i)];
      if (e.kind == compiler::variable_kind && e.level == names.level) {
        p.variables.push_back({e.name, e.address, e.value});
      }
    }
    if (own == 0) {
      r_.procedures.insert(r_.procedures.begin(), p);
    } else {
      r_.procedures.push_back(p);
    }
  }

 private:
  Compilation& r_;
  compiler::CompileObserver* also_;
};

// Each instruction's lines of the opcode file: a header line "N:\t; ..." and its operations.
void split_operations(Compilation& r) {
  std::istringstream text(r.opcodes);
  std::string line;
  long current = -1;
  while (std::getline(text, line)) {
    if (!line.empty() && line[0] != '\t') {
      ++current;
    } else if (current >= 0 && static_cast<std::size_t>(current) < r.instructions.size()) {
      r.instructions[static_cast<std::size_t>(current)].operations.push_back(line.substr(1));
    }
  }
}

// The error's place in the source: the symbol the message found, or the end of the text where
// the source or the token file ended too soon.
void locate_error(Compilation& r) {
  const std::vector<Span> spans = tokeniser::symbol_spans(r.source);
  const auto end = static_cast<long>(r.source.size());
  Span at{end, end};
  if (r.error_program == "Tokeniser") {
    if (r.error_message.find("Unexpected end") == std::string::npos) {
      if (!spans.empty()) at = spans.back();
    } else if (const Span open = tokeniser::unclosed_opening(r.source); open.symbol != 0) {
      at = open;
      r.error_unclosed = open.symbol == string_sym ? "string" : "comment";
    }
  } else if (compiler_message_number(r.error_message) != compiler::unexpected_end) {
    const auto current = static_cast<std::size_t>(compiler::last_symbol());
    if (current < spans.size()) at = spans[current];
  }
  r.error_from = at.from;
  r.error_to = at.to;
}

void fail(Compilation& r, const char* program, const std::string& message, long line) {
  r.error_program = program;
  r.error_message = message;
  r.error_line = static_cast<int>(line);
  r.procedures.clear();
  locate_error(r);
}

}  // namespace

Compilation compile(const std::string& source, compiler::CompileObserver* also) {
  Compilation r;
  r.source = source;
  TemporaryFolder folder("pl0x");
  const Chain chain(folder.path(), "program");
  write_file(chain.file("pl0"), source);

  const InProcessRun tokenised = chain.tokenise(chain.file("pl0"));
  r.tokens = read_file(chain.file("tok"));
  if (tokenised.status != 0) {
    fail(r, "Tokeniser", tokenised.err, tokeniser_message_line(tokenised.err));
    return r;
  }

  Watcher watcher(r, also);
  InProcessRun compiled;
  {
    compiler::Observing observing(&watcher);
    compiled = chain.compile();
  }
  r.code = read_file(chain.file("code"));
  r.symbols = read_file(chain.file("sym"));
  if (compiled.status != 0) {
    fail(r, "Compiler", compiled.err, compiler_message_line(compiled.err));
    return r;
  }

  chain.translate();
  r.opcodes = read_file(chain.file("ops"));
  std::vector<Instruction> program;
  {
    std::FILE* file = std::fopen(chain.file("code").c_str(), "r");
    if (file == nullptr) throw std::runtime_error("cannot read the code file");
    load_code(file, program);
    std::fclose(file);
  }
  for (std::size_t a = 0; a < program.size(); ++a) {
    r.instructions.push_back({program[a], a < watcher.lines.size() ? watcher.lines[a] : 0, {}});
  }
  split_operations(r);
  return r;
}

}  // namespace pl0
