// What the student must do: the Tokeniser's or the Compiler's first error, its message exact as
// the first line, placed where the fix goes with a second line in plain words; the warnings,
// which only the server gives; and the quick fixes, each one edit that mends the error shown.
#include <algorithm>

#include "answers.h"
#include "chain.h"
#include "edit_distance.h"
#include "vocabulary.h"
#include "watch.h"

namespace pl0::lsp {

namespace {

// Why the Tokeniser met the end of the text: all four causes share one message.
enum class EndCause { none, comment, string, empty, period };

bool ran_out(const Analysis& a) {
  return a.compiled.error_program == "Tokeniser" &&
         a.compiled.error_message.compare(0, 14, "Unexpected end") == 0;
}

const Word* last_word(const Analysis& a) {
  for (auto w = a.words.list.rbegin(); w != a.words.list.rend(); ++w) {
    if (w->symbol != comment_sym) return &*w;
  }
  return nullptr;
}

EndCause end_cause(const Analysis& a) {
  if (!ran_out(a)) return EndCause::none;
  if (a.words.open == Words::comment) return EndCause::comment;
  if (a.words.open == Words::string) return EndCause::string;
  return last_word(a) == nullptr ? EndCause::empty : EndCause::period;
}

long error_number(const Analysis& a) {
  return a.compiled.error_program == "Compiler" ? compiler_message_number(a.compiled.error_message) : 0;
}

const Mend* mend_at(const Analysis& a, Mend::Kind kind) {
  for (const Mend& m : a.mends) {
    if (m.kind == kind && m.at.from == a.compiled.error_from) return &m;
  }
  return nullptr;
}

// A missing ";", between two statements or after a declaration, where the Compiler stopped.
const Mend* missing_semicolon(const Analysis& a) {
  switch (error_number(a)) {
    case compiler::semicolon_expected:
      if (const Mend* m = mend_at(a, Mend::ending)) return m;
      return mend_at(a, Mend::semicolon);
    case compiler::end_expected: return mend_at(a, Mend::semicolon);
    case compiler::comma_expected: return mend_at(a, Mend::ending);
    default: return nullptr;
  }
}

json related(const Text& text, const std::string& uri, const Span& at, const std::string& message) {
  return json::array({{{"location", {{"uri", uri}, {"range", range_json(text, at)}}}, {"message", message}}});
}

json error_diagnostic(const Text& text, const Analysis& a, const std::string& uri) {
  const Compilation& r = a.compiled;
  std::string message = r.error_message;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  Span at{r.error_from, r.error_to, 0};
  const long end = static_cast<long>(text.bytes().size());
  const Span text_end{end, end, 0};
  json also;
  switch (end_cause(a)) {
    case EndCause::comment: {
      const bool brace = text.bytes()[static_cast<std::size_t>(a.words.open_at)] == '{';
      at = {a.words.open_at, a.words.open_at + (brace ? 1 : 2), 0};
      message += "\nthe comment opened here is never closed";
      also = related(text, uri, text_end, "the text ends inside the comment");
      break;
    }
    case EndCause::string:
      at = {a.words.open_at, a.words.open_at + 1, 0};
      message += "\nthe string opened here is never closed";
      also = related(text, uri, text_end, "the text ends inside the string");
      break;
    case EndCause::empty:
      at = {0, 0, 0};
      message += a.words.list.empty() ? "\nthe file is empty: the smallest program is `begin end.`"
                                      : "\nthe file holds only comments: the smallest program is `begin end.`";
      break;
    case EndCause::period:
      at = *last_word(a);
      message += "\nthe program must end with a period";
      also = related(text, uri, {at.to, at.to, 0}, "the period goes here");
      break;
    case EndCause::none:
      if (const Mend* m = missing_semicolon(a)) {
        message += m->kind == Mend::semicolon ? "\na ';' must separate two statements" : "\na ';' must end the declaration";
        also = related(text, uri, {m->insert_at, m->insert_at, 0}, "the ';' goes here");
      }
      break;
  }
  json d = {{"range", range_json(text, at)}, {"severity", 1}, {"source", r.error_program}, {"message", message}};
  if (r.error_program == "Compiler") d["code"] = error_number(a);
  if (!also.is_null()) d["relatedInformation"] = also;
  return d;
}

json fix(const std::string& title, const json& diagnostic, const std::string& uri, const json& edits) {
  return {{"title", title}, {"kind", "quickfix"}, {"diagnostics", json::array({diagnostic})},
          {"edit", {{"changes", {{uri, edits}}}}}};
}

json edit(const Text& text, const Span& at, const std::string& new_text) {
  return json::array({{{"range", range_json(text, at)}, {"newText", new_text}}});
}

// An undeclared name: the names in view that are a slip away from it, and its declaration as
// a variable in the innermost block around it.
void undeclared_fixes(const Text& text, const Analysis& a, const json& diagnostic, const std::string& uri, json& out) {
  const long from = a.compiled.error_from;
  const auto use = std::find_if(a.uses.begin(), a.uses.end(), [&](const Use& u) { return u.at.from == from; });
  if (use == a.uses.end() || use->declaration >= 0) return;
  const std::string name = spelling(text.bytes(), use->at);
  const std::size_t slips = name.size() <= 3 ? 1 : 2;
  std::vector<std::pair<std::size_t, std::string>> near;
  for (const Declaration& d : a.declarations) {
    if (d.at.to > from || from > d.visible_to || (d.kind == compiler::procedure_kind) != use->called) continue;
    if (use->writes && d.kind == compiler::constant_kind) continue;  // a constant cannot be assigned
    const std::size_t distance = edit_distance(name, d.name);
    if (distance <= slips) near.emplace_back(distance, d.name);
  }
  std::sort(near.begin(), near.end());
  near.erase(std::unique(near.begin(), near.end()), near.end());
  for (const auto& [distance, candidate] : near) {
    out.push_back(fix("Did you mean `" + candidate + "`?", diagnostic, uri, edit(text, use->at, candidate)));
  }
  if (use->called) return;
  const Block* inner = nullptr;
  for (const Block& b : a.blocks) {
    if (b.extent.from <= from && from <= b.extent.to && (inner == nullptr || b.extent.from >= inner->extent.from)) inner = &b;
  }
  if (inner == nullptr) return;
  const std::string& s = text.bytes();
  const long line_start = static_cast<long>(s.rfind('\n', static_cast<std::size_t>(std::max(inner->first_word - 1, 0L))) + 1);
  const long start = inner->first_word > 0 && line_start <= inner->first_word ? line_start : 0;
  const std::string indent = s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(inner->first_word - start));
  const bool alone = indent.find_first_not_of(" \t") == std::string::npos;
  const std::string where = inner->owner < 0 ? "the main block" : "procedure `" + a.declarations[static_cast<std::size_t>(inner->owner)].name + "`";
  out.push_back(fix("Declare `" + name + "` as a variable of " + where, diagnostic, uri,
                    edit(text, {inner->first_word, inner->first_word, 0},
                         "var " + name + ";" + (alone ? "\n" + indent : " "))));
}

}  // namespace

