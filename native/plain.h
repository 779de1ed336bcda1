// The plain generator (-O0): each p-code instruction becomes one fixed sequence of x86-64
// instructions over the memory stack, exactly the Interpreter's steps, with nothing carried
// from one instruction to the next. This is where to start reading the back end.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "code_file.h"

namespace pl0::native {

// The code of every instruction, each headed by `header(address)`, into `text`; the paths
// taken only on a fault into `cold`.
void write_plain(const std::vector<Instruction>& program,
                 const std::function<std::string(std::int32_t)>& header, std::string& text,
                 std::string& cold);

}  // namespace pl0::native
