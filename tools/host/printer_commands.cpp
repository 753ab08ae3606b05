#include "tools/host/printer_commands.h"

#include <charconv>
#include <string>

#include "values/cp866.h"

namespace host {
namespace {

constexpr unsigned kMaxSpacingField = 5;
constexpr unsigned kMaxFontField = 3;
constexpr std::uint8_t kOrdinaryFont = 1;

constexpr std::uint8_t kAlignCentred = 1;
constexpr std::uint8_t kAlignRight = 2;

constexpr std::uint8_t kBoldBit = 0x01;
constexpr std::uint8_t kReverseBit = 0x04;
constexpr std::uint8_t kDoubleSizeBit = 0x08;
constexpr std::uint8_t kCutBit = 0x10;

std::optional<std::uint8_t> smallNumber(std::string_view text, unsigned maximum) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > maximum) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

}  // namespace

std::optional<bytes::Bytes> printTextPayload(std::span<const std::string_view> arguments) {
  std::uint8_t spacing = 0;
  std::uint8_t alignment = 0;
  std::uint8_t font = kOrdinaryFont;
  std::uint8_t bits = 0;

  std::size_t next = 0;
  for (; next < arguments.size() && arguments[next].starts_with("--"); ++next) {
    const std::string_view option = arguments[next];
    if (option == "--") {
      ++next;
      break;
    }
    if (option == "--center") {
      alignment = kAlignCentred;
    } else if (option == "--right") {
      alignment = kAlignRight;
    } else if (option == "--bold") {
      bits |= kBoldBit;
    } else if (option == "--reverse") {
      bits |= kReverseBit;
    } else if (option == "--double") {
      bits |= kDoubleSizeBit;
    } else if (option == "--cut") {
      bits |= kCutBit;
    } else if ((option == "--font" || option == "--spacing") && next + 1 < arguments.size()) {
      const auto value = smallNumber(arguments[++next], option == "--font" ? kMaxFontField : kMaxSpacingField);
      if (!value) return std::nullopt;
      (option == "--font" ? font : spacing) = *value;
    } else {
      return std::nullopt;
    }
  }
  if (next >= arguments.size()) return std::nullopt;

  std::string text;
  for (std::size_t i = next; i < arguments.size(); ++i) {
    if (i > next) text += ' ';
    text += arguments[i];
  }
  bytes::Bytes payload{spacing, alignment, font, bits};
  const std::string encoded = cp866::fromUtf8(text);
  payload.insert(payload.end(), encoded.begin(), encoded.end());
  return payload;
}

}  // namespace host
