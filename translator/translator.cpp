// Loading and writing are two phases: every instruction is read before the first line is
// written.
#include "translator.h"

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
  if (load_code(code, program)) translator::translate_program(program, opcodes);
  const bool written = files.close_output(opcodes, "opcode file", output);
  std::fclose(code);
  return written ? 0 : 1;
}

}  // namespace pl0
