#include "native_translator.h"

#include <vector>

#include "assembly.h"
#include "code_file.h"
#include "program.h"

namespace pl0 {

int native_translator_main(int argc, const char* const* argv, std::FILE* /*in*/, std::FILE* out,
                           std::FILE* err) {
  std::vector<Switch> switches{{"-i", true}, {"-o", true}, {"-O0", false}};
  const Switch& input = switches[0];
  const Switch& output = switches[1];
  const Switch& plain = switches[2];
  scan_switches(argc, argv, switches);
  if (!input.seen || !output.seen) {
    std::fputs("Usage: NativeTranslator -i Input PCode File -o Output Assembly File [-O0]\n", out);
    return 0;
  }

  FileOpener files("NativeTranslator", err);
  std::FILE* code = files.open_input("code file", input);
  if (code == nullptr) return 1;
  std::vector<Instruction> program;
  const bool loaded = load_code(code, program);
  std::fclose(code);
  std::FILE* assembly = files.open_output("assembly file", output);
  if (assembly == nullptr) return 1;
  const std::string text = native::write_assembly(
      program, loaded, nullptr,
      plain.seen ? native::Generator::plain : native::Generator::optimising);
  std::fwrite(text.data(), 1, text.size(), assembly);
  return files.close_output(assembly, "assembly file", output) ? 0 : 1;
}

}  // namespace pl0
