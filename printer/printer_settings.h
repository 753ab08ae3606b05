// The printer setting: the paper width in millimetres, one byte in the printer settings file.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/board.h"

inline constexpr std::uint8_t kDefaultPaperWidth = 60;
// The settings file in the board's reference store.
inline constexpr std::string_view kPrinterSettingsFile = "PRINTER_SETTINGS";

// The process-wide paper width that every new print style copies. Read from the settings file
// at start-up and changed by the host's setting command.
class PrinterSettings {
 public:
  std::uint8_t paperWidth() const { return paperWidth_.load(); }
  void setPaperWidth(std::uint8_t millimetres) { paperWidth_.store(millimetres); }

 private:
  std::atomic<std::uint8_t> paperWidth_{kDefaultPaperWidth};
};

PrinterSettings& printerSettings();

// The settings file holds exactly one byte, the paper width. A missing or empty file reads as
// the default width. The board's file, or the file at `path` (the simulator reads its board's
// setting from outside the service).
std::uint8_t readPaperWidth(platform::Board& board);
std::uint8_t readPaperWidth(const std::string& path);
// Writes the byte at offset 0 of the board's settings file, creating the file when it is
// missing; any bytes after it are kept. False when the file could not be opened, written or
// flushed.
bool savePaperWidth(platform::Board& board, std::uint8_t millimetres);
