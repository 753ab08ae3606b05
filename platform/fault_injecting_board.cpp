#include "platform/fault_injecting_board.h"

#include <algorithm>

#include "platform/sparse_image.h"

namespace platform {

// A file's bytes, whose change log holds the writes since its last sync, and where the newest
// of them lies.
struct FaultInjectingBoard::Image {
  SparseImage data;
  std::uint64_t newestSequence = 0;  // over the whole board, to find the newest write
  std::uint64_t newestEnd = 0;
  std::uint64_t newestOffset = 0;

  bool write(std::uint64_t sequence, std::uint64_t offset, bytes::View bytes) {
    if (!data.write(offset, bytes)) return false;
    newestSequence = sequence;
    newestOffset = offset;
    newestEnd = offset + bytes.size();
    return true;
  }

  void powerCut(PowerCut how, std::uint64_t newestOnBoard) {
    if (how == PowerCut::DropUnsynced) {
      data.undoChanges(0);
    } else if (data.changeCount() > 0 && newestSequence == newestOnBoard) {
      // The sectors wholly written survive; the rest of the write never reached the card.
      const std::uint64_t torn = newestEnd == 0 ? 0 : (newestEnd - 1) / kSectorSize * kSectorSize;
      data.undoNewestFrom(std::max(torn, newestOffset));
    }
    data.clearChanges();
  }
};

class FaultInjectingBoard::MemoryFile final : public RandomAccessFile {
 public:
  MemoryFile(FaultInjectingBoard& board, std::shared_ptr<Image> image, bool writable)
      : board_(board), image_(std::move(image)), writable_(writable) {}

  bool readAt(std::uint64_t offset, bytes::MutableView out) override {
    bool completes = false;
    if (board_.fails(Operation::Read, completes) && !completes) return false;
    if (!image_->data.read(offset, out)) return false;
    return !board_.dead_;
  }

  bool writeAt(std::uint64_t offset, bytes::View data) override {
    if (!writable_) return false;
    const std::uint64_t number = board_.count(Operation::Write);
    bool completes = false;
    if (board_.fails(Operation::Write, completes) && !completes) return false;
    if (board_.shortWrite_ == number) {
      image_->write(++board_.writeSequence_, offset, data.first(data.size() / 2));
      return false;
    }
    if (!image_->write(++board_.writeSequence_, offset, data)) return false;
    return !board_.dead_;
  }

  bool sync() override {
    bool completes = false;
    if (board_.fails(Operation::Sync, completes) && !completes) return false;
    image_->data.clearChanges();
    return !board_.dead_;
  }

  std::optional<std::uint64_t> size() override {
    if (board_.dead_) return std::nullopt;
    return image_->data.size();
  }

  std::optional<std::uint64_t> nextData(std::uint64_t offset) override {
    if (board_.dead_) return std::nullopt;
    return image_->data.nextData(offset);
  }

 private:
  FaultInjectingBoard& board_;
  std::shared_ptr<Image> image_;
  bool writable_;
};

FaultInjectingBoard::FaultInjectingBoard(Board& target) : BoardWrapper(target) {}
FaultInjectingBoard::~FaultInjectingBoard() = default;

std::unique_ptr<RandomAccessFile> FaultInjectingBoard::openFile(const std::string& path, FileMode mode) {
  if (dead_) return nullptr;
  auto found = files_.find(path);
  if (found != files_.end() && mode == FileMode::CreateNew) return nullptr;
  if (found == files_.end()) {
    auto image = std::make_shared<Image>();
    const PathState state = BoardWrapper::pathState(path);
    if (state == PathState::Exists) {
      auto disk = BoardWrapper::openFile(path, FileMode::ReadOnly);
      const auto size = disk ? disk->size() : std::nullopt;
      if (!size) return nullptr;
      bytes::Bytes loaded(*size);
      if (!disk->readAt(0, loaded)) return nullptr;
      image->data.assign(loaded);
      if (mode == FileMode::CreateNew) return nullptr;
    } else if (mode == FileMode::ReadOnly || mode == FileMode::ReadWrite || state == PathState::Unknown) {
      return nullptr;
    }
    found = files_.emplace(path, std::move(image)).first;
  }
  return std::make_unique<MemoryFile>(*this, found->second, mode != FileMode::ReadOnly);
}

PathState FaultInjectingBoard::pathState(const std::string& path) const {
  if (lookUpsFail_) return PathState::Unknown;
  if (files_.count(path) != 0) return PathState::Exists;
  return BoardWrapper::pathState(path);
}

bool FaultInjectingBoard::replaceFile(const std::string& path, bytes::View contents) {
  const std::uint64_t number = count(Operation::Write);
  bool completes = false;
  // A write that fails, is cut short or is the service's last leaves only the staged file,
  // which nothing reads.
  if (fails(Operation::Write, completes) || shortWrite_ == number) return false;
  if (fails(Operation::Sync, completes) && !completes) return false;
  auto& image = files_[path];
  if (!image) image = std::make_shared<Image>();
  image->data.assign(contents);
  return !dead_;
}

void FaultInjectingBoard::resetCounts() { std::fill(std::begin(counts_), std::end(counts_), 0); }

void FaultInjectingBoard::failAt(Operation kind, std::uint64_t n, bool persistent) {
  failures_[index(kind)] = Trigger{count(kind) + n, persistent};
}

void FaultInjectingBoard::shortWriteAt(std::uint64_t n) { shortWrite_ = count(Operation::Write) + n; }

void FaultInjectingBoard::dieAt(Operation kind, std::uint64_t n, bool completes) {
  deathKind_ = kind;
  deathAt_ = count(kind) + n;
  deathCompletes_ = completes;
}

void FaultInjectingBoard::clearFaults() {
  for (Trigger& trigger : failures_) trigger = Trigger{};
  shortWrite_.reset();
  deathKind_.reset();
  dead_ = false;
  lookUpsFail_ = false;
}

void FaultInjectingBoard::powerCut(PowerCut how) {
  for (auto& [path, image] : files_) image->powerCut(how, writeSequence_);
  clearFaults();
}

bool FaultInjectingBoard::fails(Operation kind, bool& completes) {
  const std::uint64_t number = counts_[index(kind)]++;
  completes = false;
  if (dead_) return true;
  if (deathKind_ == kind && deathAt_ == number) {
    dead_ = true;
    completes = deathCompletes_;
    return true;
  }
  const Trigger& trigger = failures_[index(kind)];
  return trigger.at && (number == *trigger.at || (trigger.persistent && number > *trigger.at));
}

bytes::Bytes FaultInjectingBoard::contents(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? bytes::Bytes() : found->second->data.contents();
}

bytes::Bytes FaultInjectingBoard::contents(const std::string& path, std::uint64_t offset, std::uint64_t count) const {
  const auto found = files_.find(path);
  return found == files_.end() ? bytes::Bytes() : found->second->data.contents(offset, count);
}

void FaultInjectingBoard::setContents(const std::string& path, bytes::View data) {
  auto& image = files_[path];
  if (!image) image = std::make_shared<Image>();
  image->data.assign(data);
}

std::uint64_t FaultInjectingBoard::unsyncedBytes(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? 0 : found->second->data.changedBytes();
}

}  // namespace platform
