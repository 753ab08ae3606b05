// A file's bytes in memory, for the boards that keep their files there: sparse, so that only the
// ranges written take memory (the rest reads as zeros, as a sparse file of that length would),
// and with a log of changes that can be undone.
//
// Each write since the log was last cleared remembers what it replaced, so that a board can
// drop what a power cut loses (undo to the last sync) or put a file back as it was before a
// fuzz input (undo to the checkpoint), in time proportional to what was written. Undoing puts
// back holes as holes. One thread at a time.
#pragma once

#include <cstdint>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/random_access_file.h"
#include "values/bytes.h"

namespace platform {

class SparseImage {
 public:
  // A file of the operating system ends before 2^63 bytes; so does an image.
  static constexpr std::uint64_t kMaxSize = INT64_MAX;
  // Whether `length` bytes from `offset` lie below kMaxSize.
  static bool fits(std::uint64_t offset, std::uint64_t length);

  std::uint64_t size() const { return size_; }

  // Fills `out` from `offset`; false, with nothing read, when that passes the end.
  bool read(std::uint64_t offset, bytes::MutableView out) const;
  // `count` bytes from `offset`, fewer where the file ends.
  bytes::Bytes contents(std::uint64_t offset, std::uint64_t count) const;
  bytes::Bytes contents() const { return contents(0, size_); }
  // Writes at `offset`, growing the file when it ends before the write does; logged. False,
  // with nothing written, past kMaxSize.
  bool write(std::uint64_t offset, bytes::View data);
  // Replaces the whole contents and clears the log.
  void assign(bytes::View data);
  // Replaces the whole contents; logged, so that undoing it puts back the old contents and size.
  void replace(bytes::View data);

  // The first offset at or after `offset` inside a written range; nullopt when only holes
  // follow (every later byte reads as zero).
  std::optional<std::uint64_t> nextData(std::uint64_t offset) const;
  // Bytes held in memory (written ranges only).
  std::uint64_t heldBytes() const;

  // The logged writes since the log was last cleared, oldest first.
  std::size_t changeCount() const { return changes_.size(); }
  std::uint64_t changedBytes() const;
  // Undoes the newest writes until `keep` remain.
  void undoChanges(std::size_t keep);
  // Undoes the newest write from `from` (an offset inside it) to its end: its bytes before
  // `from` stay, and it stays logged.
  void undoNewestFrom(std::uint64_t from);
  // What was written stays; the log starts again.
  void clearChanges() { changes_.clear(); }

 private:
  using Extents = std::map<std::uint64_t, bytes::Bytes>;  // by offset; disjoint, never touching

  struct Change {
    std::uint64_t offset;
    std::uint64_t length;
    std::uint64_t sizeBefore;
    Extents replaced;  // the written ranges that lay in [offset, offset + length) before
  };

  Extents extentsIn(std::uint64_t begin, std::uint64_t end) const;
  // Makes [begin, end) a hole.
  void punch(std::uint64_t begin, std::uint64_t end);
  void store(std::uint64_t offset, bytes::View data);
  void truncate(std::uint64_t size);
  void undo(const Change& change, std::uint64_t from);

  Extents extents_;
  std::uint64_t size_ = 0;
  std::vector<Change> changes_;
};

// The image as a file: reads and writes go to it (writes only when `writable`), a sync does
// nothing, and the holes show in nextData.
std::unique_ptr<RandomAccessFile> openSparseImage(std::shared_ptr<SparseImage> image, bool writable);

}  // namespace platform
