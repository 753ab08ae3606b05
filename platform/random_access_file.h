// Files read and written at byte offsets (the archive and its journal on the card, the
// identity memory), and small files rewritten whole (the reference tables).
//
// The board opens them (Board::openFile), so that tests can hand out files that fail a chosen
// read, write or sync, or lose what was not synced. Writes go straight to the operating system
// (nothing is buffered in the process), so each write reports its own error. Offsets are
// 64-bit: the archive grows past 2 GiB on a large card.
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
  // Makes what was written durable on the device; false when that cannot be promised.
  virtual bool sync() = 0;
  virtual std::optional<std::uint64_t> size() = 0;
  // The first offset at or after `offset` where a byte other than zero may lie; nullopt when
  // every byte from there to the end reads as zero, so that a reader can step over the holes
  // of a sparse file. A file that knows of no holes gives `offset` itself while inside it.
  virtual std::optional<std::uint64_t> nextData(std::uint64_t offset);
};

enum class FileMode {
  ReadOnly,      // an existing file, for reading
  ReadWrite,     // an existing file, for reading and writing; never truncated
  CreateNew,     // a new file for reading and writing; fails when the path exists
  OpenOrCreate,  // reading and writing, created when missing; never truncated
};

// What is known of a path: there, certainly not there, or unknown (the look failed).
enum class PathState { Exists, Missing, Unknown };

// A file of the operating system with 64-bit offsets; empty when it cannot be opened. A file
// this creates has its directory entry synced too.
std::unique_ptr<RandomAccessFile> openDiskFile(const std::string& path, FileMode mode);
PathState lookUpPath(const std::string& path);
// Writes `contents` whole to `path` + ".new", syncs it, renames it over `path` and syncs the
// directory, so that at every instant `path` holds its old contents or the new ones, never a
// part of either. False when a step failed; the old contents then stay.
bool replaceDiskFile(const std::string& path, bytes::View contents);
// Makes a directory and its parents; true when the directory is there afterwards.
bool makeDiskDirectories(const std::string& path);

}  // namespace platform
