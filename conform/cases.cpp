// Making the cases: generated from the seed, in a fixed order, so that a seed gives the same
// cases on every machine; curated from the golden folders; a teacher's from their folders.
#include "cases.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "files.h"
#include "programs.h"

namespace pl0::conform {

namespace fs = std::filesystem;

namespace {


std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

bool selected(const Selection& s, Program p) {
  return std::find(s.programs.begin(), s.programs.end(), p) != s.programs.end();
}

struct Valid {
  Generated program;
  Compiled compiled;
};

// Programs that compile and end within a few thousand steps, for every program's cases.
std::vector<Valid> valid_programs(Random& random, int count) {
  std::vector<Valid> out;
  for (int tries = 0; static_cast<int>(out.size()) < count && tries < 100 * count; ++tries) {
    Generated g = valid_program(random);
    Compiled c = compile(g.source);
    if (c.compiled && ending(c.code, g.input) == Ending::finished) out.push_back({g, c});
  }
  return out;
}

// The Compiler's two refusals that the literal rules lack (errors 27 and 28) stay out.
bool clear_for_compiler(const Compiled& c) {
  return c.tokenised && (c.compiled || (c.error != 27 && c.error != 28));
}

Case make(Program p, const std::string& kind, int k, const std::string& group) {
  Case c;
  c.program = p;
  c.name = lower(program_name(p)) + "/" + kind + "/" + std::to_string(k);
  c.group = group;
  return c;
}

bool is_alphanumeric(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

std::vector<std::string> words_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// A string entry without a spelling word: "3" and two blanks.
bool empty_string_in(const std::string& tokens) {
  return tokens.rfind("3  ", 0) == 0 || tokens.find(" 3  ") != std::string::npos ||
         tokens.find("\n3  ") != std::string::npos;
}

// The reader's fixed sizes: lines of 254 characters, names of 15, numbers of 32 bits; and a
// string entry needs its spelling word (an empty string has none).
bool clear_for_reader(const std::string& tokens) {
  if (empty_string_in(tokens)) return false;
  std::istringstream in(tokens);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 254) return false;
    const std::vector<std::string> words = words_of(line);
    for (std::size_t k = 0; k < words.size(); ++k) {
      const std::string& w = words[k];
      if (w != "1" && w != "2" && w != "3") continue;
      if (k + 1 == words.size()) return w != "3";  // 1 and 2 without a spelling: error 1
      const std::string& spelling = words[++k];
      if (w == "1" && spelling.size() > 15) return false;
      if (w == "2" && (spelling.size() > 10 || std::stoll("0" + spelling.substr(0, 10)) > 2147483647)) return false;
    }
  }
  return true;
}

// A source is clear when no high byte follows a letter or digit (it may end a name or belong to
// it), it does not end in a colon (the message would show the end of the file), and no string
// is empty (the token file has no word for it).
bool clear_source(const std::string& source) {
  if (!source.empty() && source.back() == ':') return false;
  for (std::size_t k = 1; k < source.size(); ++k) {
    if (static_cast<unsigned char>(source[k]) >= 0x80 && is_alphanumeric(static_cast<unsigned char>(source[k - 1]))) return false;
  }
  const Outcome tokens = reference(Program::tokeniser, source, "", false);
  const auto file = tokens.files.find("prog.tok");
  return file == tokens.files.end() || !empty_string_in(file->second);
}

// The loading rule over the text, as "%s %d %d %d %s %s" reads it: the words read and ignored
// fit seven characters, every number fits 32 bits, and (for the Interpreter) at least one
// instruction loads, since a program of none is run in a way the rules leave open.
bool clear_code(const std::string& code, bool needs_instructions) {
  std::size_t at = 0;
  const auto blanks = [&] {
    while (at < code.size() && std::isspace(static_cast<unsigned char>(code[at]))) ++at;
  };
  const auto word = [&](bool& fits) {
    blanks();
    const std::size_t start = at;
    while (at < code.size() && !std::isspace(static_cast<unsigned char>(code[at]))) ++at;
    fits = fits && at - start <= 7;
    return at > start;
  };
  const auto number = [&](bool& fits) {
    blanks();
    std::size_t k = at;
    if (k < code.size() && (code[k] == '+' || code[k] == '-')) ++k;
    const std::size_t digits = k;
    while (k < code.size() && code[k] >= '0' && code[k] <= '9') ++k;
    if (k == digits) return false;
    const std::string text = code.substr(digits, k - digits);
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
    fits = fits && text.size() - first <= 10 &&
           std::stoll("0" + text.substr(first)) <= 2147483647LL + (code[at] == '-' ? 1 : 0);
    at = k;
    return true;
  };
  bool fits = true;
  for (int k = 0; k < 6; ++k) {
    if (!word(fits)) return fits && !needs_instructions;
  }
  int loaded = 0;
  while (word(fits) && number(fits) && number(fits) && number(fits) && word(fits) && word(fits)) ++loaded;
  return fits && (loaded > 0 || !needs_instructions);
}

// No GETC finds the end of the input before any character was read: it would push the
// character cell's first content, which the rules leave open. In the trace, the line after a
// GETC ends with the value it pushed; 0 is that first content unless the input holds a 0 byte.
bool clear_of_first_character(const std::string& code, const std::string& stdin_text) {
  if (stdin_text.find('\0') != std::string::npos) return true;
  const Outcome run = reference(Program::interpreter, code, stdin_text, true);
  const auto trace = run.files.find("prog.stk");
  if (trace == run.files.end()) return true;
  std::istringstream in(trace->second);
  bool after_getc = false;
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = words_of(line);
    if (after_getc && !words.empty() && words.back() == "0") return false;
    after_getc = words.size() > 3 && words[3] == "GETC";
  }
  return true;
}

}  // namespace

