// Reading a whole file, as the kit does everywhere.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pl0::conform {

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace pl0::conform
