#include "documents/fiscalization_document.h"

#include <optional>
#include <utility>

#include "reference/tax_rate.h"
#include "storage/counter_reports.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace {

constexpr std::uint16_t kTaxpayerNumberTag = 11018;
constexpr std::uint16_t kRegistrationNumberTag = 11037;
constexpr std::uint16_t kArchiveIdTag = 11041;
constexpr std::uint16_t kFirstTaxRateTag = TaxRate::kFirstTag;
constexpr std::uint16_t kLastTaxRateTag = TaxRate::kFirstTag + RegData::kTaxRateSlots - 1;

constexpr std::size_t kTaxpayerNumberSize = 12;
constexpr std::size_t kRegistrationNumberSize = 16;
constexpr std::size_t kFinishingDataSize = kTaxpayerNumberSize + kRegistrationNumberSize;

// The text fields the host sets by tag.
std::optional<RegData::Text> hostTextField(std::uint16_t tag) {
  switch (tag) {
    case 11048: return RegData::Text::UserName;
    case 11187: return RegData::Text::Place;
    case 11009: return RegData::Text::Address;
    default: return std::nullopt;
  }
}

// Every text field a stored fiscalization holds.
std::optional<RegData::Text> storedTextField(std::uint16_t tag) {
  switch (tag) {
    case kTaxpayerNumberTag: return RegData::Text::TaxpayerNumber;
    case kRegistrationNumberTag: return RegData::Text::RegistrationNumber;
    default: return hostTextField(tag);
  }
}

bool isTaxRateTag(std::uint16_t tag) { return tag >= kFirstTaxRateTag && tag <= kLastTaxRateTag; }

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
    if (text.empty() || text.size() > kMaxTextSize) return kBadRegistrationItem;
    registration_.setText(*field, text);
    return kOk;
  }
  if (isTaxRateTag(item.tag())) {
    TaxRate rate;
    std::size_t slot = 0;
    if (!rate.fromTlv(item, slot)) return kBadRegistrationItem;
    // A rate that is set but unusable would be refused by every receipt item.
    if (rate.kind() != 3 && !rate.isValid()) return kBadRegistrationItem;
    registration_.setTaxRateSlot(slot, rate.bytes());
    return kOk;
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
    return kMissingItem;
  };
  if (cashier_.name.empty()) return missing(DocumentTag::kCashierName);
  if (!registration_.taxpayerNumberValid()) return missing(kTaxpayerNumberTag);
  if (!registration_.registrationNumberValid()) return missing(kRegistrationNumberTag);
  if (registration_.text(RegData::Text::UserName).empty()) return missing(11048);
  if (registration_.text(RegData::Text::Place).empty()) return missing(11187);
  if (registration_.text(RegData::Text::Address).empty()) return missing(11009);
  if (!TaxRate::anyRateSet(registration_)) return missing(kFirstTaxRateTag);
  registration_.setRegistrationTime(now);
  return registration_.seal(model_.serialNumber(), key) ? kOk : kRegistrationNotSealed;
}

void FiscalizationDocument::setStoredTag(const TlvItem& item) {
  const std::uint16_t tag = item.tag();
  if (const auto field = storedTextField(tag)) {
    registration_.restoreText(*field, item.getText());
  } else if (tag == DocumentTag::kDateTime) {
    dateTime_ = item.getU32();
    registration_.setRegistrationTime(dateTime_);
  } else if (tag == kArchiveIdTag) {
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
