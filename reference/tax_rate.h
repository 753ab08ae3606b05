// One of the register's five tax rates, as kept in a 32-byte slot of the registration record.
//
// Layout (32 bytes):
//   0   2  rate word, u16: bits 0-13 the percentage in hundredths of a percent (2000 = 20.00 %),
//          bits 14-15 the kind (0 without tax, 1 included in prices, 2 on top, 3 not set)
//   2  30  name, CP866, ended by 0x00 when shorter than 30 bytes
// Tagged form: container 13105 + slot of 13102 kind (u8), 13103 percentage (u16) and 13104 name
// (text, also when empty).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "documents/reg_data.h"
#include "values/bytes.h"
#include "values/tlv.h"

class TaxRate {
 public:
  static constexpr std::size_t kSize = 32;
  static constexpr std::size_t kNameSize = 30;
  static constexpr std::uint16_t kNotSet = 0xC000;
  static constexpr std::uint16_t kFirstTag = 13105;
  static constexpr std::uint16_t kKindTag = 13102;
  static constexpr std::uint16_t kPercentageTag = 13103;
  static constexpr std::uint16_t kNameTag = 13104;

  // Rate word 0xC000 (not set), empty name.
  TaxRate();
  // Slot 0..4 of a registration record with byte 31 forced to 0x00; any other slot gives a
  // record of 32 zero bytes (kind 0, percentage 0, no name: not valid).
  static TaxRate fromSlot(const RegData& registration, std::size_t slot);

  bytes::View bytes() const { return raw_; }
  std::uint16_t rateWord() const;
  std::uint8_t kind() const;
  std::uint16_t percentageHundredths() const;
  void setKind(std::uint8_t kind);
  void setPercentage(std::uint16_t hundredths);
  std::string name() const;
  // A text of 1 to 30 bytes becomes the name; an empty or longer text leaves the name empty.
  void setName(std::string_view text);

  // Percentage at most 99.99 %, kind 0, 1 or 2, and a name.
  bool isValid() const;

  // The container 13105 + slot; an empty item for a slot above 4.
  TlvItem toTlv(std::size_t slot) const;

 private:
  std::array<std::uint8_t, kSize> raw_{};
};
