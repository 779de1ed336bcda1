// Generated PL/0 programs that end: every statement, operator and declaration form, nested and
// recursive procedures, arrays and strings, the four comment forms, keywords in any case and
// the shorthands. Every loop counts a variable of its own that nothing else assigns, and every
// recursion counts down a variable of its own, so each program stops; the caller still checks
// that it stops soon, since values are random.
#include "programs.h"

#include <algorithm>
#include <map>
#include <set>

namespace pl0::conform {

namespace {

struct Array {
  std::string name;
  int size;  // declared [size]: cells 0 .. size
};

struct Loop {
  std::string counter;
  int bound;  // the counter runs 0 .. bound - 1
};

class Writer {
 public:
  explicit Writer(Random& random) : r_(random) {}

  std::string program() {
    block(0);
    text_ += ".\n";
    return text_;
  }

 private:
  // Names the body of the block being written can use.
  struct Scope {
    std::vector<std::string> variables, constants;
    std::vector<Array> arrays;
    std::vector<std::string> procedures;  // complete ones only: never an enclosing block
    std::vector<std::string> counters;    // for loops, unused while empty of a running loop
  };

  std::string keyword(const std::string& word) {
    if (r_.chance(70)) return word;
    std::string spelled = word;
    for (char& c : spelled) {
      if (r_.chance(50)) c = static_cast<char>(c - 'a' + 'A');
    }
    return spelled;
  }

  std::string fresh(const char* stem) { return stem + std::to_string(++names_); }

  void line(const std::string& text) {
    text_ += std::string(static_cast<std::size_t>(2 * depth_), ' ') + text + "\n";
  }

  void comment() {
    static const std::vector<std::string> forms{"{ note }", "(* note *)", "/* note */", "// note"};
    if (r_.chance(8)) line(r_.pick(forms));
  }

  std::vector<std::string> all_variables() const {
    std::vector<std::string> out;
    for (const Scope& s : scopes_) {
      for (const std::string& v : s.variables) {
        if (!reserved_.count(v)) out.push_back(v);
      }
    }
    return out;
  }

  // block = declarations, then a statement; `level` 0 is the main block.
  void block(int level) {
    scopes_.emplace_back();
    Scope& scope = scopes_.back();  // only until the nested blocks: they may move it
    if (r_.chance(60)) {
      std::string list;
      for (int k = r_.between(1, 2); k > 0; --k) {
        const std::string name = fresh("c");
        list += (list.empty() ? "" : ", ") + name + " = " + (r_.chance(20) ? "-" : "") +
                std::to_string(r_.below(50));
        scopes_.back().constants.push_back(name);
      }
      line(keyword("const") + " " + list + ";");
    }
    std::string list;
    // Counters for the loops of this block and, in the main block, for the recursions: only
    // their own code assigns them.
    for (int k = 0; k < (level == 0 ? 4 : 2); ++k) {
      const std::string name = fresh(k < 2 ? "i" : "d");
      list += (list.empty() ? "" : ", ") + name;
      (k < 2 ? scope.counters : recursion_counters_).push_back(name);
      reserved_.insert(name);
      scope.variables.push_back(name);
    }
    for (int k = r_.between(1, 3); k > 0; --k) {
      // Now and then a name the enclosing block has too: the inner one hides it.
      const bool again = level > 0 && r_.chance(15) && !scopes_.front().variables.empty();
      const std::string name = again ? scopes_.front().variables.front() : fresh("v");
      list += (list.empty() ? "" : ", ") + name;
      scopes_.back().variables.push_back(name);
    }
    if (r_.chance(50)) {
      const Array a{fresh("a"), r_.between(2, 6)};
      list += ", " + a.name + "[" + std::to_string(a.size) + "]";
      scopes_.back().arrays.push_back(a);
    }
    line(keyword(r_.chance(20) ? "int" : "var") + " " + list + ";");
    for (int k = level == 0 ? r_.between(1, 3) : level == 1 ? r_.below(3) : 0; k > 0; --k) procedure(level);
    comment();
    if (r_.chance(85)) {
      compound(3);
    } else {
      statement(2);
    }
    scopes_.pop_back();
  }

