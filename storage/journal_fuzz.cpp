// Arbitrary journal files: the reader never reads outside them, a journal it accepts encodes
// back to the same bytes, and resolving it against an archive never writes outside the
// archive's fixed head. A broken invariant aborts.
#include <cstdlib>
#include <filesystem>

#include "platform/fault_injecting_board.h"
#include "storage/archive_layout.h"
#include "storage/store_transaction.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bytes::View input(data, size);
  if (size >= journal::kHeaderSize) {
    const bytes::View header = input.first(journal::kHeaderSize);
    const auto record = journal::decode(header, input.subspan(journal::kHeaderSize));
    if (record) require(journal::encode(*record) == bytes::Bytes(input.begin(), input.end()));
  }

  // Against a small stand-in archive: what the journal names outside the fixed head is refused
  // before anything is written, so the data area stays as it was.
  static const std::string root = std::filesystem::temp_directory_path() / "frcore-journal-fuzz";
  static auto simulated = platform::makeSimulatedBoard(root);
  static platform::FaultInjectingBoard board(*simulated);  // kept: its buffers are reused
  static const bytes::Bytes blank(archive_layout::kDataOffset + 64, 0);
  const std::string archivePath = root + "/archive", journalPath = root + "/journal";
  board.setContents(archivePath, blank);
  board.setContents(journalPath, input);
  auto archive = board.openFile(archivePath, platform::FileMode::ReadWrite);
  auto journal = board.openFile(journalPath, platform::FileMode::ReadWrite);
  recoverJournal(*archive, *journal);
  require(board.contents(archivePath, archive_layout::kSecondMagicOffset, 68) == bytes::Bytes(68, 0));
  return 0;
}
