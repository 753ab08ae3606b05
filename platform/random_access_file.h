// Files read and written at byte offsets: the archive on the card.
//
// The board opens them (Board::openFile), so that tests can hand out files that fail a chosen
// read or write. Offsets are 64-bit: the archive grows past 2 GiB on a large card.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "values/bytes.h"

namespace platform {

class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  // Fills `out` from `offset`; false when not every byte could be read.
  virtual bool readAt(std::uint64_t offset, bytes::MutableView out) = 0;
  // Writes every byte at `offset`; false on a failed or short write.
  virtual bool writeAt(std::uint64_t offset, bytes::View data) = 0;
  // Pushes what was written to the device.
  virtual bool flush() = 0;
  virtual std::optional<std::uint64_t> size() = 0;
};

enum class FileMode {
  ReadOnly,   // an existing file, for reading
  ReadWrite,  // an existing file, for reading and writing; never truncated
  CreateNew,  // a new file for reading and writing; fails when the path exists
};

// What is known of a path: there, certainly not there, or unknown (the look failed).
enum class PathState { Exists, Missing, Unknown };

// A file through stdio with 64-bit offsets; empty when it cannot be opened.
std::unique_ptr<RandomAccessFile> openStdioFile(const std::string& path, FileMode mode);
PathState lookUpPath(const std::string& path);

}  // namespace platform
