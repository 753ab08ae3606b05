// Arbitrary archive heads: the input overlays the slots and counters, the first index records
// and the start of the document data of a fresh archive; the start-up path (journal, damage
// checks, validation, shift state) and loading the first documents must neither crash nor
// read outside the file, and an archive that start-up accepts must load its last document or
// refuse it with a code. A broken invariant aborts.
//
// The fresh archive is made once on an in-memory board, sparse; each input writes its overlay
// into it and the board undoes what the input and the start-up wrote.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/memory_board.h"
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
  Fixture() : board(std::filesystem::temp_directory_path() / "frcore-startup-fuzz") {
    require(card::mountCard(board));
    path = card::archivePath(board);
    auto archive = board.openFile(path, platform::FileMode::CreateNew);
    bytes::Bytes magic, id;
    bytes::appendU32(magic, kMagic);
    bytes::appendU32(id, 0x12345678);
    require(archive->writeAt(kMagicOffset, magic) && archive->writeAt(kArchiveIdOffset, id) &&
            archive->writeAt(kSecondMagicOffset, magic));
    board.checkpoint();
  }
  platform::MemoryBoard board;
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  platform::MemoryBoard& board = fixture.board;
  const bytes::View input(data, size);
  const bytes::View slots = input.first(std::min(size, kSlotsAndCounters));
  const bytes::View index = input.subspan(slots.size()).first(std::min(size - slots.size(), kIndexPart));
  const bytes::View documents = input.subspan(slots.size() + index.size());
  {
    auto archive = board.openFile(fixture.path, platform::FileMode::ReadWrite);
    require(archive->writeAt(kLastShiftOpenSlot, slots) && archive->writeAt(kIndexOffset, index) &&
            archive->writeAt(kDataOffset, documents));
  }

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
  const auto archive = board.openFile(fixture.path, platform::FileMode::ReadOnly);
  require(archive->size() >= kDataOffset + documents.size() || !state.hasStatusFlag(FrStatus::kArchiveReady));
  board.rollback();
  return 0;
}
