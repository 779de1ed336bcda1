// The system's c++ assembles and links the listing with the runtime in lib/ beside bin/: a
// native program needs no tool but the compiler that built the tool chain.
#include "native.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "assembly.h"
#include "code_file.h"
#include "files.h"
#include "process.h"

namespace pl0::driver {

namespace fs = std::filesystem;

int run_program(const std::string& path, const std::vector<std::string>& args) {
  Start start;
  start.path = path;
  start.argv = {fs::path(path).filename().string()};
  start.argv.insert(start.argv.end(), args.begin(), args.end());
  const Ended ended = run_process(start);
  return ended.started ? ended.status : -1;
}

std::string find_program(const std::string& program) {
  const fs::path beside = own_folder() / program;
  return is_executable(beside) ? beside.string() : find_on_path(program);
}

namespace {

// The runtime lies in lib/ beside bin/, in the build tree as where it is installed.
fs::path runtime_archive() {
  return own_folder().parent_path() / "lib" / "libpl0_runtime.a";
}

// The C++ compiler as the linker driver: the runtime is C++ and needs its library.
std::string linker() {
  for (const char* name : {"c++", "g++"}) {
    if (std::string path = find_program(name); !path.empty()) return path;
  }
  return "";
}

// Copies beside the target and renames, so that the target is either old or complete.
void put_in_place(const fs::path& from, const fs::path& to) {
  const fs::path partial = to.string() + ".partial";
  fs::copy_file(from, partial, fs::copy_options::overwrite_existing);
  fs::rename(partial, to);
}

}  // namespace

std::string native_unavailable() {
#if defined(__x86_64__) && defined(__linux__)
  for (const char* tool : {"as", "ld"}) {
    if (find_program(tool).empty()) {
      return std::string("--native needs the system's assembler and linker (binutils), and ") +
             tool + " is not on PATH";
    }
  }
  if (linker().empty()) return "--native needs c++ (g++) on PATH to link";
  std::error_code ec;
  if (!fs::is_regular_file(runtime_archive(), ec)) {
    return "--native needs the runtime library " + runtime_archive().string() + ", which is missing";
  }
  return "";
#else
  return "--native makes code for x86-64 Linux, and this machine is not one";
#endif
}

int build_native(const std::string& source, const std::vector<int>& lines, const fs::path& code,
                 const fs::path& assembly, const fs::path& executable, const fs::path& scratch,
                 native::Generator generator) {
  std::vector<Instruction> program;
  std::FILE* file = std::fopen(code.c_str(), "r");
  if (file == nullptr) {
    std::fprintf(stderr, "pl0: cannot read %s\n", code.c_str());
    return 1;
  }
  const bool loaded = load_code(file, program);
  std::fclose(file);
  const native::SourceLines listing{lines, lines_of(read_file(source))};

  const fs::path text = scratch / "native.s", binary = scratch / "native";
  std::ofstream(text, std::ios::binary) << native::write_assembly(program, loaded, &listing, generator);
  std::vector<std::string> args;
  std::istringstream flags(PL0_LINK_FLAGS);
  for (std::string flag; flags >> flag;) args.push_back(flag);
  for (const std::string& a : {std::string("-o"), binary.string(), text.string(),
                               runtime_archive().string()}) {
    args.push_back(a);
  }
  const int status = run_program(linker(), args);
  if (status != 0) {
    std::fprintf(stderr, "pl0: the system's assembler or linker failed on %s\n", text.c_str());
    return 1;
  }
  if (assembly != text) put_in_place(text, assembly);
  if (executable != binary) {
    put_in_place(binary, executable);
    fs::permissions(executable, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add);
  }
  return 0;
}

}  // namespace pl0::driver
