#include "tools/host/printer_commands.h"

#include "tools/host/number_text.h"
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


}  // namespace

std::optional<bytes::Bytes> printTextPayload(std::span<const std::string_view> arguments) {
  std::string ignored;
  return printTextPayload(arguments, ignored);
}

std::optional<bytes::Bytes> printTextPayload(std::span<const std::string_view> arguments, std::string& problem) {
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
    } else if (option == "--font" || option == "--spacing") {
      const unsigned maximum = option == "--font" ? kMaxFontField : kMaxSpacingField;
      const auto value = next + 1 < arguments.size() ? parseNumber(arguments[++next], 0, maximum) : std::nullopt;
      if (!value) {
        problem = std::string(option) + " takes a number from 0 to " + std::to_string(maximum);
        return std::nullopt;
      }
      (option == "--font" ? font : spacing) = static_cast<std::uint8_t>(*value);
    } else {
      problem = "unknown option " + std::string(option) + " (-- before a TEXT that starts with --)";
      return std::nullopt;
    }
  }
  if (next >= arguments.size()) {
    problem = "no TEXT to print";
    return std::nullopt;
  }

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
