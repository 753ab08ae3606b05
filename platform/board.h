// The board: where the service's devices and files are, the clock, and the shell commands.
//
// This is the only code that knows device paths, mounts the card or touches the clock, and the
// service's files are opened, replaced and made through it. The real board uses the fixed
// paths of the hardware; the simulated board (chosen by the environment variable FRCORE_ROOT)
// puts every path under one directory and keeps the clock as an offset from the machine's
// time. Tests substitute their own board, usually a BoardWrapper that overrides one operation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/random_access_file.h"

namespace platform {

class Board {
 public:
  virtual ~Board() = default;

  virtual std::string hostPortPath() const = 0;        // the host link's serial line
  virtual std::string printerPortPath() const = 0;     // the printer's serial line
  virtual std::string identityMemoryPath() const = 0;  // the 4096-byte identity memory
  virtual std::string cardDevicePath() const = 0;      // present when a card is inserted
  virtual std::string cardMountPoint() const = 0;      // ends with '/'
  virtual std::string nvPath(std::string_view name) const = 0;  // a file of the reference store
  virtual std::string serviceLockPath() const = 0;  // held by the one service running on the board

  // Mounts the card at its mount point; true when the command could be run. The caller checks
  // cardMounted() afterwards.
  virtual bool runMountCommand() = 0;
  // Whether a file system is mounted at the card's mount point.
  virtual bool cardMounted() const = 0;
  // Bytes available to the service on the card's file system, if it can be asked.
  virtual std::optional<std::uint64_t> cardAvailableBytes() const = 0;

  // Files at byte offsets (the archive); empty when the file cannot be opened.
  virtual std::unique_ptr<RandomAccessFile> openFile(const std::string& path, FileMode mode) {
    return openDiskFile(path, mode);
  }
  virtual PathState pathState(const std::string& path) const { return lookUpPath(path); }
  // Small files rewritten whole (the reference tables): afterwards the file holds `contents`,
  // or, when this fails or power is cut at any instant, what it held before. A missing file is
  // created.
  virtual bool replaceFile(const std::string& path, bytes::View contents) { return replaceDiskFile(path, contents); }
  // Makes a directory and its parents; true when the directory is there afterwards.
  virtual bool makeDirectories(const std::string& path) { return makeDiskDirectories(path); }

  // The current time, seconds since the epoch, and setting it (false when that failed).
  virtual std::int64_t now() const = 0;
  virtual bool setClock(std::int64_t secondsSinceEpoch) = 0;
};

// Forwards every operation to another board, so that a test overrides only what it needs.
class BoardWrapper : public Board {
 public:
  explicit BoardWrapper(Board& target) : target_(target) {}

  std::string hostPortPath() const override { return target_.hostPortPath(); }
  std::string printerPortPath() const override { return target_.printerPortPath(); }
  std::string identityMemoryPath() const override { return target_.identityMemoryPath(); }
  std::string cardDevicePath() const override { return target_.cardDevicePath(); }
  std::string cardMountPoint() const override { return target_.cardMountPoint(); }
  std::string nvPath(std::string_view name) const override { return target_.nvPath(name); }
  std::string serviceLockPath() const override { return target_.serviceLockPath(); }
  bool runMountCommand() override { return target_.runMountCommand(); }
  bool cardMounted() const override { return target_.cardMounted(); }
  std::optional<std::uint64_t> cardAvailableBytes() const override { return target_.cardAvailableBytes(); }
  std::unique_ptr<RandomAccessFile> openFile(const std::string& path, FileMode mode) override {
    return target_.openFile(path, mode);
  }
  PathState pathState(const std::string& path) const override { return target_.pathState(path); }
  bool replaceFile(const std::string& path, bytes::View contents) override { return target_.replaceFile(path, contents); }
  bool makeDirectories(const std::string& path) override { return target_.makeDirectories(path); }
  std::int64_t now() const override { return target_.now(); }
  bool setClock(std::int64_t secondsSinceEpoch) override { return target_.setClock(secondsSinceEpoch); }

 private:
  Board& target_;
};

// Every byte of a small file opened through the board; nullopt when it cannot be opened or
// read, or holds more than kMaxWholeFileBytes (no table file comes near).
inline constexpr std::uint64_t kMaxWholeFileBytes = 1 << 20;
std::optional<bytes::Bytes> readWholeFile(Board& board, const std::string& path);

std::unique_ptr<Board> makeRealBoard();
// A simulated board on the directory `root`.
std::unique_ptr<Board> makeSimulatedBoard(std::string root);
// The simulated board of FRCORE_ROOT when it is set, otherwise the real board.
std::unique_ptr<Board> boardFromEnvironment();

}  // namespace platform
