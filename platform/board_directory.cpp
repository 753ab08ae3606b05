#include "platform/board_directory.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

namespace platform {
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

std::int64_t clockOffset(const fs::path& root) {
  std::ifstream offset(clockOffsetFile(root));
  std::int64_t seconds = 0;
  if (offset >> seconds) return seconds;
  return 0;
}

bool setClockOffset(const fs::path& root, std::int64_t seconds) {
  const fs::path file = clockOffsetFile(root);
  fs::path written = file;
  written += ".new";
  std::ofstream offset(written, std::ios::trunc);
  offset << seconds << '\n';
  offset.close();
  if (offset && std::rename(written.c_str(), file.c_str()) == 0) return true;
  std::remove(written.c_str());
  return false;
}

}  // namespace platform
