// The index record of one stored document: 64 bytes, little-endian, unaligned, laid out by
// kFields below.
//
// The data check value is the CRC-16 of the document's stored form; the header check value the
// CRC-16 of the bytes before it (0-37) taken with the fiscalization number as zero. Both are
// CRC-16/CCITT-FALSE. Readers take the fields as they are; nothing recomputes or checks the
// check values when reading.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "values/bytes.h"

class DocDescriptor {
 public:
  static constexpr std::size_t kSize = 64;

  // The layout, in offset order; the names are those the archive checker reports.
  static constexpr bytes::Field kTypeField{"type", 0, 1};
  static constexpr bytes::Field kDocumentNumberField{"document number", 1, 4};
  static constexpr bytes::Field kDateTimeField{"date-time", 5, 4};  // u32 seconds since the epoch
  static constexpr bytes::Field kShiftNumberField{"shift number", 9, 2};
  static constexpr bytes::Field kFiscalSignField{"fiscal sign", 11, 4};
  static constexpr bytes::Field kCashierNumberField{"cashier number", 15, 1};
  // For a receipt: all its pieces.
  static constexpr bytes::Field kDataLengthField{"data length", 16, 2};
  // The data's offset in the archive file: its low word, then its high word.
  static constexpr bytes::Field kDataOffsetField{"data offset", 18, 8};
  static constexpr bytes::Field kDataCheckValueField{"data check value", 26, 2};
  static constexpr bytes::Field kFiscalizationNumberField{"fiscalization number", 28, 4};
  static constexpr bytes::Field kReservedField{"zero bytes", 32, 6};
  static constexpr bytes::Field kHeaderCheckValueField{"header check value", 38, 2};
  static constexpr bytes::Field kTailField{"zero bytes", 40, 24};
  static constexpr std::array kFields = {
      kTypeField,          kDocumentNumberField,      kDateTimeField,      kShiftNumberField,
      kFiscalSignField,    kCashierNumberField,       kDataLengthField,    kDataOffsetField,
      kDataCheckValueField, kFiscalizationNumberField, kReservedField,      kHeaderCheckValueField,
      kTailField};

  // The bytes the header check value covers: all before it.
  static constexpr std::size_t kHeaderCoveredSize = kHeaderCheckValueField.offset;

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

  // CRC-16 of the covered bytes as they stand, with the fiscalization number taken as zero
  // whatever it holds.
  std::uint16_t computeHeaderCheckValue() const;
  // Stores computeHeaderCheckValue() as the header check value.
  void sealHeader();

  friend bool operator==(const DocDescriptor&, const DocDescriptor&) = default;

 private:
  std::array<std::uint8_t, kSize> raw_{};
};

static_assert(bytes::tiles(DocDescriptor::kFields, DocDescriptor::kSize));
static_assert(DocDescriptor::kFiscalizationNumberField.end() <= DocDescriptor::kHeaderCoveredSize);
