#include "platform/board.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/time.h>

#include "platform/board_clock.h"
#include "platform/board_directory.h"

namespace platform {
namespace {

std::int64_t systemTime() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::optional<std::uint64_t> availableBytes(const std::string& path) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

class RealBoard final : public Board {
 public:
  std::string hostPortPath() const override { return "/dev/ttyGS0"; }
  std::string printerPortPath() const override { return "/dev/ttyS0"; }
  std::string identityMemoryPath() const override { return "/sys/bus/i2c/devices/0-0050/eeprom"; }
  std::string cardDevicePath() const override { return "/dev/mmcblk0p1"; }
  std::string cardMountPoint() const override { return "/mnt/sd/"; }
  std::string nvPath(std::string_view name) const override { return "/nv/" + std::string(name); }
  std::string serviceLockPath() const override { return "/run/frcore.lock"; }

  bool runMountCommand() override {
    const std::string command = "mount -t vfat " + cardDevicePath() + " " + cardMountPoint() + " -o sync";
    return std::system(command.c_str()) != -1;
  }

  // A mount point lies on another device than its parent directory.
  bool cardMounted() const override {
    struct stat point {}, parent {};
    const std::string mountPoint = cardMountPoint();
    if (stat(mountPoint.c_str(), &point) != 0) return false;
    if (stat((mountPoint + "..").c_str(), &parent) != 0) return false;
    return point.st_dev != parent.st_dev;
  }

  std::optional<std::uint64_t> cardAvailableBytes() const override { return availableBytes(cardMountPoint()); }

  std::int64_t now() const override { return systemTime(); }

  bool setClock(std::int64_t secondsSinceEpoch) override {
    return setBoardClocks(machineClocks(), secondsSinceEpoch);
  }
};

// Every path lies under the board's directory; the card counts as mounted when its device file
// exists and the mount point is a directory; the clock is the machine's time plus an offset
// kept in the file clock-offset (board_directory.h).
class SimulatedBoard final : public Board {
 public:
  explicit SimulatedBoard(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
  }

  std::string hostPortPath() const override { return root_ + "/dev/ttyGS0"; }
  std::string printerPortPath() const override { return root_ + "/dev/ttyS0"; }
  std::string identityMemoryPath() const override { return root_ + "/sys/bus/i2c/devices/0-0050/eeprom"; }
  std::string cardDevicePath() const override { return root_ + "/dev/mmcblk0p1"; }
  std::string cardMountPoint() const override { return root_ + "/mnt/sd/"; }
  std::string nvPath(std::string_view name) const override { return root_ + "/nv/" + std::string(name); }
  std::string serviceLockPath() const override { return root_ + "/frcore.lock"; }

  bool runMountCommand() override { return true; }

  bool cardMounted() const override {
    std::error_code error;
    return std::filesystem::exists(cardDevicePath(), error) &&
           std::filesystem::is_directory(cardMountPoint(), error);
  }

  std::optional<std::uint64_t> cardAvailableBytes() const override {
    std::ifstream stated(cardFreeBytesFile(root_));
    if (stated) {
      std::uint64_t bytes = 0;
      if (stated >> bytes) return bytes;
      return std::nullopt;
    }
    return availableBytes(cardMountPoint());
  }

  std::int64_t now() const override { return systemTime() + clockOffset(root_); }

  // The new offset replaces the old one whole, so a setting that fails leaves the clock as it was.
  bool setClock(std::int64_t secondsSinceEpoch) override {
    return setClockOffset(root_, secondsSinceEpoch - systemTime());
  }

 private:
  std::string root_;
};

}  // namespace

std::optional<bytes::Bytes> readWholeFile(Board& board, const std::string& path) {
  const auto file = board.openFile(path, FileMode::ReadOnly);
  const auto size = file ? file->size() : std::nullopt;
  if (!size || *size > kMaxWholeFileBytes) return std::nullopt;
  bytes::Bytes contents(static_cast<std::size_t>(*size));
  if (!file->readAt(0, contents)) return std::nullopt;
  return contents;
}

std::unique_ptr<Board> makeRealBoard() { return std::make_unique<RealBoard>(); }

std::unique_ptr<Board> makeSimulatedBoard(std::string root) {
  return std::make_unique<SimulatedBoard>(std::move(root));
}

std::unique_ptr<Board> boardFromEnvironment() {
  const char* root = std::getenv("FRCORE_ROOT");
  if (root != nullptr && *root != '\0') return makeSimulatedBoard(root);
  return makeRealBoard();
}

}  // namespace platform
