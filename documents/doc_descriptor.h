// The index record of one stored document.
//
// Layout (64 bytes, little-endian, unaligned):
//    0   1  document type
//    1   4  document number, u32
//    5   4  date-time, u32 seconds since the epoch
//    9   2  shift number, u16
//   11   4  fiscal sign, u32
//   15   1  cashier number
//   16   2  length of the document's data, u16 (for a receipt: all its pieces)
//   18   4  data offset in the archive file, low word
//   22   4  data offset, high word
//   26   2  data check value: CRC-16 of the stored form
//   28   4  fiscalization number, u32
//   32   6  zero
//   38   2  header check value: CRC-16 of bytes 0-37 taken with bytes 28-31 as zero
//   40  24  zero
// Both check values are CRC-16/CCITT-FALSE. Readers take the fields as they are; nothing
// recomputes or checks the check values when reading.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "values/bytes.h"

class DocDescriptor {
 public:
  static constexpr std::size_t kSize = 64;
  // The bytes the header check value covers.
  static constexpr std::size_t kHeaderCoveredSize = 38;

  // All 64 bytes zero.
  DocDescriptor() = default;
  // A record from its stored bytes; exactly kSize bytes (anything else is a programming error).
  static DocDescriptor fromBytes(bytes::View stored);

  bytes::View bytes() const { return raw_; }

  std::uint8_t type() const;
  void setType(std::uint8_t type);
  std::uint32_t documentNumber() const;
  void setDocumentNumber(std::uint32_t number);
  std::uint32_t dateTime() const;
  void setDateTime(std::uint32_t seconds);
  std::uint16_t shiftNumber() const;
  void setShiftNumber(std::uint16_t number);
  std::uint32_t fiscalSign() const;
  void setFiscalSign(std::uint32_t sign);
  std::uint8_t cashierNumber() const;
  void setCashierNumber(std::uint8_t number);
  std::uint16_t dataLength() const;
  void setDataLength(std::uint16_t length);
  // The 64-bit offset from its low and high words.
  std::uint64_t dataOffset() const;
  void setDataOffset(std::uint64_t offset);
  std::uint16_t dataCheckValue() const;
  void setDataCheckValue(std::uint16_t value);
  std::uint32_t fiscalizationNumber() const;
  void setFiscalizationNumber(std::uint32_t number);
  std::uint16_t headerCheckValue() const;

  // CRC-16 of bytes 0-37 as they stand, with bytes 28-31 (the fiscalization number) taken as
  // zero whatever they hold.
  std::uint16_t computeHeaderCheckValue() const;
  // Stores computeHeaderCheckValue() at bytes 38-39.
  void sealHeader();

  friend bool operator==(const DocDescriptor&, const DocDescriptor&) = default;

 private:
  std::array<std::uint8_t, kSize> raw_{};
};
