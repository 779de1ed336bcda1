#include "reduce.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "ordinary.h"
#include "source_spans.h"
#include "vocabulary.h"

namespace pl0::conform {

namespace {

// One candidate: these pieces of the text replaced, none overlapping, in ascending order.
struct Piece {
  std::size_t from, to;
  std::string with;
};
using Edit = std::vector<Piece>;

std::string applied(const std::string& text, const Edit& edit) {
  std::string out;
  std::size_t at = 0;
  for (const Piece& p : edit) {
    out.append(text, at, p.from - at);
    out += p.with;
    at = p.to;
  }
  out.append(text, at, std::string::npos);
  return out;
}

// How far a text is from plain, for rewrites that keep its length: a capital, a line feed or a
// digit other than 0 and 1 counts 2, a small letter or a 1 counts 1. A kept candidate is
// shorter, or as long and plainer, so every cut-down comes to an end: rewrites that keep the
// length went round before (`x := 1` to `x := 0` and back), trying each of the 2^n settings
// of a program's n numbers.
std::size_t roughness(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text) {
    if ((c >= 'A' && c <= 'Z') || c == '\n' || (c >= '2' && c <= '9')) {
      n += 2;
    } else if ((c >= 'a' && c <= 'z') || c == '1') {
      n += 1;
    }
  }
  return n;
}

// ---- PL/0 ----

struct Token {
  std::size_t from, to;
  std::string word;  // lower case
};

std::vector<Token> tokens_of(const std::string& text) {
  std::vector<Token> out;
  for (const tokeniser::Span& s : tokeniser::symbol_spans(text)) {
    Token t{static_cast<std::size_t>(s.from), static_cast<std::size_t>(s.to), text.substr(static_cast<std::size_t>(s.from), static_cast<std::size_t>(s.to - s.from))};
    for (char& c : t.word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    out.push_back(t);
  }
  return out;
}

bool opens(const std::string& w) { return w == "begin" || w == "(" || w == "["; }
bool closes(const std::string& w) { return w == "end" || w == ")" || w == "]"; }

// The token that closes the one at `k`, or the last token.
std::size_t matching(const std::vector<Token>& t, std::size_t k) {
  int depth = 0;
  for (std::size_t j = k; j < t.size(); ++j) {
    if (opens(t[j].word)) ++depth;
    if (closes(t[j].word) && --depth == 0) return j;
  }
  return t.size() - 1;
}

// Where the statement starting at `k` ends: the token before the next ";", "end", "else" or
// "." at its own depth.
std::size_t statement_end(const std::vector<Token>& t, std::size_t k) {
  int depth = 0;
  for (std::size_t j = k; j < t.size(); ++j) {
    if (opens(t[j].word)) ++depth;
    if (closes(t[j].word)) {
      if (depth == 0) return j - 1;
      --depth;
    }
    if (depth == 0 && j > k && (t[j].word == ";" || t[j].word == "else" || t[j].word == ".")) return j - 1;
  }
  return t.size() - 1;
}

Edit cut(const std::vector<Token>& t, std::size_t first, std::size_t last, const std::string& with = "") {
  return {{t[first].from, t[last].to, with}};
}

// The statements between the begin at `k` and its end at `e`, each as the token it starts at
// (its ";" for an empty one) and the one after its last.
std::vector<std::pair<std::size_t, std::size_t>> statement_list(const std::vector<Token>& t, std::size_t k, std::size_t e) {
  std::vector<std::pair<std::size_t, std::size_t>> list;
  std::size_t first = k + 1;
  int depth = 0;
  for (std::size_t j = k + 1; j <= e; ++j) {
    if (j == e || (depth == 0 && t[j].word == ";")) {
      list.emplace_back(first, j);
      first = j + 1;
      continue;
    }
    if (opens(t[j].word)) ++depth;
    if (closes(t[j].word)) --depth;
  }
  return list;
}

// Runs of a statement list dropped, halves first, then quarters, down to single statements,
// each with the ";" that separated it.
void statement_runs(const std::vector<Token>& t, std::size_t k, std::size_t e, std::vector<Edit>& edits) {
  const auto list = statement_list(t, k, e);
  const std::size_t n = list.size();
  for (std::size_t size = std::max<std::size_t>(1, n / 2);; size /= 2) {
    for (std::size_t i = 0; i < n; i += size) {
      const std::size_t j = std::min(n, i + size) - 1;
      std::size_t first = list[i].first, after = list[j].second;  // tokens [first, after)
      if (j + 1 < n) {
        after = list[j + 1].first;  // with the ";" after the run
      } else if (i > 0) {
        first = list[i - 1].second;  // with the ";" before it
      }
      if (after > first) edits.push_back(cut(t, first, after - 1));
    }
    if (size == 1) break;
  }
}

std::vector<Edit> structure(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::vector<Edit> edits;
  for (std::size_t k = 0; k < t.size(); ++k) {
    const std::string& w = t[k].word;
    if (w == "procedure" || w == "const" || w == "var" || w == "int") {
      // A declaration ends at one of the next ";" at depth 0: try the first few.
      int depth = 0, tried = 0;
      for (std::size_t j = k + 1; j < t.size() && tried < (w == "procedure" ? 6 : 1); ++j) {
        if (opens(t[j].word)) ++depth;
        if (closes(t[j].word)) --depth;
        if (depth == 0 && t[j].word == ";") {
          edits.push_back(cut(t, k, j));
          ++tried;
        }
      }
    }
    if (w == "begin") {
      const std::size_t e = matching(t, k);
      edits.push_back(cut(t, k, e));
      edits.push_back({{t[k].from, t[k].to, ""}, {t[e].from, t[e].to, ""}});
      statement_runs(t, k, e, edits);
    }
    if (w == "if" || w == "while") {  // the statement without its head
      const std::string head_end = w == "if" ? "then" : "do";
      for (std::size_t j = k + 1; j < t.size(); ++j) {
        if (t[j].word == head_end) {
          edits.push_back(cut(t, k, j));
          break;
        }
      }
    }
    if (w == "else") edits.push_back(cut(t, k, statement_end(t, k + 1)));
    if (w == "(") edits.push_back(cut(t, k, matching(t, k), "1"));
    if ((w == ":=" || w == "write" || w == "!" || w == "putc") && k + 1 < t.size()) {
      edits.push_back(cut(t, k + 1, statement_end(t, k + 1), "0"));
    }
  }
  // The biggest cuts first: one kept early saves trying every smaller one inside it.
  const auto removed = [](const Edit& e) {
    std::size_t n = 0;
    for (const Piece& p : e) n += p.to - p.from - std::min(p.to - p.from, p.with.size());
    return n;
  };
  std::stable_sort(edits.begin(), edits.end(), [&](const Edit& a, const Edit& b) { return removed(a) > removed(b); });
  // Everything but the symbols before all: comments, and all after the period.
  std::string bare;
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (k > 0) bare += text.find('\n', t[k - 1].to) < t[k].from ? "\n" : " ";
    bare += text.substr(t[k].from, t[k].to - t[k].from);
  }
  if (!t.empty()) edits.insert(edits.begin(), Edit{{0, text.size(), bare}});
  return edits;
}

// The end of a program dropped, up to its period, half its symbols first, then a quarter, ...:
// the Compiler stops at its first error, so in a program with one all after it is dead weight.
std::vector<Edit> tails(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::size_t n = t.size();
  if (n > 0 && t.back().word == ".") --n;
  std::vector<Edit> edits;
  for (std::size_t drop = n / 2; drop >= 1; drop /= 2) {
    edits.push_back({{t[n - drop].from, n < t.size() ? t[n].from : text.size(), ""}});
  }
  return edits;
}

// Runs of up to four symbols dropped, longest first: with every factor and condition kept,
// `+ x`, `x [ 2 ]` or `, b` go only together.
std::vector<Edit> symbol_runs(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::vector<Edit> edits;
  for (std::size_t length = 4; length >= 1; --length) {
    for (std::size_t k = 0; k + length <= t.size(); ++k) edits.push_back(cut(t, k, k + length - 1));
  }
  return edits;
}

std::vector<Edit> symbols(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::vector<Edit> edits;
  edits.reserve(t.size());
  for (const Token& token : t) edits.push_back({{token.from, token.to, ""}});
  return edits;
}

const std::set<std::string> keywords{"begin", "end", "if", "then", "else", "while", "do", "call", "const",
                                     "var", "int", "procedure", "write", "putc", "read", "getc", "odd", "mod"};

// Shorter numbers, names and strings, keywords in lower case, and fewer lines.
std::vector<Edit> spellings(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::vector<Edit> edits;
  std::set<std::string> names;
  for (const Token& token : t) {
    const char c = token.word[0];
    if (c >= 'a' && c <= 'z') names.insert(text.substr(token.from, token.to - token.from));
  }
  for (const Token& token : t) {
    const std::string spelled = text.substr(token.from, token.to - token.from);
    const char c = token.word[0];
    if (c >= '0' && c <= '9') {
      for (const char* shorter : {"0", "1"}) {
        if (spelled != shorter) edits.push_back({{token.from, token.to, shorter}});
      }
      if (spelled.size() > 1) edits.push_back({{token.from, token.to, spelled.substr(1)}});
    } else if ((c == '\'' || c == '"') && spelled.size() > 2) {
      edits.push_back({{token.from + 1, token.from + 2, ""}});
    } else if (spelled != token.word && token.word.size() > 1 && keywords.count(token.word)) {
      edits.push_back({{token.from, token.to, token.word}});  // a keyword in lower case
    } else if (c >= 'a' && c <= 'z' && spelled.size() > 1 && !keywords.count(token.word)) {
      // Every use of the name at once, renamed to one letter no name has.
      for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::string one(1, letter);
        if (names.count(one)) continue;
        Edit rename;
        for (const Token& other : t) {
          if (text.compare(other.from, other.to - other.from, spelled) == 0) rename.push_back({other.from, other.to, one});
        }
        edits.push_back(rename);
        break;
      }
    }
  }
  for (std::size_t k = 1; k < t.size(); ++k) {  // two lines into one
    const std::size_t line = text.find('\n', t[k - 1].to);
    if (line < t[k].from) edits.push_back({{t[k - 1].to, t[k].from, " "}});
  }
  return edits;
}

