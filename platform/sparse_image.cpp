#include "platform/sparse_image.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace platform {
namespace {

std::uint64_t endOf(const std::pair<const std::uint64_t, bytes::Bytes>& extent) {
  return extent.first + extent.second.size();
}

std::ptrdiff_t at(std::uint64_t offset) { return static_cast<std::ptrdiff_t>(offset); }

// The first extent that ends after `offset`.
template <typename Extents>
auto firstEndingAfter(Extents& extents, std::uint64_t offset) {
  auto extent = extents.upper_bound(offset);
  if (extent != extents.begin() && endOf(*std::prev(extent)) > offset) --extent;
  return extent;
}

// Calls visit(from, piece) for each written piece of [begin, end), in order, without copying.
template <typename Extents, typename Visit>
void forEachPieceIn(const Extents& extents, std::uint64_t begin, std::uint64_t end, Visit visit) {
  for (auto extent = firstEndingAfter(extents, begin); extent != extents.end() && extent->first < end; ++extent) {
    const std::uint64_t from = std::max(begin, extent->first), to = std::min(end, endOf(*extent));
    const bytes::View piece(extent->second);
    visit(from, piece.subspan(from - extent->first, to - from));
  }
}

class ImageFile final : public RandomAccessFile {
 public:
  ImageFile(std::shared_ptr<SparseImage> image, bool writable) : image_(std::move(image)), writable_(writable) {}

  bool readAt(std::uint64_t offset, bytes::MutableView out) override { return image_->read(offset, out); }
  bool writeAt(std::uint64_t offset, bytes::View data) override { return writable_ && image_->write(offset, data); }
  bool sync() override { return true; }
  std::optional<std::uint64_t> size() override { return image_->size(); }
  std::optional<std::uint64_t> nextData(std::uint64_t offset) override { return image_->nextData(offset); }

