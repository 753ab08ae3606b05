#include "tools/sim/board_directory.h"

#include <fstream>
#include <system_error>

#include "platform/service_lock.h"

namespace sim {

namespace fs = std::filesystem;

bool replaceFile(const fs::path& file, std::string_view content) {
  fs::path written = file;
  written += ".new";
  {
    std::ofstream out(written, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  fs::rename(written, file, error);
  return !error;
}

bool boardHeld(const fs::path& root) {
  std::error_code ignored;
  if (!fs::exists(serviceLockFile(root), ignored)) return false;
  return platform::ServiceLock::acquire(serviceLockFile(root).string()) == nullptr;
}

}  // namespace sim
