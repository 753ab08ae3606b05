// The reference tables' fixed-size files, read and written through the board. A slot is read in
// place; writing one rewrites the whole file (Board::replaceFile), so that a write that fails,
// or a power cut during it, leaves the table as it was.
#pragma once

#include <cstddef>
#include <string>

#include "platform/board.h"
#include "values/bytes.h"

namespace table_file {

// Fills `slot` from `offset` of the file; false when the file cannot be read there whole.
bool readSlot(platform::Board& board, const std::string& path, std::size_t offset, bytes::MutableView slot);

// The `size` bytes at `offset` of a file's contents; empty when the contents end before them.
bytes::View slotIn(bytes::View contents, std::size_t offset, std::size_t size);

// Rewrites the file with `slot` at `offset` and every other byte as it was; a file that ends
// before the slot does is lengthened with zero bytes up to it. False, with the file unchanged,
// when it could not be read or replaced.
bool writeSlot(platform::Board& board, const std::string& path, std::size_t offset, bytes::View slot);

// Creates (or replaces) `path` holding `count` slots of `slotSize` zero bytes whose first byte
// is the slot's number (1 to count). False when the file was not replaced.
bool createNumberedFile(platform::Board& board, const std::string& path, std::size_t count, std::size_t slotSize);

}  // namespace table_file
