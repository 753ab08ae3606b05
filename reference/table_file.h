// Slot access for the reference tables' fixed-size files under the reference store.
#pragma once

#include <cstddef>
#include <string>

#include "platform/stdio_file.h"
#include "values/bytes.h"

namespace table_file {

// Writes `data` at `offset` and flushes; true when every byte went out. The file is closed
// either way, and a failing close fails the write too.
bool writeAndClose(platform::File file, std::size_t offset, bytes::View data);

// Fills `slot` from `offset` of an open file; false, with `slot` all zero, when the file holds
// fewer bytes there.
bool readSlot(std::FILE* file, std::size_t offset, bytes::MutableView slot);

// Creates `path` holding `count` slots of `slotSize` zero bytes whose first byte is the slot's
// number (1 to count). False when the file could not be written whole.
bool createNumberedFile(const std::string& path, std::size_t count, std::size_t slotSize);

}  // namespace table_file
