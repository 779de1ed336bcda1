// The NativeTranslator program: a code file as x86-64 assembly, for the system's assembler and
// linker and the runtime library (libpl0_runtime.a) to make an executable of.
#pragma once

#include <cstdio>

namespace pl0 {

int native_translator_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                           std::FILE* err);

}  // namespace pl0