  void procedure(int level) {
    const std::string name = fresh("p");
    std::string counter;
    if (r_.chance(40) && !recursion_counters_.empty()) {
      counter = recursion_counters_.back();
      recursion_counters_.pop_back();
      recursion_[name] = counter;
    }
    line(keyword("procedure") + " " + name + ";");
    ++depth_;
    const std::string outer = self_;
    self_ = counter.empty() ? "" : name;
    block(level + 1);
    self_ = outer;
    --depth_;
    text_.insert(text_.size() - 1, ";");
    scopes_.back().procedures.push_back(name);
  }

  void statement(int budget) {
    comment();
    const int kind = budget <= 0 ? r_.below(4) : r_.below(12);
    switch (kind) {
      case 0: assignment(); break;
      case 1: output(); break;
      case 2: input(); break;
      case 3: assignment(); break;
      case 4: compound(budget); break;
      case 5: conditional(budget); break;
      case 6: loop(budget); break;
      case 7:
      case 9: call(); break;
      case 8: string_store(); break;
      default: compound(budget); break;
    }
  }

  void compound(int budget) {
    line(keyword("begin"));
    ++depth_;
    const int count = r_.between(1, budget >= 3 ? 6 : 3);
    for (int k = 0; k < count; ++k) {
      statement(budget - 1);
      if (k + 1 < count || r_.chance(15)) text_.insert(text_.size() - 1, ";");  // ";" before end: an empty statement
    }
    --depth_;
    line(keyword("end"));
  }

  void conditional(int budget) {
    line(keyword("if") + " " + condition() + " " + keyword("then"));
    ++depth_;
    statement(budget - 1);
    --depth_;
    if (r_.chance(50)) {
      line(keyword("else"));
      ++depth_;
      statement(budget - 1);
      --depth_;
    }
  }

  void loop(int budget) {
    std::vector<std::string>& counters = scopes_.back().counters;
    if (counters.empty()) {
      assignment();
      return;
    }
    const Loop l{counters.back(), r_.between(1, 4)};
    counters.pop_back();
    line(l.counter + " := 0;");
    line(keyword("while") + " " + l.counter + " < " + std::to_string(l.bound) + " " + keyword("do"));
    loops_.push_back(l);
    line(keyword("begin"));
    ++depth_;
    statement(budget - 1);
    text_.insert(text_.size() - 1, ";");
    line(l.counter + " := " + l.counter + " + 1");
    --depth_;
    line(keyword("end"));
    loops_.pop_back();
    counters.push_back(l.counter);
  }

  void assignment() {
    const std::vector<std::string> variables = all_variables();
    if (!arrays().empty() && r_.chance(30)) {
      const Array a = r_.pick(arrays());
      line(a.name + "[" + index(a) + "] := " + expression(2));
    } else if (!variables.empty()) {
      line(r_.pick(variables) + " := " + expression(2) + (r_.chance(3) ? " 7" : ""));
    } else {
      output();
    }
  }

  void string_store() {
    if (arrays().empty()) {
      assignment();
      return;
    }
    const Array a = r_.pick(arrays());
    static const std::string letters = "abcXYZ09_ ";
    std::string text;
    for (int k = 1 + r_.below(a.size); k > 0; --k) text += letters[static_cast<std::size_t>(r_.below(10))];
    const char quote = r_.chance(50) ? '\'' : '"';
    line(a.name + " := " + quote + text + quote);
  }

  void output() {
    if (r_.chance(30)) {
      line(keyword("putc") + " " + std::to_string(r_.chance(30) ? 10 : r_.between(32, 126)));
    } else {
      line((r_.chance(25) ? "!" : keyword("write") + " ") + expression(2));
    }
  }

  void input() {
    const std::vector<std::string> variables = all_variables();
    if (variables.empty()) {
      output();
      return;
    }
    if (r_.chance(30)) {
      line(keyword("getc") + " " + r_.pick(variables));
    } else {
      line((r_.chance(25) ? "?" : keyword("read") + " ") + r_.pick(variables));
    }
  }

