// A board for tests whose files live in memory and misbehave on command: the card that fails a
// chosen read, write or sync, once or from then on, writes only part of a block, or loses
// power.
//
// Every file the board opens (the archive, its journal, the identity memory) is kept in memory
// as a sparse image (sparse_image.h), loaded from the wrapped board's file the first time it is
// opened. For each file the board remembers what was written since its last sync, so that a
// power cut can drop those writes, or keep them and tear the last one at a 512-byte sector
// boundary, as a card does. A file's name is durable once it is created. A file replaced whole
// (replaceFile) is one write of the new contents beside it and one sync, then a rename that is
// durable at once: a fault at either step leaves the old contents, and dying at the sync with
// the sync done leaves the new ones. Everything else
// (paths, clock, the card's presence) is the wrapped board's. Operations are counted over all
// files, so that a test can find every write and sync of one store and fail each in turn. One
// thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/board.h"

namespace platform {

class FaultInjectingBoard final : public BoardWrapper {
 public:
  enum class Operation { Read, Write, Sync };
  enum class PowerCut {
    DropUnsynced,   // every write since a file's last sync is lost
    TearLastWrite,  // unsynced writes stay, but the newest keeps only its whole leading sectors
  };
  static constexpr std::uint64_t kSectorSize = 512;

  explicit FaultInjectingBoard(Board& target);
  ~FaultInjectingBoard() override;

  std::unique_ptr<RandomAccessFile> openFile(const std::string& path, FileMode mode) override;
  PathState pathState(const std::string& path) const override;
  bool replaceFile(const std::string& path, bytes::View contents) override;

  // Operations of each kind since the board was made or the counts were reset.
  std::uint64_t count(Operation kind) const { return counts_[index(kind)]; }
  void resetCounts();

  // The nth operation of `kind` from now (0: the next one) fails, changing nothing; with
  // `persistent`, so does every later one of that kind.
  void failAt(Operation kind, std::uint64_t n, bool persistent);
  // The nth write from now stores only its first half (at least one byte short) and fails.
  void shortWriteAt(std::uint64_t n);
  // While set, looking at any path tells nothing (PathState::Unknown).
  void failLookUps(bool failing) { lookUpsFail_ = failing; }
  // The service dies at the nth operation of `kind` from now: with `completes` that operation
  // still takes effect; from then on every operation fails and no file opens.
  void dieAt(Operation kind, std::uint64_t n, bool completes);
  // Ends every fault and a death: the card works again (a restart, a card put back).
  void clearFaults();
  // Power goes off and comes back: unsynced data is lost as `how` says; faults are cleared.
  void powerCut(PowerCut how);

  // The current contents of a file (empty when it was never opened), and replacing them as
  // durable (to damage a file in a test).
  bytes::Bytes contents(const std::string& path) const;
  // `count` bytes from `offset` (fewer where the file ends).
  bytes::Bytes contents(const std::string& path, std::uint64_t offset, std::uint64_t count) const;
  void setContents(const std::string& path, bytes::View data);
  // Bytes written to a file since its last sync.
  std::uint64_t unsyncedBytes(const std::string& path) const;

 private:
  struct Image;
  class MemoryFile;
  struct Trigger {
    std::optional<std::uint64_t> at;  // the operation's count
    bool persistent = false;
  };

  static std::size_t index(Operation kind) { return static_cast<std::size_t>(kind); }
  // Counts one operation and tells whether it fails; `completes` is set for the operation at
  // which the service dies when it still takes effect.
  bool fails(Operation kind, bool& completes);

  std::map<std::string, std::shared_ptr<Image>> files_;
  std::uint64_t counts_[3] = {0, 0, 0};
  Trigger failures_[3];
  std::optional<std::uint64_t> shortWrite_;
  std::optional<Operation> deathKind_;
  std::uint64_t deathAt_ = 0;
  bool deathCompletes_ = false;
  bool dead_ = false;
  bool lookUpsFail_ = false;
  std::uint64_t writeSequence_ = 0;
};

}  // namespace platform
