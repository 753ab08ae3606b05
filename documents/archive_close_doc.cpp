#include "documents/archive_close_doc.h"

#include <utility>

#include "storage/counter_reports.h"
#include "values/cp866.h"
#include "values/tags.h"

ArchiveCloseDoc::ArchiveCloseDoc() : BaseWorkDocument(DocumentType::kArchiveClosing) {}

ArchiveCloseDoc::ArchiveCloseDoc(const ModelData* model, const RegData* registration, Cashier cashier)
    : BaseWorkDocument(DocumentType::kArchiveClosing, model, registration, std::move(cashier)) {}

std::shared_ptr<BaseDocument> ArchiveCloseDoc::clone() const {
  auto copy = std::make_shared<ArchiveCloseDoc>();
  copyTo(copy.get());
  return copy;
}

std::string ArchiveCloseDoc::title() const { return std::string("Отчет о закрытии архива"_cp866); }

int ArchiveCloseDoc::finish(std::uint32_t now, bytes::View /*key*/, bytes::View /*finishingData*/,
                            std::uint16_t& missingTag, const DeviceState& state) {
  dateTime_ = now;
  shiftNumber_ = state.shiftNumber();
  return requireCashierName(missingTag);
}

void ArchiveCloseDoc::setStoredTag(const TlvItem& item) {
  switch (item.tag()) {
    case tag::kPeriodCounters:
      periodCounters_ = CounterSet{};
      tlvToCounters(item, *periodCounters_);
      return;
    case tag::kTotalCounters:
      archiveTotals_ = TotalCounters{};
      tlvToCounters(item, *archiveTotals_);
      return;
    default: BaseWorkDocument::setStoredTag(item); return;
  }
}

bytes::Bytes ArchiveCloseDoc::toStored() const {
  bytes::Bytes stored = BaseWorkDocument::toStored();
  appendU16Item(stored, tag::kShiftNumber, shiftNumber_);
  if (periodCounters_) appendItem(stored, countersToTlv(*periodCounters_, false));
  if (archiveTotals_) appendItem(stored, totalsToTlv(*archiveTotals_));
  return stored;
}

bytes::Bytes ArchiveCloseDoc::signData() const {
  bytes::Bytes data;
  appendRegistrationCheck(data);
  bytes::appendU32(data, documentNumber_);
  bytes::appendU32(data, dateTime_);
  return data;
}

std::string ArchiveCloseDoc::reportText() const {
  std::string text = counterReport(false, periodCounters_ ? &*periodCounters_ : nullptr, registration_);
  if (archiveTotals_) text += totalsReport(*archiveTotals_);
  return text;
}