bool clear_of_open_places(Program program, const std::string& input, const std::string& stdin_text) {
  switch (program) {
    case Program::tokeniser: return clear_source(input);
    case Program::compiler: return clear_for_reader(input);
    case Program::interpreter: return clear_code(input, true) && clear_of_first_character(input, stdin_text);
    case Program::translator: return clear_code(input, false);
  }
  return true;
}

std::optional<Case> case_from_source(const Case& model, const std::string& source) {
  Case c = model;
  c.source = source;
  if (c.program == Program::tokeniser) {
    c.input = source;
    return c;
  }
  const Compiled compiled = compile(source);
  if (c.program == Program::compiler) {
    if (!clear_for_compiler(compiled)) return std::nullopt;
    c.input = compiled.tokens;
    return c;
  }
  if (!compiled.compiled) return std::nullopt;
  if (c.program == Program::interpreter && ending(compiled.code, c.stdin_text) != Ending::finished) {
    return std::nullopt;
  }
  c.input = compiled.code;
  return c;
}

std::vector<Case> generated_cases(const Selection& s) {
  Random random(s.seed);
  const std::vector<Valid> valid = valid_programs(random, s.count);
  std::vector<Case> cases;
  const int n = static_cast<int>(valid.size());
  for (Program p : programs) {
    // Every program's cases are drawn whether it is selected or not, so that a case's name
    // means the same case whichever programs a run tests.
    std::vector<Case> mine;
    for (int k = 0; k < n; ++k) {
      Case c = make(p, "valid", k, "valid programs");
      c.keep_lines = k % 2 == 0;
      c.stdin_text = valid[static_cast<std::size_t>(k)].program.input;
      auto made = case_from_source(c, valid[static_cast<std::size_t>(k)].program.source);
      if (made && clear_of_open_places(p, made->input, made->stdin_text)) mine.push_back(*made);
    }
    for (int k = 0; k < s.count && n > 0; ++k) {
      if (p == Program::interpreter || p == Program::translator) break;
      Case c = make(p, "compile-error", k, "programs with compile errors");
      c.keep_lines = k % 2 == 1;
      // Mutations until the program no longer compiles (most need one or two).
      std::string source = valid[static_cast<std::size_t>(k % n)].program.source;
      for (int m = 0; m < 6 && compile(source).compiled; ++m) source = mutated(source, random);
      auto made = case_from_source(c, source);
      if (made && clear_of_open_places(p, made->input, made->stdin_text)) mine.push_back(*made);
    }
    for (int k = 0, made = 0, faults = 0; made < s.count && k < 50 * s.count; ++k) {
      if (p == Program::tokeniser) {
        Case c = make(p, "bytes", k, "byte soup");
        c.input = byte_soup(random);
        c.keep_lines = k % 2 == 0;
        if (!clear_of_open_places(p, c.input)) continue;
        mine.push_back(c);
      } else if (p == Program::compiler) {
        Case c = make(p, "tokens", k, "token files");
        c.input = token_soup(random);
        const Outcome o = reference(p, c.input, "", false);
        if (o.err.rfind("Error 27 ", 0) == 0 || o.err.rfind("Error 28 ", 0) == 0) continue;
        if (!clear_of_open_places(p, c.input)) continue;
        mine.push_back(c);
      } else {
        Case c = make(p, "code", k, "code files");
        c.keep_lines = k % 2 == 0;
        const bool runnable = p == Program::interpreter;
        c.input = code_soup(random, runnable);
        if (runnable) {
          c.stdin_text = "12 -7 x\n3\n\xe9";
          const Ending e = ending(c.input, c.stdin_text);
          if (e == Ending::too_long) continue;
          if (e == Ending::fault) {  // where a literal machine may do anything
            if (faults++ >= s.count) continue;
            c.strict = true;
            c.group = "faults";
            c.name = "interpreter/fault/" + std::to_string(k);
            mine.push_back(c);
            continue;
          }
        }
        if (!clear_of_open_places(p, c.input, c.stdin_text)) continue;  // after `ending`: it runs
        mine.push_back(c);
      }
      ++made;
    }
    if (!selected(s, p)) continue;
    for (Case& c : mine) {
      if (!c.strict || s.strict) cases.push_back(std::move(c));
    }
  }
  return cases;
}

