#include "reduce.h"

#include <chrono>
#include <cstdint>
#include <set>
#include <sstream>
#include <vector>

#include "source_spans.h"

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

// ---- PL/0 ----

struct Token {
  std::size_t from, to;
  std::string word;  // lower case
};

std::vector<Token> tokens_of(const std::string& text) {
  std::vector<Token> out;
  for (const explorer::Span& s : explorer::symbol_spans(text)) {
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

std::vector<Edit> structure(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::vector<Edit> edits;
  // Everything but the symbols: comments, and all after the period.
  std::string bare;
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (k > 0) bare += text.find('\n', t[k - 1].to) < t[k].from ? "\n" : " ";
    bare += text.substr(t[k].from, t[k].to - t[k].from);
  }
  if (!t.empty()) edits.push_back({{0, text.size(), bare}});
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
      // Its statements one by one, each with the ";" after it.
      for (std::size_t s = k + 1; s < e;) {
        const std::size_t last = statement_end(t, s);
        const std::size_t with_semicolon = last + 1 < e && t[last + 1].word == ";" ? last + 1 : last;
        if (last >= s) edits.push_back(cut(t, s, with_semicolon));
        s = with_semicolon + 1;
      }
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
  return edits;
}

std::vector<Edit> symbols(const std::string& text) {
  const std::vector<Token> t = tokens_of(text);
  std::vector<Edit> edits;
  edits.reserve(t.size());
  for (const Token& token : t) edits.push_back({{token.from, token.to, ""}});
  return edits;
}

// Shorter numbers, names and strings, and fewer lines.
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
    } else if (c >= 'a' && c <= 'z' && spelled.size() > 1) {
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

std::vector<Edit> entries(const std::string& text) {
  std::vector<Edit> edits;
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
    edits.push_back({{start, k, ""}});
  }
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    edits.push_back({{at, at + 1, " "}});
  }
  return edits;
}

struct Row {
  std::int64_t opcode, level, operand;
  std::string rest;  // the words after the Operand, with the line end
};

// A code file as its header, its instruction rows and whatever follows the last row that reads.
struct CodeText {
  std::string header, tail;
  std::vector<Row> rows;
};

CodeText parse_code(const std::string& text) {
  CodeText c;
  std::size_t at = text.find('\n');
  c.header = text.substr(0, at == std::string::npos ? text.size() : at + 1);
  at = c.header.size();
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
    std::istringstream line(text.substr(at, stop - at));
    std::string address;
    Row row;
    if (!(line >> address >> row.opcode >> row.level >> row.operand)) break;
    std::getline(line, row.rest, '\0');
    c.rows.push_back(row);
    at = stop;
  }
  c.tail = text.substr(at);
  return c;
}

std::string code_text(const CodeText& c) {
  std::string text = c.header;
  for (std::size_t k = 0; k < c.rows.size(); ++k) {
    const Row& r = c.rows[k];
    text += std::to_string(k) + " " + std::to_string(r.opcode) + " " + std::to_string(r.level) + " " +
            std::to_string(r.operand) + r.rest;
  }
  return text + c.tail;
}

// Instructions dropped (with the jumps past them moved back, so that control flows as before),
// and Levels and Operands made plain.
std::vector<Edit> instructions(const std::string& text) {
  const CodeText code = parse_code(text);
  std::vector<Edit> edits;
  const auto whole = [&](const CodeText& c) { return Edit{{0, text.size(), code_text(c)}}; };
  for (std::size_t k = 0; k < code.rows.size(); ++k) {
    CodeText fewer = code;
    fewer.rows.erase(fewer.rows.begin() + static_cast<std::ptrdiff_t>(k));
    for (Row& r : fewer.rows) {
      const bool jump = r.opcode == 3 || r.opcode == 5 || r.opcode == 6;  // CAL, JMP, JPC
      if (jump && r.operand > static_cast<std::int64_t>(k)) --r.operand;
    }
    edits.push_back(whole(fewer));
  }
  for (std::size_t k = 0; k < code.rows.size(); ++k) {
    for (const auto& [level, operand] : {std::pair<std::int64_t, std::int64_t>{0, code.rows[k].operand},
                                         {code.rows[k].level, 0}, {code.rows[k].level, 1}}) {
      CodeText plainer = code;
      plainer.rows[k].level = level;
      plainer.rows[k].operand = operand;
      edits.push_back(whole(plainer));
    }
  }
  if (!code.tail.empty()) edits.push_back({{text.size() - code.tail.size(), text.size(), ""}});
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

Reduction reduce(const std::string& input, Shape shape, const Test& test, double seconds) {
  using Passes = std::vector<std::vector<Edit> (*)(const std::string&)>;
  const Passes passes = shape == Shape::pl0      ? Passes{structure, symbols, spellings, bytes}
                        : shape == Shape::tokens ? Passes{entries, bytes}
                        : shape == Shape::code   ? Passes{instructions, bytes}
                                                 : Passes{bytes};
  const auto start = std::chrono::steady_clock::now();
  const auto out_of_time = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds;
  };
  Reduction r{input, 0, false};
  std::set<std::string> tried{input};
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto pass : passes) {
      for (std::size_t k = 0;;) {
        const std::vector<Edit> edits = pass(r.result);
        if (k >= edits.size()) break;
        const std::string candidate = applied(r.result, edits[k]);
        if (candidate.size() <= r.result.size() && tried.insert(candidate).second) {
          if (out_of_time()) return r;
          ++r.tests;
          if (test(candidate)) {
            r.result = candidate;
            changed = true;
            continue;  // the edits are made afresh; the next one stands at k
          }
        }
        ++k;
      }
    }
  }
  r.complete = true;
  return r;
}

}  // namespace pl0::conform
