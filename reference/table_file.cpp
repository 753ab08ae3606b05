#include "reference/table_file.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace table_file {

bool writeAndClose(platform::File file, std::size_t offset, bytes::View data) {
  const bool written = std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
                       std::fwrite(data.data(), 1, data.size(), file.get()) == data.size() &&
                       std::fflush(file.get()) == 0;
  return std::fclose(file.release()) == 0 && written;
}

bool readSlot(std::FILE* file, std::size_t offset, bytes::MutableView slot) {
  const bool read = std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
                    std::fread(slot.data(), 1, slot.size(), file) == slot.size();
  if (!read) std::fill(slot.begin(), slot.end(), std::uint8_t{0});
  return read;
}

bool createNumberedFile(const std::string& path, std::size_t count, std::size_t slotSize) {
  platform::File file = platform::openFile(path, "w+b");
  if (!file) return false;
  bytes::Bytes content(count * slotSize, 0);
  for (std::size_t n = 1; n <= count; ++n) content[(n - 1) * slotSize] = static_cast<std::uint8_t>(n);
  return writeAndClose(std::move(file), 0, content);
}

}  // namespace table_file
