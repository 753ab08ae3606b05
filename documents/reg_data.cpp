#include "documents/reg_data.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "printer/print_layout.h"
#include "reference/tax_rate.h"
#include "values/cp866.h"
#include "values/crc.h"
#include "values/tags.h"

namespace {

constexpr bytes::Field fieldOf(RegData::Text text) {
  switch (text) {
    case RegData::Text::RegistrationNumber: return RegData::kRegistrationNumberField;
    case RegData::Text::TaxpayerNumber: return RegData::kTaxpayerNumberField;
    case RegData::Text::UserName: return RegData::kUserNameField;
    case RegData::Text::Place: return RegData::kPlaceField;
    case RegData::Text::Address: return RegData::kAddressField;
  }
  throw std::logic_error("unknown registration text field");
}

// The digits both numbers must begin with; the rest of the field is digits or 0x00.
constexpr std::size_t kMandatoryDigits = 10;

constexpr std::uint16_t kRateNotSet = 0xC000;
constexpr unsigned kTextFont = 1;

// The text fields in the order of the registration's item list.
constexpr std::pair<std::uint16_t, RegData::Text> kTextTags[] = {
    {tag::kRegistrationNumber, RegData::Text::RegistrationNumber},
    {tag::kTaxpayerNumber, RegData::Text::TaxpayerNumber},
    {tag::kUserName, RegData::Text::UserName},
    {tag::kPlace, RegData::Text::Place},
    {tag::kAddress, RegData::Text::Address},
};

bool isDigit(std::uint8_t b) { return b >= '0' && b <= '9'; }

// The field's first kMandatoryDigits bytes digits, the rest digits or zero.
bool digitField(bytes::View raw, const bytes::Field& field) {
  const bytes::View digits = bytes::slice(raw, field);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (!isDigit(digits[i]) && (i < kMandatoryDigits || digits[i] != 0)) return false;
  }
  return true;
}

}  // namespace

RegData::RegData() {
  for (std::size_t i = 0; i < kTaxRateSlots; ++i) {
    bytes::storeU16(raw_, kTaxRatesField.element(i).offset, kRateNotSet);
  }
}

RegData RegData::fromBytes(bytes::View stored) {
  if (stored.size() != kSize) throw std::invalid_argument("a registration record is 968 bytes");
  RegData record;
  std::copy(stored.begin(), stored.end(), record.raw_.begin());
  return record;
}

std::string RegData::text(Text field) const {
  const bytes::Field f = fieldOf(field);
  std::string text = bytes::fieldText(bytes::slice(raw_, f));
  if (text.size() == f.size()) text.push_back('\0');
  return text;
}

bool RegData::setText(Text field, std::string_view text) {
  const bytes::Field f = fieldOf(field);
  if (text.size() > f.size()) return false;
  bytes::storeBytes(raw_, f, bytes::view(text));
  return true;
}

bool RegData::restoreText(Text field, std::string_view text) {
  if (text.size() == fieldOf(field).size() + 1 && text.back() == '\0') text.remove_suffix(1);
  return setText(field, text);
}

bytes::View RegData::taxRateSlot(std::size_t index) const {
  return bytes::slice(raw_, kTaxRatesField.element(index));
}

void RegData::setTaxRateSlot(std::size_t index, bytes::View slot) {
  if (index >= kTaxRateSlots) return;
  bytes::storeBytes(raw_, kTaxRatesField.element(index), slot);
}

std::uint32_t RegData::registrationTime() const { return bytes::loadU32(raw_, kRegistrationTimeField); }
void RegData::setRegistrationTime(std::uint32_t seconds) { bytes::storeU32(raw_, kRegistrationTimeField, seconds); }
std::uint32_t RegData::archiveId() const { return bytes::loadU32(raw_, kArchiveIdField); }
void RegData::setArchiveId(std::uint32_t id) { bytes::storeU32(raw_, kArchiveIdField, id); }
std::uint32_t RegData::checkValue() const { return bytes::loadU32(raw_, kCheckValueField); }

bool RegData::isComplete() const {
  const std::uint32_t time = registrationTime();
  return !text(Text::RegistrationNumber).empty() && checkValue() != 0 && !text(Text::TaxpayerNumber).empty() &&
         !text(Text::UserName).empty() && !text(Text::Place).empty() && !text(Text::Address).empty() && time > 0 &&
         time < 0x80000000u;
}

std::uint32_t RegData::computeCheckValue(std::string_view serialNumber, bytes::View deviceKey) const {
  const std::string registration = text(Text::RegistrationNumber);
  const std::string taxpayer = text(Text::TaxpayerNumber);
  return crc::Crc32()
      .update(bytes::view(registration))
      .update(bytes::view(taxpayer))
      .update(bytes::view(serialNumber))
      .update(deviceKey)
      .value();
}

bool RegData::seal(std::string_view serialNumber, bytes::View deviceKey) {
  bytes::storeU32(raw_, kCheckValueField, computeCheckValue(serialNumber, deviceKey));
  return isComplete();
}

bool RegData::verify(std::string_view serialNumber, bytes::View deviceKey) const {
  return isComplete() && checkValue() == computeCheckValue(serialNumber, deviceKey);
}

bool RegData::taxpayerNumberValid() const { return digitField(raw_, kTaxpayerNumberField); }
bool RegData::registrationNumberValid() const { return digitField(raw_, kRegistrationNumberField); }

TlvList RegData::toTlvList() const {
  TlvList items;
  for (const auto& [tag, field] : kTextTags) items.emplace_back().setText(tag, text(field));
  items.emplace_back().setU32(tag::kArchiveId, archiveId());
  for (std::size_t slot = 0; slot < kTaxRateSlots; ++slot) {
    const TaxRate rate = TaxRate::fromSlot(*this, slot);
    if (rate.isValid()) items.push_back(rate.toTlv(slot));
  }
  return items;
}

TlvItem RegData::valueByTag(std::uint16_t tag) const {
  TlvItem item;
  for (const auto& [textTag, field] : kTextTags) {
    if (tag == textTag) {
      item.setText(tag, text(field));
      return item;
    }
  }
  switch (tag) {
    case tag::kDateTime: item.setU32(tag, registrationTime()); return item;
    case tag::kArchiveId: item.setU32(tag, archiveId()); return item;
    default: break;
  }
  if (tag >= tag::kFirstTaxRate && tag < tag::kFirstTaxRate + kTaxRateSlots) {
    const std::size_t slot = tag - tag::kFirstTaxRate;
    return TaxRate::fromSlot(*this, slot).toTlv(slot);
  }
  return item;
}

std::string RegData::headerBlock() const {
  if (!isComplete()) return {};
  PrintBlock block(PrintStyle(PrintStyle::kCentred, kTextFont), text(Text::UserName));
  block.addText(text(Text::Place));
  block.addText(text(Text::Address));
  return render(block, false);
}

std::string RegData::footerBlock(bool withCut) const {
  if (!isComplete()) return {};
  PrintBlock block(PrintStyle(PrintStyle::kLeft, kTextFont), std::string("ИНН\t"_cp866) + text(Text::TaxpayerNumber));
  block.addText(std::string("ФН\t"_cp866) + text(Text::RegistrationNumber));
  return render(block, withCut);
}
