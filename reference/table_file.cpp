#include "reference/table_file.h"

#include <algorithm>

namespace table_file {

bool readSlot(platform::Board& board, const std::string& path, std::size_t offset, bytes::MutableView slot) {
  const auto file = board.openFile(path, platform::FileMode::ReadOnly);
  return file && file->readAt(offset, slot);
}

bytes::View slotIn(bytes::View contents, std::size_t offset, std::size_t size) {
  if (offset > contents.size() || size > contents.size() - offset) return {};
  return contents.subspan(offset, size);
}

bool writeSlot(platform::Board& board, const std::string& path, std::size_t offset, bytes::View slot) {
  auto contents = platform::readWholeFile(board, path);
  if (!contents) return false;
  if (contents->size() < offset + slot.size()) contents->resize(offset + slot.size(), 0);
  std::copy(slot.begin(), slot.end(), contents->begin() + static_cast<std::ptrdiff_t>(offset));
  return board.replaceFile(path, *contents);
}

bool createNumberedFile(platform::Board& board, const std::string& path, std::size_t count, std::size_t slotSize) {
  bytes::Bytes contents(count * slotSize, 0);
  for (std::size_t n = 1; n <= count; ++n) contents[(n - 1) * slotSize] = static_cast<std::uint8_t>(n);
  return board.replaceFile(path, contents);
}

}  // namespace table_file
