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

bool savePaperWidth(const std::string& path, std::uint8_t millimetres) {
  platform::File file = platform::openFile(path, "r+b");
  if (!file) file = platform::openFile(path, "w+b");
  if (!file) return false;
  return std::fseek(file.get(), 0, SEEK_SET) == 0 && std::fputc(millimetres, file.get()) != EOF &&
         std::fflush(file.get()) == 0;
}
