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

struct Field {
  std::size_t offset;
  std::size_t size;
};

constexpr Field fieldOf(RegData::Text text) {
  switch (text) {
    case RegData::Text::RegistrationNumber: return {0, 16};
    case RegData::Text::TaxpayerNumber: return {16, 12};
    case RegData::Text::UserName: return {28, 256};
    case RegData::Text::Place: return {284, 256};
    case RegData::Text::Address: return {540, 256};
  }
  throw std::logic_error("unknown registration text field");
}

constexpr std::size_t kTaxRatesOffset = 796;
constexpr std::size_t kRegistrationTimeOffset = 956;
constexpr std::size_t kArchiveIdOffset = 960;
constexpr std::size_t kCheckValueOffset = 964;
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

// Bytes [from, mandatoryEnd) digits, [mandatoryEnd, end) digits or zero.
bool digitField(bytes::View raw, std::size_t from, std::size_t mandatoryEnd, std::size_t end) {
  for (std::size_t i = from; i < end; ++i) {
    if (!isDigit(raw[i]) && (i < mandatoryEnd || raw[i] != 0)) return false;
  }
  return true;
}

}  // namespace

RegData::RegData() {
  for (std::size_t i = 0; i < kTaxRateSlots; ++i) {
    bytes::storeU16(raw_, kTaxRatesOffset + kTaxRateSlotSize * i, kRateNotSet);
  }
}

RegData RegData::fromBytes(bytes::View stored) {
  if (stored.size() != kSize) throw std::invalid_argument("a registration record is 968 bytes");
  RegData record;
  std::copy(stored.begin(), stored.end(), record.raw_.begin());
  return record;
}

std::string RegData::text(Text field) const {
  const Field f = fieldOf(field);
  const bytes::View bytesOfField = bytes::slice(raw_, f.offset, f.size);
  std::string text = bytes::fieldText(bytesOfField);
  if (text.size() == f.size) text.push_back('\0');
  return text;
}

bool RegData::setText(Text field, std::string_view text) {
  const Field f = fieldOf(field);
  if (text.size() > f.size) return false;
  bytes::storeBytes(raw_, f.offset, f.size, bytes::view(text));
  return true;
}

bool RegData::restoreText(Text field, std::string_view text) {
  if (text.size() == fieldOf(field).size + 1 && text.back() == '\0') text.remove_suffix(1);
  return setText(field, text);
}

bytes::View RegData::taxRateSlot(std::size_t index) const {
  return bytes::slice(raw_, kTaxRatesOffset + kTaxRateSlotSize * index, kTaxRateSlotSize);
}

void RegData::setTaxRateSlot(std::size_t index, bytes::View slot) {
  if (index >= kTaxRateSlots) return;
  bytes::storeBytes(raw_, kTaxRatesOffset + kTaxRateSlotSize * index, kTaxRateSlotSize, slot);
}

std::uint32_t RegData::registrationTime() const { return bytes::loadU32(raw_, kRegistrationTimeOffset); }
void RegData::setRegistrationTime(std::uint32_t seconds) { bytes::storeU32(raw_, kRegistrationTimeOffset, seconds); }
std::uint32_t RegData::archiveId() const { return bytes::loadU32(raw_, kArchiveIdOffset); }
void RegData::setArchiveId(std::uint32_t id) { bytes::storeU32(raw_, kArchiveIdOffset, id); }
std::uint32_t RegData::checkValue() const { return bytes::loadU32(raw_, kCheckValueOffset); }

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
  bytes::storeU32(raw_, kCheckValueOffset, computeCheckValue(serialNumber, deviceKey));
  return isComplete();
}

bool RegData::verify(std::string_view serialNumber, bytes::View deviceKey) const {
  return isComplete() && checkValue() == computeCheckValue(serialNumber, deviceKey);
}

bool RegData::taxpayerNumberValid() const { return digitField(raw_, 16, 26, 28); }
bool RegData::registrationNumberValid() const { return digitField(raw_, 0, 10, 16); }

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