  void call() {
    std::vector<std::string> callable;
    for (const Scope& s : scopes_) callable.insert(callable.end(), s.procedures.begin(), s.procedures.end());
    if (!self_.empty() && r_.chance(60)) {
      const std::string& counter = recursion_[self_];
      line(keyword("if") + " " + counter + " > 0 " + keyword("then"));
      ++depth_;
      line(keyword("begin") + " " + counter + " := " + counter + " - 1; " + keyword("call") + " " +
           self_ + " " + keyword("end"));
      --depth_;
      return;
    }
    if (callable.empty()) {
      output();
      return;
    }
    const std::string& name = r_.pick(callable);
    const auto recursive = recursion_.find(name);
    if (recursive != recursion_.end()) {
      line(keyword("begin") + " " + recursive->second + " := " + std::to_string(r_.between(1, 9)) +
           "; " + keyword("call") + " " + name + " " + keyword("end"));
    } else {
      line(keyword("call") + " " + name);
    }
  }

  std::vector<Array> arrays() const {
    std::vector<Array> out;
    for (const Scope& s : scopes_) out.insert(out.end(), s.arrays.begin(), s.arrays.end());
    return out;
  }

  // An index inside the array: a number, or a loop's counter whose values all fit.
  std::string index(const Array& a) {
    for (const Loop& l : loops_) {
      if (l.bound <= a.size + 1 && r_.chance(50)) return l.counter;
    }
    return std::to_string(r_.between(0, a.size));
  }

  std::string factor(int depth) {
    const std::vector<std::string> variables = all_variables();
    switch (r_.below(depth > 0 ? 6 : 4)) {
      case 0: return std::to_string(r_.chance(10) ? r_.below(30000) : r_.below(100));
      case 1: {
        std::vector<std::string> constants;
        for (const Scope& s : scopes_) constants.insert(constants.end(), s.constants.begin(), s.constants.end());
        if (!constants.empty()) return r_.pick(constants);
        return std::to_string(r_.below(10));
      }
      case 2:
        if (!variables.empty()) return r_.pick(variables);
        return "1";
      case 3:
        if (!arrays().empty()) {
          const Array a = r_.pick(arrays());
          return a.name + "[" + index(a) + "]";
        }
        return "2";
      default: return "(" + expression(depth - 1) + ")";
    }
  }

  std::string term(int depth) {
    std::string t = factor(depth);
    if (depth > 0 && r_.chance(40)) {
      const int op = r_.below(4);
      // Divisors are numbers from 0 (the machine defines it) to 9: never -2147483648 by -1.
      if (op == 0) return t + " * " + factor(depth - 1);
      const std::string divisor = std::to_string(r_.chance(10) ? 0 : r_.between(1, 9));
      if (op == 1) return t + " / " + divisor;
      return t + (op == 2 ? " % " : " " + keyword("mod") + " ") + divisor;
    }
    return t;
  }

  std::string expression(int depth) {
    std::string e = r_.chance(10) ? (r_.chance(50) ? "-" : "+") + term(depth) : term(depth);
    for (int k = depth > 0 ? r_.below(3) : 0; k > 0; --k) e += (r_.chance(50) ? " + " : " - ") + term(depth - 1);
    return e;
  }

  std::string condition() {
    if (r_.chance(15)) return keyword("odd") + " " + expression(1);
    static const std::vector<std::string> relations{"=", "#", "<>", "<", "<=", ">", ">="};
    return expression(1) + " " + r_.pick(relations) + " " + expression(1);
  }

  Random& r_;
  std::string text_;
  int depth_ = 0;
  int names_ = 0;
  std::vector<Scope> scopes_;
  std::vector<Loop> loops_;
  std::set<std::string> reserved_;  // loop counters and recursion counters: assigned only by their own code
  std::vector<std::string> recursion_counters_;  // the main block's, not yet taken
  std::map<std::string, std::string> recursion_;  // procedure -> its counter
  std::string self_;  // the recursive procedure whose body is being written
};

}  // namespace

Generated valid_program(Random& random) {
  Generated g;
  g.source = Writer(random).program();
  for (int k = random.below(6); k > 0; --k) {
    if (random.chance(70)) {
      g.input += std::to_string(random.between(-99, 999));
    } else {  // often a byte above 127, which getc reads as a negative number
      // Half the letters become that byte rather than a new draw deciding it, so that the
      // random numbers drawn, and every program made after this one, stay as they were.
      const char letter = random.chance(20) ? 'a' : static_cast<char>(random.between('a', 'z'));
      g.input += letter < 'n' ? '\xe9' : letter;
    }
    g.input += random.chance(30) ? "\n" : " ";
  }
  return g;
}

}  // namespace pl0::conform
