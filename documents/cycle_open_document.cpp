#include "documents/cycle_open_document.h"

#include <utility>

#include "values/cp866.h"
#include "values/tags.h"

namespace {

std::uint16_t nextShift(const DeviceState& state) { return static_cast<std::uint16_t>(state.shiftNumber() + 1); }

}  // namespace

CycleOpenDocument::CycleOpenDocument() : BaseWorkDocument(DocumentType::kShiftOpening) {}

CycleOpenDocument::CycleOpenDocument(const ModelData* model, const RegData* registration, Cashier cashier)
    : BaseWorkDocument(DocumentType::kShiftOpening, model, registration, std::move(cashier)) {}

std::shared_ptr<BaseDocument> CycleOpenDocument::clone() const {
  auto copy = std::make_shared<CycleOpenDocument>();
  copyTo(copy.get());
  return copy;
}

std::string CycleOpenDocument::title() const { return std::string("Открытие смены"_cp866); }

std::string CycleOpenDocument::headerText() const { return headerWithShiftText(); }

int CycleOpenDocument::applyOpenData(bytes::View openData, const DeviceState& state) {
  const int result = BaseWorkDocument::applyOpenData(openData, state);
  shiftNumber_ = nextShift(state);
  return result;
}

int CycleOpenDocument::finish(std::uint32_t now, bytes::View /*key*/, bytes::View /*finishingData*/,
                              std::uint16_t& missingTag, const DeviceState& state) {
  dateTime_ = now;
  shiftNumber_ = nextShift(state);
  return requireCashierName(missingTag);
}

bytes::Bytes CycleOpenDocument::closeReply(const DeviceState& state) const {
  bytes::Bytes reply = BaseWorkDocument::closeReply(state);
  bytes::appendU16(reply, shiftNumber_);
  return reply;
}

bytes::Bytes CycleOpenDocument::toStored() const {
  bytes::Bytes stored = BaseWorkDocument::toStored();
  appendU16Item(stored, tag::kShiftNumber, shiftNumber_);
  return stored;
}

bytes::Bytes CycleOpenDocument::signData() const {
  bytes::Bytes data;
  appendRegistrationCheck(data);
  bytes::appendU16(data, shiftNumber_);
  bytes::appendU32(data, documentNumber_);
  bytes::appendU32(data, dateTime_);
  return data;
}