// ---- token files, code files, text ----

// Runs of `spans` (each [from, to) in the text) dropped: halves first, down to single ones.
void runs_dropped(const std::vector<std::pair<std::size_t, std::size_t>>& spans, std::vector<Edit>& edits) {
  const std::size_t n = spans.size();
  for (std::size_t size = std::max<std::size_t>(1, n / 2); n > 0; size /= 2) {
    for (std::size_t k = 0; k < n; k += size) edits.push_back({{spans[k].first, spans[std::min(n, k + size) - 1].second, ""}});
    if (size == 1) break;
  }
}

// A token file's entries (a symbol with its spelling and the blank after it) in runs, halves
// first: a Compiler stops at its first error, and all after it can go at once.
std::vector<Edit> entries(const std::string& text) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t k = 0;
  while (k < text.size()) {
    while (k < text.size() && (text[k] == ' ' || text[k] == '\n')) ++k;
    if (k >= text.size()) break;
    const std::size_t start = k;
    while (k < text.size() && text[k] != ' ' && text[k] != '\n') ++k;
    const std::string word = text.substr(start, k - start);
    if ((word == "1" || word == "2" || word == "3") && k < text.size()) {  // its spelling too
      ++k;
      while (k < text.size() && text[k] != ' ' && text[k] != '\n') ++k;
    }
    if (k < text.size()) ++k;  // with the blank after it
    spans.emplace_back(start, k);
  }
  std::vector<Edit> edits;
  runs_dropped(spans, edits);
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    edits.push_back({{at, at + 1, " "}});
  }
  return edits;
}

