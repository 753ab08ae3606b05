// Arbitrary journal files: the reader never reads outside them, a journal it accepts encodes
// back to the same bytes, and resolving it against an archive never writes outside the
// archive's fixed head. A broken invariant aborts.
#include <cstdlib>
#include <filesystem>

#include "platform/memory_board.h"
#include "storage/archive_layout.h"
#include "storage/store_transaction.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// A blank archive of the fixed head and 64 bytes of data on an in-memory board, made once; each
// input's journal and what resolving it wrote are undone after it.
struct Fixture {
  Fixture() : board(std::filesystem::temp_directory_path() / "frcore-journal-fuzz") {
    archivePath = board.cardMountPoint() + "archive";
    journalPath = board.cardMountPoint() + "journal";
    require(board.openFile(archivePath, platform::FileMode::CreateNew)->writeAt(kArchiveSize - 1, bytes::Bytes{0}));
    board.checkpoint();
  }
  static constexpr std::uint64_t kArchiveSize = archive_layout::kDataOffset + 64;
  platform::MemoryBoard board;
  std::string archivePath, journalPath;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bytes::View input(data, size);
  if (size >= journal::kHeaderSize) {
    const bytes::View header = input.first(journal::kHeaderSize);
    const auto record = journal::decode(header, input.subspan(journal::kHeaderSize));
    if (record) require(journal::encode(*record) == bytes::Bytes(input.begin(), input.end()));
  }

  // What the journal names outside the fixed head is refused before anything is written, so the
  // data area stays as it was.
  static Fixture fixture;
  auto archive = fixture.board.openFile(fixture.archivePath, platform::FileMode::ReadWrite);
  auto journal = fixture.board.openFile(fixture.journalPath, platform::FileMode::CreateNew);
  require(journal->writeAt(0, input));
  recoverJournal(*archive, *journal);
  bytes::Bytes pastTheHead(Fixture::kArchiveSize - archive_layout::kSecondMagicOffset);
  require(archive->readAt(archive_layout::kSecondMagicOffset, pastTheHead) &&
          pastTheHead == bytes::Bytes(pastTheHead.size(), 0));
  fixture.board.rollback();
  return 0;
}
