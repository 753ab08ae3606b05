// Code page 866: the printer's and the stored texts' character set.
//
// The system's Russian texts are written readably in the source (UTF-8) and turned into CP866
// bytes while compiling: "ЗН "_cp866 is a std::string_view of CP866 bytes. A character that
// CP866 lacks is a compile error. Bytes 0x00-0x7F are ASCII in both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cp866 {

// The Unicode code point of every byte 0x80-0xFF.
inline constexpr std::array<char32_t, 128> kUpperHalf = {
    // 0x80-0x9F: А-Я
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    // 0xA0-0xAF: а-п
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F,
    // 0xB0-0xDF: shades and box drawing
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    // 0xE0-0xEF: р-я
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F,
    // 0xF0-0xFF
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A,
    0x2116, 0x00A4, 0x25A0, 0x00A0};

// The CP866 byte of a code point, or -1 when CP866 has none.
constexpr int byteFor(char32_t codePoint) {
  if (codePoint < 0x80) return static_cast<int>(codePoint);
  for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
    if (kUpperHalf[i] == codePoint) return static_cast<int>(0x80 + i);
  }
  return -1;
}

constexpr char32_t codePointOf(std::uint8_t byte) {
  return byte < 0x80 ? char32_t{byte} : kUpperHalf[byte - 0x80];
}

// A UTF-8 string literal converted while compiling.
template <std::size_t N>
struct Literal {
  std::array<char, N> bytes{};
  std::size_t size = 0;

  consteval Literal(const char (&utf8)[N]) {  // NOLINT: implicit on purpose, for the literal operator
    std::size_t i = 0;
    while (i + 1 < N) {  // the last byte is the terminating zero
      const auto lead = static_cast<unsigned char>(utf8[i]);
      char32_t codePoint = 0;
      std::size_t length = 1;
      if (lead < 0x80) {
        codePoint = lead;
      } else if ((lead & 0xE0) == 0xC0) {
        codePoint = lead & 0x1F;
        length = 2;
      } else if ((lead & 0xF0) == 0xE0) {
        codePoint = lead & 0x0F;
        length = 3;
      } else {
        throw "text outside the CP866 character set";
      }
      for (std::size_t k = 1; k < length; ++k) {
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      }
      const int byte = byteFor(codePoint);
      if (byte < 0) throw "text outside the CP866 character set";
      bytes[size++] = static_cast<char>(static_cast<unsigned char>(byte));
      i += length;
    }
  }
};

// Converts text at run time (for texts that are not literals); characters CP866 lacks become '?'.
std::string fromUtf8(std::string_view utf8);
// Converts CP866 bytes to UTF-8.
std::string toUtf8(std::string_view text);

}  // namespace cp866

template <cp866::Literal text>
constexpr std::string_view operator""_cp866() {
  return std::string_view(text.bytes.data(), text.size);
}
