#include "values/crc.h"

#include <array>

namespace crc {
namespace {

constexpr std::array<std::uint16_t, 256> makeCrc16Table() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? ((c << 1) ^ 0x1021) : (c << 1);
    table[i] = static_cast<std::uint16_t>(c);
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> makeCrc32Table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr auto kCrc16Table = makeCrc16Table();
constexpr auto kCrc32Table = makeCrc32Table();

}  // namespace

Crc16& Crc16::update(std::uint8_t byte) {
  value_ = static_cast<std::uint16_t>(kCrc16Table[((value_ >> 8) ^ byte) & 0xFF] ^ (value_ << 8));
  return *this;
}

Crc16& Crc16::update(bytes::View data) {
  for (std::uint8_t b : data) update(b);
  return *this;
}

Crc32& Crc32::update(bytes::View data) {
  for (std::uint8_t b : data) state_ = kCrc32Table[(state_ ^ b) & 0xFF] ^ (state_ >> 8);
  return *this;
}

}  // namespace crc
