#include "printer/printer_settings.h"


PrinterSettings& printerSettings() {
  static PrinterSettings settings;
  return settings;
}

namespace {

std::uint8_t paperWidthIn(const std::unique_ptr<platform::RandomAccessFile>& file) {
  std::uint8_t width[1] = {kDefaultPaperWidth};
  return file && file->readAt(0, width) ? width[0] : kDefaultPaperWidth;
}

}  // namespace

std::uint8_t readPaperWidth(const std::string& path) {
  return paperWidthIn(platform::openDiskFile(path, platform::FileMode::ReadOnly));
}

std::uint8_t readPaperWidth(platform::Board& board) {
  return paperWidthIn(board.openFile(board.nvPath(kPrinterSettingsFile), platform::FileMode::ReadOnly));
}

bool savePaperWidth(platform::Board& board, std::uint8_t millimetres) {
  const std::string path = board.nvPath(kPrinterSettingsFile);
  auto file = board.openFile(path, platform::FileMode::ReadWrite);
  if (!file && board.pathState(path) == platform::PathState::Missing) {
    file = board.openFile(path, platform::FileMode::CreateNew);
  }
  const std::uint8_t byte[] = {millimetres};
  return file && file->writeAt(0, byte) && file->sync();
}