std::vector<Case> curated_cases(const fs::path& golden, const Selection& s) {
  std::vector<Case> cases;
  for (Program p : s.programs) {
    const fs::path group = golden / lower(program_name(p));
    std::error_code ec;
    if (!fs::is_directory(group, ec)) continue;
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(group)) {
      if (fs::exists(entry.path() / "cmd")) folders.push_back(entry.path());
    }
    std::sort(folders.begin(), folders.end());
    for (const fs::path& folder : folders) {
      Case c;
      c.program = p;
      c.name = "curated/" + group.filename().string() + "/" + folder.filename().string();
      c.group = "curated";
      c.folder = folder;
      if (fs::exists(folder / "open")) continue;  // any outcome there is right
      if (fs::exists(folder / "departs")) {
        c.strict = true;
        c.departs = read_file(folder / "departs");
        if (!s.strict) continue;
      }
      cases.push_back(c);
    }
  }
  return cases;
}

namespace {

// A teacher's expected files for `program`, if the case has them.
std::map<std::string, std::string> expected_of(const fs::path& folder, Program p, std::string& broken) {
  std::map<std::string, std::string> files;
  const fs::path dir = folder / "expected" / program_name(p);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = read_file(entry.path());
  }
  if (files.count("status")) {
    std::istringstream number(files["status"]);
    int status;
    if (!(number >> status)) broken = "expected/" + std::string(program_name(p)) + "/status is not a number";
  }
  return files;
}

}  // namespace

std::vector<Case> teacher_cases(const fs::path& root, const Selection& s) {
  std::vector<std::pair<fs::path, std::string>> folders;  // folder, visibility
  for (const char* visibility : {"visible", "hidden", "after_published"}) {
    const fs::path base = std::string(visibility) == "visible" ? root : root / visibility;
    std::error_code ec;
    if (!fs::is_directory(base, ec)) continue;
    for (const auto& entry : fs::directory_iterator(base)) {
      const std::string name = entry.path().filename().string();
      if (!entry.is_directory() || name == "hidden" || name == "after_published") continue;
      folders.emplace_back(entry.path(), visibility);
    }
  }
  std::sort(folders.begin(), folders.end());
  std::vector<Case> cases;
  for (const auto& [folder, visibility] : folders) {
    std::vector<std::string> inputs;
    for (const char* name : {"input.pl0", "input.tok", "input.code"}) {
      if (fs::exists(folder / name)) inputs.push_back(name);
    }
    Case model;
    model.name = "cases/" + fs::relative(folder, root).string();
    model.group = visibility == "visible" ? "your cases" : "your cases (" + visibility + ")";
    model.visibility = visibility;
    model.stdin_text = fs::exists(folder / "stdin") ? read_file(folder / "stdin") : "";
    if (inputs.size() != 1) {
      model.broken = "it needs exactly one of input.pl0, input.tok and input.code";
      cases.push_back(model);
      continue;
    }
    const std::string input = read_file(folder / inputs[0]);
    std::vector<Program> tested;
    if (inputs[0] == "input.pl0") tested.assign(std::begin(programs), std::end(programs));
    if (inputs[0] == "input.tok") tested = {Program::compiler};
    if (inputs[0] == "input.code") tested = {Program::interpreter, Program::translator};
    for (Program p : tested) {
      if (!selected(s, p)) continue;
      Case c = model;
      c.program = p;
      c.name += "/" + lower(program_name(p));
      c.keep_lines = true;
      c.expected = expected_of(folder, p, c.broken);
      if (inputs[0] == "input.pl0") {
        if (auto made = case_from_source(c, input)) {
          cases.push_back(*made);
        } else if (p == Program::compiler) {
          c.broken = "the source does not tokenise";
          cases.push_back(c);
        }  // a program that does not compile gives no cases for the stages after
        continue;
      }
      c.input = input;
      cases.push_back(c);
    }
  }
  return cases;
}

}  // namespace pl0::conform