// A code file as its header line, the instruction rows that read as rows (six words, the
// middle three numbers), and the rest, kept as it stands. Each row keeps its own text, so
// that an edit rewrites a number in its field and leaves every other byte in place.
struct Row {
  std::string line;  // with its line end
  std::size_t from[4] = {}, to[4] = {};  // the Address, OpCode, Level and Operand words
  std::int64_t value[4] = {};
  bool numbered = false;  // the Address is the row's position, and is kept so
};

struct CodeText {
  std::string header, tail;
  std::vector<Row> rows;
};

std::optional<Row> read_row(const std::string& line) {
  Row row{line};
  std::size_t at = 0, words = 0;
  for (; words < 6; ++words) {
    at = line.find_first_not_of(" \t\r\n", at);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t end = std::min(line.size(), line.find_first_of(" \t\r\n", at));
    if (words < 4) {
      row.from[words] = at;
      row.to[words] = end;
      const std::string word = line.substr(at, end - at);
      const std::size_t digits = word[0] == '-' ? 1 : 0;
      const bool number = word.size() > digits && word.size() < 12 + digits &&
                          word.find_first_not_of("0123456789", digits) == std::string::npos;
      if (words > 0 && !number) return std::nullopt;
      if (number) row.value[words] = std::stoll(word);
      row.numbered = words == 0 ? number : row.numbered;
    }
    at = end;
  }
  return row;
}

