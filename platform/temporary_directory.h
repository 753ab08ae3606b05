// Test support: a directory of its own for one test, board or program run.
#pragma once

#include <filesystem>

namespace platform {

// A directory made fresh (mode 0700) under `parent` and removed with everything in it when this
// object goes. Throws std::system_error when the directory cannot be made.
class TemporaryDirectory {
 public:
  explicit TemporaryDirectory(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace platform
