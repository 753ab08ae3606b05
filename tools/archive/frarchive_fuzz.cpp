// Arbitrary archive bytes for frarchive: the input overlays the slots and counters and the first
// index records of a fresh archive, and the rest is its document data. The checker (with the
// device's identity, so that signs are checked too), the exports and the summary must neither
// crash nor read outside the file, and the checker's report stays bounded.
#include <algorithm>
#include <cstdlib>
#include <ostream>

#include "platform/sparse_image.h"
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

DeviceIdentity testIdentity() {
  DeviceIdentity identity;
  // The seeds' key: 10 11 .. 1F.
  for (std::uint8_t b = 0x10; b < 0x20; ++b) identity.key.push_back(b);
  identity.model.setSerialNumber("0000000042");
  identity.model.seal(identity.key);
  return identity;
}

// A fresh archive made once, sparse: only the magics and the id are held.
std::shared_ptr<platform::SparseImage> freshArchive() {
  auto image = std::make_shared<platform::SparseImage>();
  bytes::Bytes magic, id;
  bytes::appendU32(magic, kMagic);
  bytes::appendU32(id, 0x12345678);
  image->write(kMagicOffset, magic);
  image->write(kArchiveIdOffset, id);
  image->write(kSecondMagicOffset, magic);
  image->clearChanges();
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const DeviceIdentity identity = testIdentity();
  static const std::shared_ptr<platform::SparseImage> image = freshArchive();
  // The input's three pieces are the only changes; they are undone after it.
  const bytes::View input(data, size);
  const bytes::View slots = input.first(std::min(size, kSlotsAndCounters));
  const bytes::View index = input.subspan(slots.size()).first(std::min(size - slots.size(), kIndexPart));
  image->write(kLastShiftOpenSlot, slots);
  image->write(kIndexOffset, index);
  image->write(kDataOffset, input.subspan(slots.size() + index.size()));
  constexpr std::size_t kInputWrites = 3;

  const auto file = platform::openSparseImage(image, true);
  // The checker and the two exports each read the whole archive on their own: an input goes to
  // one of them, chosen by its length, which divides the work without leaving one unexplored.
  // The summary, cheap beside them, reads every input.
  std::ostream sink(nullptr);  // the output is not kept: a stream without a buffer drops it
  switch (size % 3) {
    case 0: {
      ArchiveCheckOptions options;
      options.identity = &identity;
      require(findArchiveProblems(*file, options).size() <= kMaxArchiveProblems + 1);
      break;
    }
    case 1: frarchive::exportDocuments(*file, {}, frarchive::Format::Json, sink, &identity); break;
    default: frarchive::exportDocuments(*file, {}, frarchive::Format::Csv, sink); break;
  }
  frarchive::summaryText(*file);
  require(image->changeCount() == kInputWrites);  // the tool never writes
  image->undoChanges(0);
  return 0;
}
