// A private folder for a program's intermediate files, made in TMPDIR (or /tmp) and removed
// with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace pl0 {

class TemporaryFolder {
 public:
  // Throws std::runtime_error when no folder can be made. `prefix` starts its name.
  explicit TemporaryFolder(const char* prefix);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace pl0
