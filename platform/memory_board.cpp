#include "platform/memory_board.h"

#include <filesystem>
#include <fstream>

namespace platform {

namespace {

std::unique_ptr<Board> simulatedBoardWithCard(const std::string& root) {
  auto board = makeSimulatedBoard(root);
  std::filesystem::create_directories(std::filesystem::path(board->cardDevicePath()).parent_path());
  std::filesystem::create_directories(board->cardMountPoint());
  std::ofstream(board->cardDevicePath()).put('\0');
  return board;
}

}  // namespace

MemoryBoard::MemoryBoard(const std::string& root) : MemoryBoard(simulatedBoardWithCard(root)) {}

MemoryBoard::MemoryBoard(std::unique_ptr<Board> simulated) : BoardWrapper(*simulated), simulated_(std::move(simulated)) {}

MemoryBoard::~MemoryBoard() = default;

std::unique_ptr<RandomAccessFile> MemoryBoard::openFile(const std::string& path, FileMode mode) {
  auto found = files_.find(path);
  if (found == files_.end()) {
    if (mode == FileMode::ReadOnly || mode == FileMode::ReadWrite) return nullptr;
    found = files_.emplace(path, std::make_shared<SparseImage>()).first;
  } else if (mode == FileMode::CreateNew) {
    return nullptr;
  }
  return openSparseImage(found->second, mode != FileMode::ReadOnly);
}

// The files are the board's own; the card's device file is the one path looked up on disk.
PathState MemoryBoard::pathState(const std::string& path) const {
  if (files_.count(path) != 0) return PathState::Exists;
  return path == cardDevicePath() ? BoardWrapper::pathState(path) : PathState::Missing;
}

bool MemoryBoard::replaceFile(const std::string& path, bytes::View contents) {
  auto& image = files_[path];
  if (!image) image = std::make_shared<SparseImage>();
  image->replace(contents);
  return true;
}

bool MemoryBoard::setClock(std::int64_t secondsSinceEpoch) {
  now_ = secondsSinceEpoch;
  return true;
}

bytes::Bytes MemoryBoard::contents(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? bytes::Bytes() : found->second->contents();
}

void MemoryBoard::setContents(const std::string& path, bytes::View data) {
  auto& image = files_[path];
  if (!image) image = std::make_shared<SparseImage>();
  image->assign(data);
}

std::uint64_t MemoryBoard::changedBytes() const {
  std::uint64_t total = 0;
  for (const auto& [path, image] : files_) total += image->changedBytes();
  return total;
}

void MemoryBoard::checkpoint() {
  checkpointPaths_.clear();
  for (const auto& [path, image] : files_) {
    image->clearChanges();
    checkpointPaths_.insert(path);
  }
  checkpointNow_ = now_;
}

void MemoryBoard::rollback() {
  for (auto file = files_.begin(); file != files_.end();) {
    if (checkpointPaths_.count(file->first) == 0) {
      file = files_.erase(file);
      continue;
    }
    file->second->undoChanges(0);
    ++file;
  }
  now_ = checkpointNow_;
}

std::filesystem::path scratchDirectory() {
  std::error_code error;
  return std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::filesystem::temp_directory_path();
}

}  // namespace platform
