// The device's model record, kept byte for byte in the identity memory and in the archive.
//
// Layout: kFields below (48 bytes, little-endian). The check value is the CRC-32 of the model
// code in decimal, the serial number text and the device key. Text fields are CP866 padded with
// 0x00; a field without 0x00 is read as all its bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "values/bytes.h"
#include "values/cp866.h"

class ModelData {
 public:
  static constexpr std::size_t kSize = 48;
  static constexpr bytes::Field kModelCodeField{"model code", 0, 2};
  static constexpr bytes::Field kSerialField{"serial number", 2, 10};  // decimal digits
  static constexpr bytes::Field kNameField{"model name", 12, 32};
  static constexpr bytes::Field kCheckValueField{"check value", 44, 4};
  static constexpr std::array kFields = {kModelCodeField, kSerialField, kNameField, kCheckValueField};
  static constexpr std::uint16_t kModelCode = 0x8213;
  static constexpr std::string_view kModelName = "ТЕРНА-1-К"_cp866;

  // The default record: model code 0x8213, no serial number, the model's name, check value 0.
  ModelData();
  // A record from its stored bytes; exactly kSize bytes.
  static ModelData fromBytes(bytes::View stored);
  // A record as the identity memory keeps it, where a name never written is erased (0xFF
  // bytes) and reads as no name.
  static ModelData fromIdentityMemory(bytes::View stored);

  bytes::View bytes() const { return raw_; }

  std::uint16_t modelCode() const;
  void setModelCode(std::uint16_t code);
  std::string serialNumber() const;
  // Refuses (false, unchanged) a text longer than the field.
  bool setSerialNumber(std::string_view text);
  std::string modelName() const;
  bool setModelName(std::string_view text);
  std::uint32_t checkValue() const;

  // Computes and stores the check value with the device key; returns isValid().
  bool seal(bytes::View deviceKey);
  // Whether the stored check value is the one computed with the device key.
  bool verify(bytes::View deviceKey) const;

  // Model code set, serial and name not empty, check value neither 0 nor 0xFFFFFFFF, serial of
  // decimal digits only.
  bool isValid() const;

  // Equal model code, name text, serial text and check value.
  friend bool operator==(const ModelData& a, const ModelData& b);

 private:
  std::uint32_t computeCheckValue(bytes::View deviceKey) const;

  std::array<std::uint8_t, kSize> raw_{};
};

static_assert(bytes::tiles(ModelData::kFields, ModelData::kSize));
