#include "tools/host/number_text.h"

#include <charconv>
#include <iomanip>
#include <sstream>

namespace host {

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

}  // namespace host
