// Where the generated code keeps the machine, each register named here once. The generators
// write the names in braces ("movl\t{BP32}, {Ax}"); write_assembly puts the x86-64 registers
// in as it finishes the listing. Scratch registers and those of the C calling convention
// (%eax, %edx, %edi, %esi, the pool of value_stack.h) are written as they are.
#pragma once

#include <string>

namespace pl0::native {

struct RegisterName {
  const char* token;
  const char* name;
};

inline constexpr RegisterName machine_registers[] = {
    {"{cells}", "%rbx"},     // the address of cell 0
    {"{SP}", "%r12"},        // SP (sign-extended, to index with)
    {"{SP32}", "%r12d"},
    {"{BP}", "%r13"},        // BP (sign-extended, to index with)
    {"{BP32}", "%r13d"},
    {"{Ax}", "%r14d"},       // Ax, where an instruction can observe it
    {"{Ax64}", "%r14"},
    {"{frame}", "%r15"},     // %rsp as the prologue left it: unwinding's base, and no call pending
    {"{link}", "%rbp"},      // a procedure's static link (the optimising generator)
    {"{link32}", "%ebp"},
    {"{Tx}", "%ebp"},        // Tx across a call (the plain generator)
};

// `text` with every register's token replaced by its name.
inline std::string with_registers(std::string text) {
  for (const RegisterName& r : machine_registers) {
    const std::string token = r.token;
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at)) {
      text.replace(at, token.size(), r.name);
      at += std::string(r.name).size();
    }
  }
  return text;
}

}  // namespace pl0::native
