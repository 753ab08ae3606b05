#include "reference/tax_rate.h"

#include "documents/reg_data.h"
#include "values/tags.h"

namespace {

constexpr std::uint16_t kPercentageMask = 0x3FFF;
constexpr std::uint16_t kMaxPercentage = 9999;
constexpr std::uint8_t kWithoutTax = 0;
constexpr std::uint8_t kIncludedInPrices = 1;
// The factor of a tax included in prices is kept to four decimals.
constexpr std::uint32_t kIncludedFactorScale = 10000;

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

bool TaxRate::anyRateSet(const RegData& registration) {
  for (std::size_t slot = 0; slot < RegData::kTaxRateSlots; ++slot) {
    const TaxRate rate = fromSlot(registration, slot);
    if (rate.rateWord() < kNotSet && rate.percentageHundredths() <= kMaxPercentage) return true;
  }
  return false;
}

std::uint16_t TaxRate::rateWord() const { return bytes::loadU16(raw_, kRateWordField); }
std::uint8_t TaxRate::kind() const { return static_cast<std::uint8_t>(rateWord() >> 14); }
std::uint16_t TaxRate::percentageHundredths() const { return rateWord() & kPercentageMask; }

Decimal TaxRate::percentage() const { return Decimal(Decimal::kMoneyScale, percentageHundredths()); }

void TaxRate::setKind(std::uint8_t kind) {
  bytes::storeU16(raw_, kRateWordField, static_cast<std::uint16_t>(percentageHundredths() | ((kind & 0x3) << 14)));
}

void TaxRate::setPercentage(std::uint16_t hundredths) {
  bytes::storeU16(raw_, kRateWordField, static_cast<std::uint16_t>((rateWord() & ~kPercentageMask) | (hundredths & kPercentageMask)));
}

std::string TaxRate::name() const { return bytes::fieldText(bytes::slice(raw_, kNameField)); }

void TaxRate::setName(std::string_view text) {
  const bool fits = !text.empty() && text.size() <= kNameField.size();
  bytes::storeBytes(raw_, kNameField, fits ? bytes::view(text) : bytes::View{});
}

bool TaxRate::isValid() const { return percentageHundredths() <= kMaxPercentage && kind() <= 2 && !name().empty(); }

bool TaxRate::hasNoTaxAmount() const { return kind() == kWithoutTax || percentageHundredths() == 0; }

Decimal TaxRate::taxAmountFor(const Decimal& total) const {
  const Decimal zero(total.scale());
  if (!isValid() || total.mantissa() <= 0) return zero;
  if (hasNoTaxAmount()) return total;
  const double p = percentage().toDouble();
  if (kind() == kIncludedInPrices) {
    const Decimal factor(kIncludedFactorScale, p / (p + 100));
    return Decimal(total.scale(), total.toDouble() * factor.toDouble());
  }
  return Decimal(total.scale(), p * total.toDouble() / 100);
}

std::string TaxRate::displayName() const { return isValid() ? name() : std::string(); }

TlvList TaxRate::items() const {
  TlvItem kindItem, percentageItem, nameItem;
  kindItem.setU8(tag::kTaxRateKind, kind());
  percentageItem.setU16(tag::kTaxRatePercentage, percentageHundredths());
  nameItem.setText(tag::kTaxRateName, name());
  return {kindItem, percentageItem, nameItem};
}

TlvItem TaxRate::toTlv(std::size_t slot) const {
  if (slot >= RegData::kTaxRateSlots) return {};
  TlvItem container;
  container.setList(static_cast<std::uint16_t>(tag::kFirstTaxRate + slot), items());
  return container;
}

TlvItem TaxRate::toTlv(std::size_t slot, const Decimal& amount) const {
  if (slot >= RegData::kTaxRateSlots) return {};
  TlvList withAmount = items();
  withAmount.emplace_back().setVarInt(tag::kItemTaxAmount,
                                      static_cast<std::uint64_t>(amount.rescaled(Decimal::kMoneyScale).mantissa()));
  TlvItem container;
  container.setList(static_cast<std::uint16_t>(tag::kFirstTaxRate + slot), withAmount);
  return container;
}

bool TaxRate::fromTlv(const TlvItem& item, std::size_t& slot) { return readTlv(item, slot, nullptr); }

bool TaxRate::fromTlv(const TlvItem& item, std::size_t& slot, Decimal& amount) { return readTlv(item, slot, &amount); }

bool TaxRate::readTlv(const TlvItem& item, std::size_t& slot, Decimal* amount) {
  if (item.tag() < tag::kFirstTaxRate || item.tag() >= tag::kFirstTaxRate + RegData::kTaxRateSlots) return false;
  slot = item.tag() - tag::kFirstTaxRate;
  *this = TaxRate();
  bool parsed = false;
  const TlvList children = parseList(item, &parsed);
  if (!parsed) return false;
  for (const TlvItem& child : children) {
    bool fits = true;
    switch (child.tag()) {
      case tag::kTaxRateKind: setKind(child.getU8(&fits)); break;
      case tag::kTaxRatePercentage: setPercentage(child.getU16(&fits)); break;
      case tag::kTaxRateName: setName(child.getText()); break;
      case tag::kItemTaxAmount:
        if (amount == nullptr) return false;
        *amount = Decimal(Decimal::kMoneyScale, child.getVarInt());
        break;
      default: return false;
    }
    // A kind or percentage of the wrong width would otherwise read as 0: without tax, 0 %.
    if (!fits) return false;
  }
  return true;
}
