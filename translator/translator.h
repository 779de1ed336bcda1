// The Translator program: code file in, opcode file out.
#pragma once

#include <cstdio>

namespace pl0 {

// Runs the Translator with a command line as main receives it, on the given standard streams,
// and returns its exit status. Starts from fresh state on every call and never exits.
int translator_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                    std::FILE* err);

}  // namespace pl0
