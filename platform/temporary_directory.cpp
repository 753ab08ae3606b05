#include "platform/temporary_directory.h"

#include <stdlib.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace platform {

TemporaryDirectory::TemporaryDirectory(const std::filesystem::path& parent) {
  std::string pattern = (parent / "frcore-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "making a directory in " + parent.string());
  }
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace platform
