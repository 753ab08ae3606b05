// The registration in force, kept byte for byte in the identity memory and in the archive.
//
// Layout: kFields below, in offset order, little-endian; texts CP866 padded with 0x00. The
// check value is the CRC-32 of the registration number text, the taxpayer number text, the
// serial number text and the device key.
// The text of a field is its bytes up to the first 0x00; a field without 0x00 reads as all its
// bytes followed by one 0x00 byte, and that longer text is what enters check values and prints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "values/bytes.h"
#include "values/tlv.h"

class RegData {
 public:
  static constexpr std::size_t kSize = 968;
  static constexpr std::size_t kTaxRateSlots = 5;
  static constexpr std::size_t kTaxRateSlotSize = 32;

  // The layout; the names are those the archive checker reports.
  static constexpr bytes::Field kRegistrationNumberField{"registration number", 0, 16};  // text, 11037
  static constexpr bytes::Field kTaxpayerNumberField{"taxpayer number", 16, 12};         // text, 11018
  static constexpr bytes::Field kUserNameField{"user name", 28, 256};                    // text, 11048
  static constexpr bytes::Field kPlaceField{"place", 284, 256};      // text, 11187: place of settlement
  static constexpr bytes::Field kAddressField{"address", 540, 256};  // text, 11009: address of settlement
  static constexpr bytes::Field kTaxRatesField{"tax rate", 796, kTaxRateSlotSize, kTaxRateSlots};  // 13105 + i
  static constexpr bytes::Field kRegistrationTimeField{"registration time", 956, 4};  // u32 seconds, 11012
  static constexpr bytes::Field kArchiveIdField{"archive id", 960, 4};                // 11041
  static constexpr bytes::Field kCheckValueField{"check value", 964, 4};
  static constexpr std::array kFields = {kRegistrationNumberField, kTaxpayerNumberField, kUserNameField,
                                         kPlaceField,              kAddressField,        kTaxRatesField,
                                         kRegistrationTimeField,   kArchiveIdField,      kCheckValueField};

  enum class Text { RegistrationNumber, TaxpayerNumber, UserName, Place, Address };

  // The default record: all zero but every tax-rate slot marked not set (rate word 0xC000).
  RegData();
  // A record from its stored bytes; exactly kSize bytes.
  static RegData fromBytes(bytes::View stored);

  bytes::View bytes() const { return raw_; }

  std::string text(Text field) const;
  // Refuses (false, unchanged) a text longer than the field; otherwise clears the field and
  // copies the text to its start.
  bool setText(Text field, std::string_view text);
  // Takes a text back in the form text() gives it: as setText, except that a text one byte
  // longer than the field and ending in 0x00 (a full field's text) fills the field.
  bool restoreText(Text field, std::string_view text);

  // The 32 bytes of slot 0..4.
  bytes::View taxRateSlot(std::size_t index) const;
  // Sets slot 0..4 from 32 bytes; other indexes do nothing.
  void setTaxRateSlot(std::size_t index, bytes::View slot);

  std::uint32_t registrationTime() const;
  void setRegistrationTime(std::uint32_t seconds);
  std::uint32_t archiveId() const;
  void setArchiveId(std::uint32_t id);
  std::uint32_t checkValue() const;

  // Registration, taxpayer, user name, place and address texts not empty, check value not 0,
  // registration time in 1 .. 0x7FFFFFFF.
  bool isComplete() const;
  // Computes and stores the check value; returns isComplete().
  bool seal(std::string_view serialNumber, bytes::View deviceKey);
  // Complete and the stored check value is the one computed.
  bool verify(std::string_view serialNumber, bytes::View deviceKey) const;

  // Taxpayer number: its first 10 bytes digits, the last 2 digits or 0x00.
  bool taxpayerNumberValid() const;
  // Registration number: its first 10 bytes digits, the last 6 digits or 0x00.
  bool registrationNumberValid() const;

  // The registration as items: 11037, 11018, 11048, 11187, 11009 (texts), 11041 archive id
  // (u32), then the container of every valid tax-rate slot in slot order. The registration
  // time is not among them.
  TlvList toTlvList() const;

  // One value by its tag, for the host's registration query: the texts, 11012 the registration
  // time (u32), 11041 the archive id (u32), 13105-13109 the tax-rate slots (also when not set);
  // any other tag gives an empty item.
  TlvItem valueByTag(std::uint16_t tag) const;

  // Printed only for a complete record, otherwise empty text. The header: user name, place and
  // address, centred. The footer: "ИНН" and "ФН" lines with the taxpayer and registration
  // numbers, left, followed by the feed-and-cut when `withCut` is set.
  std::string headerBlock() const;
  std::string footerBlock(bool withCut) const;

  friend bool operator==(const RegData&, const RegData&) = default;

 private:
  std::uint32_t computeCheckValue(std::string_view serialNumber, bytes::View deviceKey) const;

  std::array<std::uint8_t, kSize> raw_{};
};

static_assert(bytes::tiles(RegData::kFields, RegData::kSize));
