// Arbitrary archive bytes for frarchive: the input overlays the slots and counters and the first
// index records of a fresh archive, and the rest is its document data. The checker (with the
// device's identity, so that signs are checked too), the export and the summary must neither
// crash nor read outside the file, and the checker's report stays bounded.
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "storage/archive_checker.h"
#include "storage/archive_layout.h"
#include "tools/archive/archive_export.h"
#include "tools/archive/archive_summary.h"

namespace {

using namespace archive_layout;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kSlotsAndCounters = kZeroAreaOffset - kLastShiftOpenSlot;  // the four slots up to the zero area
constexpr std::size_t kIndexPart = 8 * 64;

// The archive in memory; reads outside it fail, as a file's would.
class MemoryFile final : public platform::RandomAccessFile {
 public:
  explicit MemoryFile(const bytes::Bytes& image) : image_(image) {}
  bool readAt(std::uint64_t offset, bytes::MutableView out) override {
    if (offset > image_.size() || out.size() > image_.size() - offset) return false;
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  }
  bool writeAt(std::uint64_t, bytes::View) override { std::abort(); }  // the tool never writes
  bool sync() override { return true; }
  std::optional<std::uint64_t> size() override { return image_.size(); }

 private:
  const bytes::Bytes& image_;
};

DeviceIdentity testIdentity() {
  DeviceIdentity identity;
  // The seeds' key: 10 11 .. 1F.
  for (std::uint8_t b = 0x10; b < 0x20; ++b) identity.key.push_back(b);
  identity.model.setSerialNumber("0000000042");
  identity.model.seal(identity.key);
  return identity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const DeviceIdentity identity = testIdentity();
  static bytes::Bytes image = [] {
    bytes::Bytes fresh(kDataOffset, 0);
    for (std::uint64_t at : {kMagicOffset, kSecondMagicOffset}) bytes::storeU32(fresh, at, kMagic);
    bytes::storeU32(fresh, kArchiveIdOffset, 0x12345678);
    return fresh;
  }();
  // Only the overlaid areas and the data change from one input to the next.
  image.resize(kDataOffset);
  std::fill_n(image.begin() + kLastShiftOpenSlot, kSlotsAndCounters, 0);
  std::fill_n(image.begin() + kIndexOffset, kIndexPart, 0);
  const bytes::View input(data, size);
  const std::size_t slots = std::min(size, kSlotsAndCounters);
  std::copy_n(input.begin(), slots, image.begin() + kLastShiftOpenSlot);
  const std::size_t index = std::min(size - slots, kIndexPart);
  std::copy_n(input.begin() + slots, index, image.begin() + kIndexOffset);
  image.insert(image.end(), input.begin() + slots + index, input.end());

  MemoryFile file(image);
  ArchiveCheckOptions options;
  options.identity = &identity;
  require(findArchiveProblems(file, options).size() <= kMaxArchiveProblems + 1);
  std::ostringstream sink;
  frarchive::exportDocuments(file, {}, frarchive::Format::Json, sink, &identity);
  frarchive::exportDocuments(file, {}, frarchive::Format::Csv, sink);
  frarchive::summaryText(file);
  return 0;
}