CodeText parse_code(const std::string& text) {
  CodeText c;
  std::size_t at = text.find('\n');
  c.header = text.substr(0, at == std::string::npos ? text.size() : at + 1);
  for (at = c.header.size(); at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
    std::optional<Row> row = read_row(text.substr(at, stop - at));
    if (!row) break;
    row->numbered = row->numbered && row->value[0] == static_cast<std::int64_t>(c.rows.size());
    c.rows.push_back(*row);
    at = stop;
  }
  c.tail = text.substr(at);
  return c;
}

// The row with its field `f` set to `value`, right-aligned where the old word and the blanks
// before it stood (one blank always kept between words).
Row with_field(const Row& row, int f, std::int64_t value) {
  const std::size_t start = f == 0 ? 0 : row.to[f - 1] + 1;
  const std::size_t width = row.to[f] - start;
  std::string number = std::to_string(value);
  if (number.size() < width) number.insert(0, width - number.size(), ' ');
  std::optional<Row> changed = read_row(row.line.substr(0, start) + number + row.line.substr(row.to[f]));
  if (!changed) return row;
  changed->numbered = row.numbered;
  return *changed;
}

std::string code_text(const CodeText& c) {
  std::string text = c.header;
  for (const Row& r : c.rows) text += r.line;
  return text + c.tail;
}

// The rows [first, last] dropped; the jumps past them moved back so that control flows as
// before, and the Addresses that counted rows counting them still.
CodeText without(const CodeText& code, std::size_t first, std::size_t last) {
  CodeText fewer = code;
  fewer.rows.erase(fewer.rows.begin() + static_cast<std::ptrdiff_t>(first), fewer.rows.begin() + static_cast<std::ptrdiff_t>(last + 1));
  const auto f = static_cast<std::int64_t>(first), l = static_cast<std::int64_t>(last);
  for (std::size_t k = 0; k < fewer.rows.size(); ++k) {
    Row& r = fewer.rows[k];
    const std::int64_t opcode = r.value[1], target = r.value[3];
    if ((opcode == CAL || opcode == JMP || opcode == JPC) && target > f) {
      r = with_field(r, 3, target > l ? target - (l - f + 1) : f);
    }
    if (r.numbered && r.value[0] != static_cast<std::int64_t>(k)) r = with_field(r, 0, static_cast<std::int64_t>(k));
  }
  return fewer;
}

// Runs of instructions dropped (halves first, down to single ones), then Levels and Operands
// made plain, then the lines after the last row that reads.
std::vector<Edit> instructions(const std::string& text) {
  const CodeText code = parse_code(text);
  std::vector<Edit> edits;
  const auto whole = [&](const CodeText& c) { return Edit{{0, text.size(), code_text(c)}}; };
  const std::size_t n = code.rows.size();
  for (std::size_t size = std::max<std::size_t>(1, n / 2); n > 0; size /= 2) {
    for (std::size_t k = 0; k < n; k += size) edits.push_back(whole(without(code, k, std::min(n, k + size) - 1)));
    if (size == 1) break;
  }
  for (std::size_t k = 0; k < n; ++k) {
    for (const auto& [field, value] : {std::pair<int, std::int64_t>{2, 0}, {3, 0}, {3, 1}}) {
      if (code.rows[k].value[field] == value) continue;
      CodeText plainer = code;
      plainer.rows[k] = with_field(code.rows[k], field, value);
      edits.push_back(whole(plainer));
    }
  }
  // The empty line that ends a code file stays: without it the case reads as cut short.
  for (std::size_t at = text.size() - code.tail.size(); code.tail != "\n" && at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
    edits.push_back({{at, stop, ""}});
    at = stop;
  }
  return edits;
}

std::vector<Edit> bytes(const std::string& text) {
  std::vector<Edit> edits;
  for (std::size_t size = text.size() / 2; size >= 1; size /= 2) {
    for (std::size_t at = 0; at < text.size(); at += size) edits.push_back({{at, std::min(text.size(), at + size), ""}});
  }
  return edits;
}

}  // namespace

Shape shape_of(const std::string& file_name) {
  const auto ends = [&](const std::string& tail) {
    return file_name.size() >= tail.size() && file_name.compare(file_name.size() - tail.size(), tail.size(), tail) == 0;
  };
  if (ends(".pl0")) return Shape::pl0;
  if (ends(".tok")) return Shape::tokens;
  if (ends(".code")) return Shape::code;
  return Shape::text;
}

