// Arbitrary archive heads: the input overlays the slots and counters, the first index records
// and the start of the document data of a fresh archive; the start-up path (journal, damage
// checks, validation, shift state) and loading the first documents must neither crash nor
// read outside the file, and an archive that start-up accepts must load its last document or
// refuse it with a code. A broken invariant aborts.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/fault_injecting_board.h"
#include "storage/archive_layout.h"
#include "storage/archive_startup.h"
#include "storage/card.h"

namespace {

using namespace archive_layout;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kSlotsAndCounters = kZeroAreaOffset - kLastShiftOpenSlot;  // the four slots up to the zero area
constexpr std::size_t kIndexPart = 4 * 64;

struct Fixture {
  Fixture() {
    root = std::filesystem::temp_directory_path() / "frcore-startup-fuzz";
    std::filesystem::create_directories(root + "/dev");
    std::ofstream(root + "/dev/mmcblk0p1").put('\0');
    simulated = platform::makeSimulatedBoard(root);
    card::mountCard(*simulated);
    fresh.assign(kDataOffset, 0);
    for (std::uint64_t at : {kMagicOffset, kSecondMagicOffset}) bytes::storeU32(fresh, at, kMagic);
    bytes::storeU32(fresh, kArchiveIdOffset, 0x12345678);
  }
  std::string root;
  std::unique_ptr<platform::Board> simulated;
  bytes::Bytes fresh;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  static bytes::Bytes image;
  const bytes::View input(data, size);
  image.assign(fixture.fresh.begin(), fixture.fresh.end());
  const std::size_t slots = std::min(size, kSlotsAndCounters);
  std::copy_n(input.begin(), slots, image.begin() + kLastShiftOpenSlot);
  const std::size_t index = std::min(size - slots, kIndexPart);
  std::copy_n(input.begin() + slots, index, image.begin() + kIndexOffset);
  image.insert(image.end(), input.begin() + slots + index, input.end());

  static platform::FaultInjectingBoard board(*fixture.simulated);  // kept: its buffers are reused
  const std::string path = card::archivePath(board);
  board.setContents(path, image);
  board.setContents(path + ".JNL", {});
  DeviceState state;
  IdentityMemory identity(board);
  auto store = startArchive(board, state, identity);
  require(store != nullptr);
  const auto [last, time] = store->lastDocumentInfo();
  (void)time;
  for (std::uint32_t n = 1; n <= std::min<std::uint32_t>(last, 4); ++n) {
    std::shared_ptr<BaseWorkDocument> document;
    const int code = store->loadDocument(n, document);
    require(code != 0 || document != nullptr);
  }
  require(board.contents(path).size() >= image.size() || !state.hasStatusFlag(FrStatus::kArchiveReady));
  return 0;
}
