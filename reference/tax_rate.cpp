#include "reference/tax_rate.h"

namespace {

constexpr std::uint16_t kPercentageMask = 0x3FFF;
constexpr std::uint16_t kMaxPercentage = 9999;

}  // namespace

TaxRate::TaxRate() { bytes::storeU16(raw_, 0, kNotSet); }

TaxRate TaxRate::fromSlot(const RegData& registration, std::size_t slot) {
  TaxRate rate;
  rate.raw_.fill(0);
  if (slot < RegData::kTaxRateSlots) {
    bytes::storeBytes(rate.raw_, 0, kSize - 1, registration.taxRateSlot(slot).first(kSize - 1));
  }
  return rate;
}

std::uint16_t TaxRate::rateWord() const { return bytes::loadU16(raw_, 0); }
std::uint8_t TaxRate::kind() const { return static_cast<std::uint8_t>(rateWord() >> 14); }
std::uint16_t TaxRate::percentageHundredths() const { return rateWord() & kPercentageMask; }

void TaxRate::setKind(std::uint8_t kind) {
  bytes::storeU16(raw_, 0, static_cast<std::uint16_t>(percentageHundredths() | ((kind & 0x3) << 14)));
}

void TaxRate::setPercentage(std::uint16_t hundredths) {
  bytes::storeU16(raw_, 0, static_cast<std::uint16_t>((rateWord() & ~kPercentageMask) | (hundredths & kPercentageMask)));
}

std::string TaxRate::name() const { return bytes::fieldText(bytes::slice(raw_, 2, kNameSize)); }

void TaxRate::setName(std::string_view text) {
  const bool fits = !text.empty() && text.size() <= kNameSize;
  bytes::storeBytes(raw_, 2, kNameSize, fits ? bytes::view(text) : bytes::View{});
}

bool TaxRate::isValid() const { return percentageHundredths() <= kMaxPercentage && kind() <= 2 && !name().empty(); }

TlvItem TaxRate::toTlv(std::size_t slot) const {
  if (slot >= RegData::kTaxRateSlots) return {};
  TlvItem kindItem, percentageItem, nameItem, container;
  kindItem.setU8(kKindTag, kind());
  percentageItem.setU16(kPercentageTag, percentageHundredths());
  nameItem.setText(kNameTag, name());
  container.setList(static_cast<std::uint16_t>(kFirstTag + slot), {kindItem, percentageItem, nameItem});
  return container;
}
