#include "storage/card.h"

#include <filesystem>

#include "platform/log.h"

namespace card {

bool mountCard(platform::Board& board) {
  std::error_code error;
  if (!std::filesystem::exists(board.cardDevicePath(), error)) {
    platform::logLine("NO SD CARD");
    return false;
  }
  const std::string mountPoint = board.cardMountPoint();
  if (!std::filesystem::exists(mountPoint, error)) std::filesystem::create_directories(mountPoint, error);
  if (!std::filesystem::exists(mountPoint, error)) {
    platform::logLine("NO MOUNT POINT");
    return false;
  }
  if (board.cardMounted()) return true;
  board.runMountCommand();
  if (board.cardMounted()) return true;
  platform::logLine("SD CARD MOUNT ERROR");
  return false;
}

bool cardMounted(const platform::Board& board) { return board.cardMounted(); }

std::string archivePath(const platform::Board& board) {
  return board.cardMounted() ? board.cardMountPoint() + kArchiveFileName : std::string();
}

std::uint64_t cardSpace(const platform::Board& board) {
  if (!board.cardMounted()) return 0;
  return board.cardAvailableBytes().value_or(0) / 10 * 8;
}

}  // namespace card
