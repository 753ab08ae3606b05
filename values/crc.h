// The project's two check values.
//
// CRC-16/CCITT-FALSE: polynomial 0x1021, start 0xFFFF, most significant bit first, no final
// inversion. Host frames, descriptors and the archive id.
// CRC-32: the standard reflected CRC-32 (polynomial 0x04C11DB7, start 0xFFFFFFFF, final
// inversion). Fiscal signs, identity and registration check values, made-up identifiers.
#pragma once

#include <cstdint>

#include "values/bytes.h"

namespace crc {

class Crc16 {
 public:
  Crc16& update(bytes::View data);
  Crc16& update(std::uint8_t byte);
  std::uint16_t value() const { return value_; }

 private:
  std::uint16_t value_ = 0xFFFF;
};

class Crc32 {
 public:
  Crc32& update(bytes::View data);
  std::uint32_t value() const { return ~state_; }

 private:
  std::uint32_t state_ = 0xFFFFFFFF;
};

inline std::uint16_t crc16(bytes::View data) { return Crc16().update(data).value(); }
inline std::uint32_t crc32(bytes::View data) { return Crc32().update(data).value(); }

}  // namespace crc
