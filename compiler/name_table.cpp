#include "name_table.h"

#include "parser.h"
#include "token_reader.h"
#include "wrapping.h"

namespace pl0::compiler {

NameTable names;

namespace {

void write_row(int index) {
  if (index == 1) std::fputs("Entry Name             Kind Level Address Value\n", names.listing);
  const NameEntry& e = names.entries[static_cast<std::size_t>(index)];
  std::fprintf(names.listing, "%5d %-16s %4d %5d %7d %5d\n", index, e.name.c_str(), e.kind, e.level,
               e.address, e.value);
}

}  // namespace

void reset_names(std::FILE* listing) {
  names = NameTable{};
  names.listing = listing;
}

void enter_name(int kind, int cells) {
  ++names.top;
  const auto index = static_cast<std::size_t>(names.top);
  if (index == names.entries.size()) names.entries.emplace_back();
  NameEntry& e = names.entries[index];
  e = NameEntry{reader.identifier, kind, 0, names.level, 0};
  if (kind == constant_kind) e.value = reader.number_value;
  if (kind == variable_kind) {
    e.address = names.data_address;
    e.value = cells;
    names.data_address = wrap_add(names.data_address, cells);
  }
  if (names.listing != nullptr) write_row(names.top);
  if (compile_observer != nullptr) compile_observer->name_declared(names.top);
}

int find_name(const std::string& spelling) {
  for (int i = names.top; i > 0; --i) {
    if (names.entries[static_cast<std::size_t>(i)].name == spelling) return i;
  }
  return 0;
}

}  // namespace pl0::compiler
