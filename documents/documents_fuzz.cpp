// Bytes from outside as a stored document: the first byte picks the type, the rest are the
// stored items. Every operation runs on the rebuilt document; besides crashes and sanitizer
// reports, a stored form that does not settle after being rebuilt aborts.
#include <cstdlib>

#include "documents/archive_close_doc.h"
#include "documents/cash_ctrl_document.h"
#include "documents/close_cycle_doc.h"
#include "documents/document_factory.h"
#include "documents/fiscalization_document.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::shared_ptr<BaseWorkDocument> rebuild(const DocDescriptor& descriptor, bytes::View stored) {
  return rebuildDocument(descriptor, stored, nullptr, nullptr);
}

void exercise(BaseWorkDocument& document, const DeviceState& state) {
  require(!document.title().empty() || document.type() == DocumentType::kReceipt);
  (void)document.headerText();
  (void)document.footerText(true);
  (void)document.closeReply(state);
  require(!document.statusReply().empty());
  (void)document.signData();
  (void)document.isComplete();
  require(document.makeDescriptor()->type() == document.type());
  require(document.clone()->type() == document.type());
  if (auto* fiscalization = dynamic_cast<FiscalizationDocument*>(&document)) {
    (void)fiscalization->reportHeaderText();
    (void)fiscalization->reportText();
  } else if (auto* shiftClose = dynamic_cast<CloseCycleDoc*>(&document)) {
    (void)shiftClose->reportText();
  } else if (auto* archiveClose = dynamic_cast<ArchiveCloseDoc*>(&document)) {
    (void)archiveClose->reportText();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const DeviceState state;
  const bytes::View stored(data, size);
  DocDescriptor descriptor;
  descriptor.setType(static_cast<std::uint8_t>(data[0] % 8));
  const auto document = rebuild(descriptor, stored);
  if (document == nullptr) return 0;
  exercise(*document, state);

  // A stored form may be normalised once by rebuilding (texts cut at a zero byte or refused
  // as too long, counters in their canonical form); after that it must be stable.
  const DocDescriptor rebuiltDescriptor = *document->makeDescriptor();
  bytes::Bytes previous = document->toStored();
  for (int round = 0; round < 2; ++round) {
    const auto again = rebuild(rebuiltDescriptor, previous);
    require(again != nullptr);
    bytes::Bytes next = again->toStored();
    if (round == 1) require(next == previous);
    previous = std::move(next);
  }
  return 0;
}
