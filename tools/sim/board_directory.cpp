#include "tools/sim/board_directory.h"

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/service_lock.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kIdentityMemorySize = 4096;

// Creates `file` with `content` unless something is already there.
void createIfMissing(const fs::path& file, const std::string& content) {
  if (fs::exists(fs::symlink_status(file))) return;
  std::ofstream out(file, std::ios::binary);
  out << content;
  out.close();
  if (!out) {
    throw fs::filesystem_error("cannot create board file", file, std::error_code(errno, std::generic_category()));
  }
}

}  // namespace

void prepareBoardDirectory(const fs::path& root) {
  const fs::path identityDirectory = root / "sys/bus/i2c/devices/0-0050";
  for (const fs::path& directory : {root / "dev", identityDirectory, root / "mnt/sd", root / "nv", paperDirectory(root)}) {
    fs::create_directories(directory);
  }
  createIfMissing(identityDirectory / "eeprom", std::string(kIdentityMemorySize, '\xFF'));
  createIfMissing(cardDeviceFile(root), "");
}

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
