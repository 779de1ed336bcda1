// Raw material for each program: mutated programs, bytes, token files and code files.
#include <cstdio>
#include <sstream>

#include "programs.h"
#include "vocabulary.h"

namespace pl0::conform {

namespace {

// The places where words start and end in `source`, roughly: enough to drop or double one.
std::vector<std::pair<std::size_t, std::size_t>> words(const std::string& source) {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  std::size_t k = 0;
  while (k < source.size()) {
    while (k < source.size() && (source[k] == ' ' || source[k] == '\n')) ++k;
    const std::size_t start = k;
    while (k < source.size() && source[k] != ' ' && source[k] != '\n') ++k;
    if (k > start) out.emplace_back(start, k);
  }
  return out;
}

const std::vector<std::string> fragments{
    "begin", "end", "if", "then", "else", "while", "do", "call", "const", "var", "procedure",
    "write", "putc", "read", "getc", "odd", "mod", "int", "x", "y1", "a[2]", ":=", ":", "=",
    "#", "<>", "<", "<=", ">", ">=", "+", "-", "*", "/", "%", "!", "?", "(", ")", "[", "]",
    ",", ";", ".", "12", "007", "'ab c'", "\"q\"", "''", "{ c }", "(* c *)", "/* c */",
    "// c\n", "{", "(*", "(*)", "(*) c *)", "/*", "/*/ c */", "'open", "\"open", "\n", "\r\n", "\t", "$", "@", "&", "^",
    "~", "\\", "_", "|", "\x80", "\xe9", "\xff", "BEGIN", "End"};

// One instruction line written so that a reader splitting at blanks, or reading a line at a
// time, reads it otherwise than the loading pattern ("%s %d %d %d %s %s") does: a number
// against the text after it ("3;", "3;LIT", "3 ;LIT"), the mnemonic left out, or the
// instruction over two lines.
std::string against_other_text(const std::string& text, Random& random) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (lines.size() < 3) return text;
  std::string& line = lines[static_cast<std::size_t>(random.between(1, static_cast<int>(lines.size()) - 2))];
  std::istringstream in(line);
  std::string address, opcode, level, operand, semicolon, name;
  in >> address >> opcode >> level >> operand >> semicolon >> name;
  const std::string numbers = address + " " + opcode + " " + level + " " + operand;
  switch (random.below(5)) {
    case 0: line = numbers + "; " + name; break;
    case 1: line = numbers + " ;" + name; break;
    case 2: line = numbers + ";" + name; break;
    case 3: line = address + " " + opcode + "\n  " + level + " " + operand + " ; " + name; break;
    default: line = numbers + " ;"; break;
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

}  // namespace

std::string mutated(const std::string& source, Random& random) {
  const auto spots = words(source);
  if (spots.empty()) return source;
  const auto [start, end] = random.pick(spots);
  const std::string word = source.substr(start, end - start);
  switch (random.below(3)) {
    case 0: return source.substr(0, start) + source.substr(end);
    case 1: return source.substr(0, end) + " " + word + source.substr(end);
    default: return source.substr(0, start) + random.pick(fragments) + source.substr(end);
  }
}

std::string byte_soup(Random& random) {
  std::string text;
  for (int k = random.between(1, 25); k > 0; --k) {
    text += random.pick(fragments);
    if (random.chance(60)) text += ' ';
  }
  if (random.chance(60)) text += ".";
  return text;
}

std::string token_soup(Random& random) {
  std::string text;
  for (int k = random.between(1, 40); k > 0; --k) {
    const int symbol = random.chance(85) ? random.between(1, 40) : random.below(symbol_count);
    text += std::to_string(symbol) + " ";
    if (symbol == identifier_sym) text += std::string(1, static_cast<char>('a' + random.below(3))) + " ";
    if (symbol == number_sym) text += std::to_string(random.below(1000)) + " ";
    if (symbol == string_sym) text += random.chance(20) ? "_ " : "ab_c ";
    if (random.chance(15)) text += "\n";
  }
  if (random.chance(70)) text += "22 ";
  return text;
}

std::string code_file_text(const std::vector<Instruction>& program) {
  std::string text = "Address OpCode Level Operand ; Code\n";
  char row[96];
  for (std::size_t a = 0; a < program.size(); ++a) {
    const Instruction& i = program[a];
    std::snprintf(row, sizeof row, "%7zu %6d %5d %7d ; %4s\n", a, i.opcode, i.level, i.operand,
                  is_opcode(i.opcode) ? opcode_names[i.opcode] : "?");
    text += row;
  }
  return text + "\n";
}

std::string code_soup(Random& random, bool runnable) {
  std::vector<Instruction> program;
  const int count = random.between(1, 30);
  for (int a = 0; a < count; ++a) {
    Instruction i{};
    i.opcode = random.chance(8) ? random.between(27, 40) : random.below(opcode_count);
    i.level = random.chance(85) ? 0 : random.between(runnable ? 0 : -1, 3);
    if (runnable) {
      const bool jump = i.opcode == CAL || i.opcode == JMP || i.opcode == JPC;
      i.operand = jump ? random.between(0, count) : i.opcode == INT ? random.between(-3, 6) : random.between(-5, 99);
      if (i.opcode == LOD || i.opcode == STO) i.operand = random.between(0, 8);
    } else {
      static const std::vector<std::int32_t> extremes{2147483647, -2147483647 - 1, -1, 0, 1000, 999};
      i.operand = random.chance(20) ? random.pick(extremes) : random.between(-50, 200);
    }
    program.push_back(i);
  }
  std::string text = code_file_text(program);
  if (random.chance(30)) text = against_other_text(text, random);
  if (random.chance(10)) {  // a line that breaks the pattern: loading stops before it
    const std::size_t line = text.find('\n', text.size() / 2);
    if (line != std::string::npos) text.insert(line + 1, "  7 x 0 0 ; LIT\n");
  }
  return text;
}

}  // namespace pl0::conform