Reduction reduce(const std::string& input, Shape shape, const Prepare& prepare, double seconds, int jobs) {
  using Passes = std::vector<std::vector<Edit> (*)(const std::string&)>;
  // An ordinary program is never cut into one that is not (ordinary.h).
  const bool keep_ordinary = shape == Shape::pl0 && ordinary(input);
  const bool rows = shape == Shape::code && !parse_code(input).rows.empty();
  const Passes passes = keep_ordinary            ? Passes{structure, symbol_runs, spellings}
                        : shape == Shape::pl0    ? Passes{tails, structure, symbols, spellings, bytes}
                        : shape == Shape::tokens ? Passes{entries, bytes}
                        : rows                   ? Passes{instructions}
                                                 : Passes{bytes};
  const auto start = std::chrono::steady_clock::now();
  const auto seconds_left = [&] {
    return seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  Reduction r{input, 0, false};
  std::set<std::string> tried{input};
  std::map<std::string, bool> fails;  // by key
  std::size_t rough = roughness(input);
  // The first of `batch` that still fails, its trials run side by side; nothing when none does.
  struct Candidate {
    std::size_t edit;
    std::string text;
    std::optional<Trial> trial;  // none: its key is known to fail
  };
  const auto first_failing = [&](std::vector<Candidate>& batch) -> const Candidate* {
    std::vector<char> outcome(batch.size(), 1);
    const double most = seconds_left();
    std::vector<std::thread> running;
    for (std::size_t k = 0; k < batch.size(); ++k) {
      if (!batch[k].trial) continue;
      ++r.tests;
      running.emplace_back([&, k] { outcome[k] = batch[k].trial->still_fails(most); });
    }
    for (std::thread& t : running) t.join();
    for (std::size_t k = 0; k < batch.size(); ++k) {
      if (batch[k].trial) fails[batch[k].trial->key] = outcome[k] != 0;
    }
    for (std::size_t k = 0; k < batch.size(); ++k) {
      if (outcome[k]) return &batch[k];
    }
    return nullptr;
  };
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto pass : passes) {
      std::vector<Edit> edits = pass(r.result);
      for (std::size_t k = 0; k < edits.size();) {
        std::vector<Candidate> batch;
        std::set<std::string> keys;
        std::size_t j = k;
        for (int to_run = 0; j < edits.size() && to_run < jobs;) {
          std::string text = applied(r.result, edits[j++]);
          if (text.size() > r.result.size() || (text.size() == r.result.size() && roughness(text) >= rough)) continue;
          if (!tried.insert(text).second) continue;
          if (keep_ordinary && !ordinary(text)) continue;
          std::optional<Trial> trial = prepare(text);
          if (!trial || !keys.insert(trial->key).second) continue;
          const auto known = fails.find(trial->key);
          if (known != fails.end() && !known->second) continue;
          if (known != fails.end()) {  // no need to run it, nor any after it
            batch.push_back({j - 1, std::move(text), std::nullopt});
            break;
          }
          batch.push_back({j - 1, std::move(text), std::move(trial)});
          ++to_run;
        }
        if (batch.empty()) break;
        if (seconds_left() <= 0) return r;
        if (const Candidate* kept = first_failing(batch)) {
          // Those after it were run only because they ran beside it: one at a time, they would
          // come up again (their outcome is remembered, so they cost no second run).
          for (const Candidate* later = kept + 1; later < batch.data() + batch.size(); ++later) tried.erase(later->text);
          r.result = kept->text;
          changed = true;
          rough = roughness(r.result);
          edits = pass(r.result);
          k = kept->edit;  // the edits are made afresh; the next one stands there
        } else {
          k = j;
        }
      }
    }
  }
  r.complete = true;
  // Laid out one statement a line, when the failure allows it and a reader gains by it.
  const std::optional<std::string> laid = shape == Shape::pl0 ? laid_out(r.result) : std::nullopt;
  if (laid && *laid != r.result && laid->size() <= input.size() && std::count(laid->begin(), laid->end(), '\n') <= 12 && seconds_left() > 0) {
    if (std::optional<Trial> trial = prepare(*laid)) {
      const auto known = fails.find(trial->key);
      const bool still = known != fails.end() ? known->second : (++r.tests, trial->still_fails(seconds_left()));
      if (still) r.result = *laid;
    }
  }
  return r;
}

Reduction reduce(const std::string& input, Shape shape, const Test& test, double seconds) {
  const Prepare itself = [&test](const std::string& candidate) {
    return std::optional<Trial>{Trial{candidate, [&test, candidate](double) { return test(candidate); }}};
  };
  return reduce(input, shape, itself, seconds, 1);
}

}  // namespace pl0::conform
