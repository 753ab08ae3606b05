#include "documents/close_cycle_doc.h"

#include <utility>

#include "storage/counter_reports.h"
#include "values/cp866.h"
#include "values/tags.h"

CloseCycleDoc::CloseCycleDoc() : BaseWorkDocument(DocumentType::kShiftClosing) {}

CloseCycleDoc::CloseCycleDoc(const ModelData* model, const RegData* registration, Cashier cashier)
    : BaseWorkDocument(DocumentType::kShiftClosing, model, registration, std::move(cashier)) {}

std::shared_ptr<BaseDocument> CloseCycleDoc::clone() const {
  auto copy = std::make_shared<CloseCycleDoc>();
  copyTo(copy.get());
  return copy;
}

std::string CloseCycleDoc::title() const { return std::string("Z-Отчет"_cp866); }

std::string CloseCycleDoc::headerText() const { return headerWithShiftText(); }

BaseDocument* CloseCycleDoc::copyTo(BaseDocument* other) const {
  return dynamic_cast<CloseCycleDoc*>(BaseWorkDocument::copyTo(other));
}

int CloseCycleDoc::finish(std::uint32_t now, bytes::View /*key*/, bytes::View /*finishingData*/,
                          std::uint16_t& missingTag, const DeviceState& state) {
  dateTime_ = now;
  shiftNumber_ = state.shiftNumber();
  return requireCashierName(missingTag);
}

bytes::Bytes CloseCycleDoc::closeReply(const DeviceState& state) const {
  bytes::Bytes reply = BaseWorkDocument::closeReply(state);
  bytes::appendU16(reply, shiftNumber_);
  return reply;
}

void CloseCycleDoc::setStoredTag(const TlvItem& item) {
  if (item.tag() != tag::kShiftCounters) {
    BaseWorkDocument::setStoredTag(item);
    return;
  }
  shiftCounters_ = CounterSet{};
  tlvToCounters(item, *shiftCounters_);
}

bytes::Bytes CloseCycleDoc::toStored() const {
  bytes::Bytes stored = BaseWorkDocument::toStored();
  appendU16Item(stored, tag::kShiftNumber, shiftNumber_);
  if (shiftCounters_) appendItem(stored, countersToTlv(*shiftCounters_, true));
  return stored;
}

bytes::Bytes CloseCycleDoc::signData() const {
  bytes::Bytes data;
  appendRegistrationCheck(data);
  bytes::appendU32(data, documentNumber_);
  bytes::appendU16(data, shiftNumber_);
  bytes::appendU32(data, dateTime_);
  return data;
}

std::string CloseCycleDoc::reportText() const {
  return counterReport(true, shiftCounters_ ? &*shiftCounters_ : nullptr, registration_);
}
