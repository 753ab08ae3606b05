#include "storage/card.h"

#include "platform/log.h"

namespace card {

bool mountCard(platform::Board& board) {
  if (board.pathState(board.cardDevicePath()) != platform::PathState::Exists) {
    platform::logLine("NO SD CARD");
    return false;
  }
  if (!board.makeDirectories(board.cardMountPoint())) {
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
