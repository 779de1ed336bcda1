// The order of work matters to what a user finds after an error: the code file is created
// before compiling but written only after success, so an error leaves it empty, while the
// symbol table file holds every row written before the error.
#include "compiler.h"

#include "name_table.h"
#include "parser.h"
#include "program.h"
#include "token_reader.h"
#include "vocabulary.h"

namespace pl0 {

namespace {

using namespace compiler;

constexpr const char* usage =
    "Usage: Compiler -i Tokenised File [-o Code File] [-t Symbol Table File]\n";

void write_code_listing(std::FILE* file, int first, int end) {
  std::fputs("Address OpCode Level Operand ; Code\n", file);
  for (int a = first; a < end; ++a) {
    const Instruction& i = code.code[static_cast<std::size_t>(a)];
    std::fprintf(file, "%7d %6d %5d %7d ; %4s\n", a, i.opcode, i.level, i.operand,
                 opcode_names[i.opcode]);
  }
  std::fputc('\n', file);
}

void compile() {
  next_symbol();
  parse_block();
  if (reader.current_symbol != period_sym) report_error(period_expected);
}

}  // namespace

int compiler_main(int argc, const char* const* argv, std::FILE* /*in*/, std::FILE* out,
                  std::FILE* err) {
  std::vector<Switch> switches{{"-i", true}, {"-o", true}, {"-t", true}};
  const Switch& input = switches[0];
  Switch& output = switches[1];
  const Switch& table = switches[2];
  scan_switches(argc, argv, switches);
  if (!input.seen) {
    std::fputs(usage, out);
    return 0;
  }
  if (!output.seen) output.name = "stdout";

  FileOpener files("Compiler", err);
  std::FILE* tokens = files.open_input("token file", input);
  if (tokens == nullptr) return 1;
  std::FILE* listing = files.open_output("code file", output);
  std::FILE* symbols = nullptr;
  if (listing != nullptr && table.seen) symbols = files.open_output("symbol table file", table);
  if (listing == nullptr || (table.seen && symbols == nullptr)) {
    if (listing != nullptr) std::fclose(listing);
    std::fclose(tokens);
    return 1;
  }

  reset_reader(tokens, err);
  reset_names(symbols);
  reset_code();
  int status = 0;
  try {
    compile();
  } catch (const EarlyEnd& end) {
    status = end.status;
  }
  std::fclose(tokens);
  bool written = symbols == nullptr || files.close_output(symbols, "symbol table file", table);
  if (status == 0) write_code_listing(listing, 0, code.count);
  written = files.close_output(listing, "code file", output) && written;
  return written ? status : 1;
}

}  // namespace pl0
