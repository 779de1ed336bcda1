// Loading and writing are two phases: every instruction is read before the first line is
// written. A base walk deeper than any compiled program can need is refused then, since it
// would write billions of lines.
#include "translator.h"

#include <string>

#include "code_file.h"
#include "program.h"
#include "translate.h"

namespace pl0 {

int translator_main(int argc, const char* const* argv, std::FILE* /*in*/, std::FILE* out,
                    std::FILE* err) {
  std::vector<Switch> switches{{"-i", true}, {"-o", true}};
  const Switch& input = switches[0];
  const Switch& output = switches[1];
  scan_switches(argc, argv, switches);
  if (!input.seen || !output.seen) {
    std::fputs("Usage: Translator -i Input PCode File -o Output OpCode File\n", out);
    return 0;
  }

  FileOpener files("Translator", err);
  std::FILE* code = files.open_input("code file", input);
  if (code == nullptr) return 1;
  std::FILE* opcodes = files.open_output("opcode file", output);
  if (opcodes == nullptr) {
    std::fclose(code);
    return 1;
  }
  std::vector<Instruction> program;
  int status = 0;
  if (load_code(code, program)) {
    if (const auto deep = translator::find_deep_walk(program); deep < program.size()) {
      files.report("Level " + std::to_string(program[deep].level) + " at position " +
                   std::to_string(deep) + " is deeper than any program nests (at most " +
                   std::to_string(deepest_level) + "); nothing translated");
      status = 1;
    } else {
      translator::translate_program(program, opcodes);
    }
  }
  const bool written = files.close_output(opcodes, "opcode file", output);
  std::fclose(code);
  return written ? status : 1;
}

}  // namespace pl0
