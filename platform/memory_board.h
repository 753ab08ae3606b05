// A board for fuzzing whose files live in memory, built once per process and put back after each
// input by undoing what the input changed.
//
// Paths and the card's presence are those of a simulated board on a directory, where the board
// makes the card's device file and mount point, the only things it puts on disk besides the
// directories asked for. Every file opened or replaced through the board (the archive, its
// journal, the identity memory, the reference tables, the printer setting) is a sparse image (sparse_image.h) that never reaches the disk: the 16 MiB archive head holds
// only the few ranges written. The card reports a fixed free space; the clock stands still until
// set or advanced, so that every run of an input sees the same times.
//
// checkpoint() takes the files and the clock as they are as the state to come back to;
// rollback() undoes every write since, forgets the files made since and puts the clock back, in
// time proportional to what changed. One thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/board.h"
#include "platform/sparse_image.h"

namespace platform {

class MemoryBoard final : public BoardWrapper {
 public:
  static constexpr std::int64_t kStartTime = 1800000000;  // 2027-01-15
  static constexpr std::uint64_t kCardFreeBytes = 1ull << 30;

  // Makes `root` (a directory of its own) hold a simulated board's card.
  explicit MemoryBoard(const std::string& root);
  ~MemoryBoard() override;

  std::unique_ptr<RandomAccessFile> openFile(const std::string& path, FileMode mode) override;
  PathState pathState(const std::string& path) const override;
  bool replaceFile(const std::string& path, bytes::View contents) override;
  std::optional<std::uint64_t> cardAvailableBytes() const override { return kCardFreeBytes; }
  std::int64_t now() const override { return now_; }
  bool setClock(std::int64_t secondsSinceEpoch) override;
  void advanceClock(std::int64_t seconds) { now_ += seconds; }

  // A file's contents (empty when it does not exist), and replacing them when setting the board
  // up (a rollback does not undo that).
  bytes::Bytes contents(const std::string& path) const;
  void setContents(const std::string& path, bytes::View data);
  // Bytes written since the checkpoint, over all files.
  std::uint64_t changedBytes() const;

  void checkpoint();
  void rollback();

 private:
  explicit MemoryBoard(std::unique_ptr<Board> simulated);

  std::unique_ptr<Board> simulated_;
  std::map<std::string, std::shared_ptr<SparseImage>> files_;
  std::set<std::string> checkpointPaths_;
  std::int64_t now_ = kStartTime;
  std::int64_t checkpointNow_ = kStartTime;
};

// Where a fuzz target keeps what must be on disk: a file system in memory where the machine has
// one (/dev/shm), else the temporary directory. A disk's file system writes out a file that was
// truncated when it is closed, which costs more than the input.
std::filesystem::path scratchDirectory();

}  // namespace platform
