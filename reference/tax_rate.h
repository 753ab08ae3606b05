// One of the register's five tax rates, as kept in a 32-byte slot of the registration record.
//
// Layout: kFields below (32 bytes). The rate word's bits 0-13 are the percentage in hundredths
// of a percent (2000 = 20.00 %), bits 14-15 the kind (0 without tax, 1 included in prices, 2 on
// top, 3 not set); the name is CP866, ended by 0x00 when shorter than its field.
// Tagged form: container 13105 + slot of 13102 kind (u8), 13103 percentage (u16) and 13104 name
// (text, also when empty); a receipt's form adds 11102, its tax sum for the rate in kopecks
// (variable integer).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "values/bytes.h"
#include "values/decimal.h"
#include "values/tags.h"
#include "values/tlv.h"

// The registration record holds the rates; this header needs only its name.
class RegData;

class TaxRate {
 public:
  static constexpr std::size_t kSize = 32;
  static constexpr bytes::Field kRateWordField{"rate word", 0, 2};  // u16
  static constexpr bytes::Field kNameField{"name", 2, 30};
  static constexpr std::array kFields = {kRateWordField, kNameField};
  static constexpr std::uint16_t kNotSet = 0xC000;

  // Rate word 0xC000 (not set), empty name.
  TaxRate();
  // Slot 0..4 of a registration record with byte 31 forced to 0x00; any other slot gives a
  // record of 32 zero bytes (kind 0, percentage 0, no name: not valid).
  static TaxRate fromSlot(const RegData& registration, std::size_t slot);
  // At least one slot of the record holds a rate word below 0xC000 with a percentage of at
  // most 99.99 %.
  static bool anyRateSet(const RegData& registration);

  bytes::View bytes() const { return raw_; }
  std::uint16_t rateWord() const;
  std::uint8_t kind() const;
  std::uint16_t percentageHundredths() const;
  // The percentage with scale 100: 2000 hundredths are 20.00.
  Decimal percentage() const;
  void setKind(std::uint8_t kind);
  void setPercentage(std::uint16_t hundredths);
  std::string name() const;
  // A text of 1 to 30 bytes becomes the name; an empty or longer text leaves the name empty.
  void setName(std::string_view text);

  // Percentage at most 99.99 %, kind 0, 1 or 2, and a name.
  bool isValid() const;
  // Kind 0 or percentage 0: the rate prints no amount and gives a receipt item no 11102.
  bool hasNoTaxAmount() const;

  // The tax of `total`, with the total's scale. An invalid rate or a total of zero or less
  // gives zero; kind 0 and percentage 0 give the total itself (the amount subject to the
  // rate). Kind 1 (included in prices) multiplies by p / (p + 100) rounded to four decimals
  // first (20 %: 0.1667, so 100.00 gives 16.67); kind 2 (on top) gives p % of the total.
  Decimal taxAmountFor(const Decimal& total) const;
  // The text printed for the rate: its name, or empty for an invalid rate.
  std::string displayName() const;

  // The container 13105 + slot; an empty item for a slot above 4. The second form, a
  // receipt's, adds the tax sum `amount` in kopecks.
  TlvItem toTlv(std::size_t slot) const;
  TlvItem toTlv(std::size_t slot, const Decimal& amount) const;

  // Reads a container 13105..13109: the record is reset to "not set" and then takes the kind,
  // percentage and name items it holds, in their order (a repeated item overrides); `slot` is the tag - 13105.
  // Fails for another tag (slot untouched), a value that is not a run of whole items, a kind
  // or percentage that is not exactly 1 or 2 bytes, or any other tag inside. Success says
  // nothing about validity. The first form reads the registration's containers; the second,
  // a receipt's, also takes 11102 into `amount` (kopecks, scale 100).
  bool fromTlv(const TlvItem& item, std::size_t& slot);
  bool fromTlv(const TlvItem& item, std::size_t& slot, Decimal& amount);

 private:
  TlvList items() const;
  // Both fromTlv forms; `amount` is null in the registration's form.
  bool readTlv(const TlvItem& item, std::size_t& slot, Decimal* amount);

  std::array<std::uint8_t, kSize> raw_{};
};

static_assert(bytes::tiles(TaxRate::kFields, TaxRate::kSize));
