// A board whose files' syncs can be left out: while they are, a sync does nothing and succeeds,
// so that what is written reaches the operating system but is not made durable. For benchmarks
// and generated archives that store far more than a test needs kept across a power cut. The
// writes and syncs that reach the files are counted, over all files opened through the board,
// which must outlive them.
#pragma once

#include <cstdint>

#include "platform/board.h"

namespace platform {

class SyncSwitchBoard final : public BoardWrapper {
 public:
  SyncSwitchBoard(Board& target, bool syncsMade) : BoardWrapper(target), syncsMade_(syncsMade) {}

  std::unique_ptr<RandomAccessFile> openFile(const std::string& path, FileMode mode) override;

  void makeSyncs(bool made) { syncsMade_ = made; }
  std::uint64_t writes() const { return writes_; }
  std::uint64_t syncs() const { return syncs_; }  // those made, not those left out
  void resetCounts() { writes_ = syncs_ = 0; }

 private:
  class SwitchedFile;

  bool syncsMade_;
  std::uint64_t writes_ = 0;
  std::uint64_t syncs_ = 0;
};

}  // namespace platform
