#include "tools/host/number_text.h"

#include <charconv>
#include <iomanip>
#include <sstream>

namespace host {
namespace {

template <typename Format>
std::string codeList(std::initializer_list<std::uint8_t> codes, Format format) {
  std::string text;
  for (const std::uint8_t code : codes) text += (text.empty() ? "(" : ", ") + format(code);
  return text + ")";
}

}  // namespace

std::optional<std::int64_t> parseNumber(std::string_view text, std::int64_t minimum, std::int64_t maximum) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  // from_chars takes a leading minus; the command line writes no signs.
  if (text.empty() || text.front() == '-') return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum) {
    return std::nullopt;
  }
  return value;
}

std::optional<unsigned> decimalBetween(std::string_view text, unsigned first, unsigned last) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < first || value > last) {
    return std::nullopt;
  }
  return value;
}

std::string hexNumber(std::uint32_t value, int digits) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(digits) << std::setfill('0') << value;
  return text.str();
}

std::string hexCodes(std::initializer_list<std::uint8_t> codes) {
  return codeList(codes, [](std::uint8_t code) { return hexNumber(code, 2); });
}

std::string decimalCodes(std::initializer_list<std::uint8_t> codes) {
  return codeList(codes, [](std::uint8_t code) { return std::to_string(code); });
}

}  // namespace host
