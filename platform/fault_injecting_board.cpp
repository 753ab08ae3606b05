#include "platform/fault_injecting_board.h"

#include <algorithm>
#include <vector>

namespace platform {

// A file's bytes and, for each write since its last sync, what that write replaced.
struct FaultInjectingBoard::Image {
  struct Unsynced {
    std::uint64_t sequence;  // over the whole board, to find the newest write
    std::uint64_t offset;
    std::uint64_t length;
    std::uint64_t sizeBefore;
    bytes::Bytes replaced;  // the bytes that lay in [offset, min(offset + length, sizeBefore))
  };

  bytes::Bytes data;
  std::vector<Unsynced> unsynced;

  void write(std::uint64_t sequence, std::uint64_t offset, bytes::View bytes) {
    Unsynced record{sequence, offset, bytes.size(), data.size(), {}};
    if (offset < data.size()) {
      const auto end = std::min<std::uint64_t>(offset + bytes.size(), data.size());
      record.replaced.assign(data.begin() + static_cast<std::ptrdiff_t>(offset),
                             data.begin() + static_cast<std::ptrdiff_t>(end));
    }
    if (offset + bytes.size() > data.size()) data.resize(offset + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
    unsynced.push_back(std::move(record));
  }

  // Puts back what the write replaced from `from` (an offset inside it) to its end.
  void undo(const Unsynced& record, std::uint64_t from) {
    for (std::uint64_t at = from; at < record.offset + record.replaced.size(); ++at) {
      data[at] = record.replaced[at - record.offset];
    }
    const std::uint64_t kept = from > record.offset ? std::max(record.sizeBefore, from) : record.sizeBefore;
    if (data.size() > kept) data.resize(kept);
  }

  void powerCut(PowerCut how, std::uint64_t newestSequence) {
    for (auto it = unsynced.rbegin(); it != unsynced.rend(); ++it) {
      if (how == PowerCut::DropUnsynced) {
        undo(*it, it->offset);
      } else if (it->sequence == newestSequence) {
        // The sectors wholly written survive; the rest of the write never reached the card.
        const std::uint64_t end = it->offset + it->length;
        const std::uint64_t torn = end == 0 ? 0 : (end - 1) / kSectorSize * kSectorSize;
        undo(*it, std::max(torn, it->offset));
      }
    }
    unsynced.clear();
  }
};

class FaultInjectingBoard::MemoryFile final : public RandomAccessFile {
 public:
  MemoryFile(FaultInjectingBoard& board, std::shared_ptr<Image> image, bool writable)
      : board_(board), image_(std::move(image)), writable_(writable) {}

  bool readAt(std::uint64_t offset, bytes::MutableView out) override {
    bool completes = false;
    if (board_.fails(Operation::Read, completes) && !completes) return false;
    const bytes::Bytes& data = image_->data;
    if (offset > data.size() || out.size() > data.size() - offset) return false;
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
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
    image_->write(++board_.writeSequence_, offset, data);
    return !board_.dead_;
  }

  bool sync() override {
    bool completes = false;
    if (board_.fails(Operation::Sync, completes) && !completes) return false;
    image_->unsynced.clear();
    return !board_.dead_;
  }

  std::optional<std::uint64_t> size() override {
    if (board_.dead_) return std::nullopt;
    return image_->data.size();
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
      image->data.resize(*size);
      if (!disk->readAt(0, image->data)) return nullptr;
      if (mode == FileMode::CreateNew) return nullptr;
    } else if (mode == FileMode::ReadOnly || mode == FileMode::ReadWrite || state == PathState::Unknown) {
      return nullptr;
    }
    found = files_.emplace(path, std::move(image)).first;
  }
  return std::make_unique<MemoryFile>(*this, found->second, mode != FileMode::ReadOnly);
}

PathState FaultInjectingBoard::pathState(const std::string& path) const {
  if (files_.count(path) != 0) return PathState::Exists;
  return BoardWrapper::pathState(path);
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
  return found == files_.end() ? bytes::Bytes() : found->second->data;
}

bytes::Bytes FaultInjectingBoard::contents(const std::string& path, std::uint64_t offset, std::uint64_t count) const {
  const auto found = files_.find(path);
  if (found == files_.end() || offset >= found->second->data.size()) return {};
  const bytes::Bytes& data = found->second->data;
  const auto end = static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(data.size(), offset + count));
  return bytes::Bytes(data.begin() + static_cast<std::ptrdiff_t>(offset), data.begin() + end);
}

void FaultInjectingBoard::setContents(const std::string& path, bytes::View data) {
  auto& image = files_[path];
  if (!image) image = std::make_shared<Image>();
  image->data.assign(data.begin(), data.end());  // keeps the buffer: tests put back 16 MiB often
  image->unsynced.clear();
}

std::uint64_t FaultInjectingBoard::unsyncedBytes(const std::string& path) const {
  const auto found = files_.find(path);
  if (found == files_.end()) return 0;
  std::uint64_t total = 0;
  for (const auto& record : found->second->unsynced) total += record.length;
  return total;
}

}  // namespace platform