 private:
  std::shared_ptr<SparseImage> image_;
  bool writable_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> openSparseImage(std::shared_ptr<SparseImage> image, bool writable) {
  return std::make_unique<ImageFile>(std::move(image), writable);
}

bool SparseImage::fits(std::uint64_t offset, std::uint64_t length) {
  return offset <= kMaxSize && length <= kMaxSize - offset;
}

bool SparseImage::read(std::uint64_t offset, bytes::MutableView out) const {
  if (offset > size_ || out.size() > size_ - offset) return false;
  // One call, where instrumented builds would loop per byte (memset takes no null pointer).
  if (!out.empty()) std::memset(out.data(), 0, out.size());
  forEachPieceIn(extents_, offset, offset + out.size(), [&](std::uint64_t from, bytes::View piece) {
    std::copy(piece.begin(), piece.end(), out.begin() + at(from - offset));
  });
  return true;
}

bytes::Bytes SparseImage::contents(std::uint64_t offset, std::uint64_t count) const {
  if (offset >= size_) return {};
  bytes::Bytes out(static_cast<std::size_t>(std::min(count, size_ - offset)));
  read(offset, out);
  return out;
}

bool SparseImage::write(std::uint64_t offset, bytes::View data) {
  if (!fits(offset, data.size())) return false;
  changes_.push_back({offset, data.size(), size_, extentsIn(offset, offset + data.size())});
  store(offset, data);
  if (!data.empty()) size_ = std::max(size_, offset + data.size());
  return true;
}

// A file put back whole again and again (tests restore 16 MiB images) keeps its buffer.
void SparseImage::assign(bytes::View data) {
  changes_.clear();
  size_ = data.size();
  bytes::Bytes buffer;
  if (const auto first = extents_.find(0); first != extents_.end()) buffer = std::move(first->second);
  extents_.clear();
  if (data.empty()) return;
  buffer.assign(data.begin(), data.end());
  extents_.emplace(0, std::move(buffer));
}

void SparseImage::replace(bytes::View data) {
  changes_.push_back({0, std::max<std::uint64_t>(size_, data.size()), size_, extentsIn(0, size_)});
  punch(0, size_);
  store(0, data);
  size_ = data.size();
}

std::optional<std::uint64_t> SparseImage::nextData(std::uint64_t offset) const {
  auto next = extents_.upper_bound(offset);
  if (next != extents_.begin() && endOf(*std::prev(next)) > offset) return offset;
  if (next == extents_.end()) return std::nullopt;
  return next->first;
}

std::uint64_t SparseImage::heldBytes() const {
  std::uint64_t total = 0;
  for (const auto& extent : extents_) total += extent.second.size();
  return total;
}

std::uint64_t SparseImage::changedBytes() const {
  std::uint64_t total = 0;
  for (const Change& change : changes_) total += change.length;
  return total;
}

void SparseImage::undoChanges(std::size_t keep) {
  while (changes_.size() > keep) {
    undo(changes_.back(), changes_.back().offset);
    changes_.pop_back();
  }
}

void SparseImage::undoNewestFrom(std::uint64_t from) {
  if (changes_.empty()) return;
  const Change& newest = changes_.back();
  undo(newest, std::clamp(from, newest.offset, newest.offset + newest.length));
}

// Copies of the written bytes inside [begin, end), by offset.
SparseImage::Extents SparseImage::extentsIn(std::uint64_t begin, std::uint64_t end) const {
  Extents found;
  forEachPieceIn(extents_, begin, end, [&](std::uint64_t from, bytes::View piece) {
    found.emplace(from, bytes::Bytes(piece.begin(), piece.end()));
  });
  return found;
}

void SparseImage::punch(std::uint64_t begin, std::uint64_t end) {
  if (begin >= end) return;
  auto extent = firstEndingAfter(extents_, begin);
  while (extent != extents_.end() && extent->first < end) {
    const std::uint64_t first = extent->first, last = endOf(*extent);
    bytes::Bytes& piece = extent->second;
    if (last > end) {
      extents_.emplace(end, bytes::Bytes(piece.begin() + at(end - first), piece.end()));
    }
    if (first < begin) {
      piece.resize(begin - first);  // the head stays where it is, unmoved
      ++extent;
    } else {
      extent = extents_.erase(extent);
    }
    if (last > end) break;
  }
}

// Writes without logging: the written range and every extent it overlaps or touches become
// one extent. The first of them keeps its buffer when it starts no later than the write, so
// that appending to a long extent copies only what is appended.
void SparseImage::store(std::uint64_t offset, bytes::View data) {
  if (data.empty()) return;
  const std::uint64_t end = offset + data.size();
  auto first = extents_.upper_bound(offset);
  if (first != extents_.begin() && endOf(*std::prev(first)) >= offset) --first;
  auto last = first;
  std::uint64_t mergedEnd = end;
  while (last != extents_.end() && last->first <= end) {
    mergedEnd = std::max(mergedEnd, endOf(*last));
    ++last;
  }
  if (first == last || first->first > offset) {
    // Nothing before the write to grow: a new extent takes the write and what it touches.
    bytes::Bytes merged(mergedEnd - offset, 0);
    for (auto extent = first; extent != last; ++extent) {
      std::copy(extent->second.begin(), extent->second.end(), merged.begin() + at(extent->first - offset));
    }
    std::copy(data.begin(), data.end(), merged.begin());
    extents_.erase(first, last);
    extents_.emplace(offset, std::move(merged));
    return;
  }
  const std::uint64_t base = first->first;
  bytes::Bytes& grown = first->second;
  grown.resize(mergedEnd - base, 0);
  for (auto extent = std::next(first); extent != last; ++extent) {
    std::copy(extent->second.begin(), extent->second.end(), grown.begin() + at(extent->first - base));
  }
  std::copy(data.begin(), data.end(), grown.begin() + at(offset - base));
  extents_.erase(std::next(first), last);
}

void SparseImage::truncate(std::uint64_t size) {
  punch(size, std::max(size, size_));
  size_ = size;
}

// Puts back what the change replaced from `from` to its end; a change undone from its start
// leaves the file at its size before (larger or smaller than now, after a replace).
void SparseImage::undo(const Change& change, std::uint64_t from) {
  punch(from, change.offset + change.length);
  for (const auto& [begin, piece] : change.replaced) {
    const std::uint64_t pieceEnd = begin + piece.size();
    if (pieceEnd <= from) continue;
    const std::uint64_t kept = std::max(begin, from);
    store(kept, bytes::View(piece).subspan(kept - begin));
  }
  const std::uint64_t size = from > change.offset ? std::max(change.sizeBefore, from) : change.sizeBefore;
  truncate(size);
}

}  // namespace platform