json diagnostics(const Text& text, const Analysis& a, const std::string& uri) {
  json list = json::array();
  if (!a.compiled.error_program.empty()) list.push_back(error_diagnostic(text, a, uri));
  for (const Warning& w : a.warnings) {
    json d = {{"range", range_json(text, w.at)}, {"severity", 2}, {"source", "pl0 lsp"},
              {"code", w.code}, {"message", w.message}};
    if (w.unnecessary) d["tags"] = json::array({1});
    list.push_back(d);
  }
  return list;
}

json code_actions(const Text& text, const Analysis& a, const Span& range, const std::string& uri) {
  json out = json::array();
  if (a.compiled.error_program.empty()) return out;
  const json diagnostic = error_diagnostic(text, a, uri);
  const long from = text.offset({diagnostic["range"]["start"]["line"], diagnostic["range"]["start"]["character"]});
  const long to = text.offset({diagnostic["range"]["end"]["line"], diagnostic["range"]["end"]["character"]});
  if (range.to < from || range.from > to) return out;
  if (end_cause(a) == EndCause::period) {
    const long end = last_word(a)->to;
    out.push_back(fix("Add the final period", diagnostic, uri, edit(text, {end, end, 0}, ".")));
  }
  switch (error_number(a)) {
    case compiler::undeclared_identifier: undeclared_fixes(text, a, diagnostic, uri, out); break;
    case compiler::semicolon_expected:
    case compiler::end_expected:
    case compiler::comma_expected:
      if (const Mend* m = missing_semicolon(a)) {
        out.push_back(fix("Insert the missing ';'", diagnostic, uri, edit(text, {m->insert_at, m->insert_at, 0}, ";")));
      }
      break;
    case compiler::becomes_expected:
      if (const Mend* m = mend_at(a, Mend::becomes)) {
        out.push_back(fix("Write `:=` for `=`", diagnostic, uri, edit(text, m->at, ":=")));
      }
      break;
    default: break;
  }
  return out;
}

}  // namespace pl0::lsp
