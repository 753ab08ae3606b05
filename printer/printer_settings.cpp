#include "printer/printer_settings.h"

#include <cstdio>

#include "platform/stdio_file.h"

PrinterSettings& printerSettings() {
  static PrinterSettings settings;
  return settings;
}

std::uint8_t readPaperWidth(const std::string& path) {
  const platform::File file = platform::openFile(path, "rb");
  if (!file) return kDefaultPaperWidth;
  const int byte = std::fgetc(file.get());
  return byte == EOF ? kDefaultPaperWidth : static_cast<std::uint8_t>(byte);
}

std::uint8_t readPaperWidth(const platform::Board& board) {
  return readPaperWidth(board.nvPath(kPrinterSettingsFile));
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
