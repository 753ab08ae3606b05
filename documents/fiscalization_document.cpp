#include "documents/fiscalization_document.h"

#include <optional>
#include <utility>

#include "core/state/result_code.h"
#include "reference/tax_rate.h"
#include "storage/counter_reports.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace {

constexpr std::uint16_t kLastTaxRate = tag::kFirstTaxRate + RegData::kTaxRateSlots - 1;

constexpr std::size_t kTaxpayerNumberSize = 12;
constexpr std::size_t kRegistrationNumberSize = 16;
constexpr std::size_t kFinishingDataSize = kTaxpayerNumberSize + kRegistrationNumberSize;

// The text fields the host sets by tag.
std::optional<RegData::Text> hostTextField(std::uint16_t tag) {
  switch (tag) {
    case tag::kUserName: return RegData::Text::UserName;
    case tag::kPlace: return RegData::Text::Place;
    case tag::kAddress: return RegData::Text::Address;
    default: return std::nullopt;
  }
}

// Every text field a stored fiscalization holds.
std::optional<RegData::Text> storedTextField(std::uint16_t tag) {
  switch (tag) {
    case tag::kTaxpayerNumber: return RegData::Text::TaxpayerNumber;
    case tag::kRegistrationNumber: return RegData::Text::RegistrationNumber;
    default: return hostTextField(tag);
  }
}

bool isTaxRateTag(std::uint16_t tag) { return tag >= tag::kFirstTaxRate && tag <= kLastTaxRate; }

std::string_view asText(bytes::View data) { return {reinterpret_cast<const char*>(data.data()), data.size()}; }

}  // namespace

FiscalizationDocument::FiscalizationDocument() : BaseWorkDocument(DocumentType::kFiscalization) {}

FiscalizationDocument::FiscalizationDocument(const ModelData* model, Cashier cashier)
    : BaseWorkDocument(DocumentType::kFiscalization, model, nullptr, std::move(cashier)) {}

std::shared_ptr<BaseDocument> FiscalizationDocument::clone() const {
  auto copy = std::make_shared<FiscalizationDocument>();
  copyTo(copy.get());
  return copy;
}

bool FiscalizationDocument::sign(bytes::View key, std::string_view serial) {
  if (!model_.verify(key)) return false;
  fiscalSign_ = computeSign(key, serial);
  return true;
}

std::string FiscalizationDocument::title() const { return std::string("Отчет о фискализации/перерегистрации"_cp866); }

std::string FiscalizationDocument::headerText() const { return {}; }

BaseDocument* FiscalizationDocument::copyTo(BaseDocument* other) const {
  return dynamic_cast<FiscalizationDocument*>(BaseWorkDocument::copyTo(other));
}

int FiscalizationDocument::addTag(const TlvItem& item, std::string& printText) {
  if (const auto field = hostTextField(item.tag())) {
    const std::string text = item.getText();
    if (text.empty() || text.size() > kMaxTextSize) return result::kBadRegistrationText;
    registration_.setText(*field, text);
    return result::kSuccess;
  }
  if (isTaxRateTag(item.tag())) {
    TaxRate rate;
    std::size_t slot = 0;
    if (!rate.fromTlv(item, slot)) return result::kBadRegistrationText;
    // A rate that is set but unusable would be refused by every receipt item.
    if (rate.kind() != 3 && !rate.isValid()) return result::kBadRegistrationText;
    registration_.setTaxRateSlot(slot, rate.bytes());
    return result::kSuccess;
  }
  return BaseWorkDocument::addTag(item, printText);
}

int FiscalizationDocument::finish(std::uint32_t now, bytes::View key, bytes::View finishingData,
                                  std::uint16_t& missingTag, const DeviceState& /*state*/) {
  if (finishingData.size() == kFinishingDataSize) {
    registration_.setText(RegData::Text::TaxpayerNumber, asText(finishingData.first(kTaxpayerNumberSize)));
    registration_.setText(RegData::Text::RegistrationNumber, asText(finishingData.subspan(kTaxpayerNumberSize)));
  }
  dateTime_ = now;
  const auto missing = [&missingTag](std::uint16_t tag) {
    missingTag = tag;
    return result::kMandatoryMissing;
  };
  if (cashier_.name.empty()) return missing(tag::kCashierName);
  if (!registration_.taxpayerNumberValid()) return missing(tag::kTaxpayerNumber);
  if (!registration_.registrationNumberValid()) return missing(tag::kRegistrationNumber);
  if (registration_.text(RegData::Text::UserName).empty()) return missing(tag::kUserName);
  if (registration_.text(RegData::Text::Place).empty()) return missing(tag::kPlace);
  if (registration_.text(RegData::Text::Address).empty()) return missing(tag::kAddress);
  if (!TaxRate::anyRateSet(registration_)) return missing(tag::kFirstTaxRate);
  registration_.setRegistrationTime(now);
  return registration_.seal(model_.serialNumber(), key) ? result::kSuccess : result::kRegistrationIncomplete;
}

void FiscalizationDocument::setStoredTag(const TlvItem& item) {
  const std::uint16_t tag = item.tag();
  if (const auto field = storedTextField(tag)) {
    registration_.restoreText(*field, item.getText());
  } else if (tag == tag::kDateTime) {
    dateTime_ = item.getU32();
    registration_.setRegistrationTime(dateTime_);
  } else if (tag == tag::kArchiveId) {
    registration_.setArchiveId(item.getU32());
  } else if (isTaxRateTag(tag)) {
    TaxRate rate;
    std::size_t slot = 0;
    if (rate.fromTlv(item, slot)) registration_.setTaxRateSlot(slot, rate.bytes());
  } else if (tag == tag::kPeriodCounters) {
    periodCounters_ = CounterSet{};
    tlvToCounters(item, *periodCounters_);
  } else {
    BaseWorkDocument::setStoredTag(item);
  }
}

void FiscalizationDocument::sealRebuiltRegistration(bytes::View key) { registration_.seal(model_.serialNumber(), key); }

bytes::Bytes FiscalizationDocument::toStored() const {
  bytes::Bytes stored = BaseWorkDocument::toStored();
  for (const TlvItem& item : registration_.toTlvList()) appendItem(stored, item);
  if (periodCounters_) appendItem(stored, countersToTlv(*periodCounters_, false));
  return stored;
}

bytes::Bytes FiscalizationDocument::signData() const {
  bytes::Bytes data;
  appendRegistrationCheck(data);
  bytes::appendU32(data, shiftNumber_);
  bytes::appendU32(data, dateTime_);
  return data;
}

std::string FiscalizationDocument::reportHeaderText() const { return BaseDocument::headerText(); }

std::string FiscalizationDocument::reportText() const {
  return counterReport(false, periodCounters_ ? &*periodCounters_ : nullptr, registration_);
}
