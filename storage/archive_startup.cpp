#include "storage/archive_startup.h"

#include "storage/card.h"

std::unique_ptr<ArchiveStore> startArchive(platform::Board& board, DeviceState& state, IdentityMemory& identity) {
  if (!card::mountCard(board)) {
    state.setStatusFlag(FrStatus::kCardPresent | FrStatus::kArchiveReady, false);
    return nullptr;
  }
  auto archive = std::make_unique<ArchiveStore>(card::archivePath(board), board, state, identity);
  state.setStatusFlag(FrStatus::kCardPresent | FrStatus::kArchiveReady, true);
  if (!archive->createOrValidate() || !archive->openArchive()) state.setStatusFlag(FrStatus::kArchiveReady, false);
  state.setDocumentCapacity(archive->documentCapacity());
  state.setFiscalizationCount(archive->fiscalizationCount());
  const auto [number, time] = archive->lastDocumentInfo();
  state.setLastDocumentNumber(number);
  state.setLastDocumentTime(time);
  archive->loadShiftState();
  return archive;
}
