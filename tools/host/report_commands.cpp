#include "tools/host/report_commands.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace host {

namespace {

constexpr std::size_t kDateLength = 10;  // 2026-12-08

template <typename Number>
std::optional<Number> parseDecimal(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Exactly `digits` decimal digits at `at`.
std::optional<int> field(std::string_view text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  const std::string_view part = text.substr(at, digits);
  for (char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return parseDecimal<int>(part);
}

Plan onePlan(std::uint8_t command, const Operator& cashier, bytes::View body) {
  bytes::Bytes payload = operatorPrefix(cashier);
  bytes::appendBytes(payload, body);
  return Plan{.steps = {{.label = "", .request = {.command = command, .payload = std::move(payload)}}}};
}

}  // namespace

std::optional<std::uint32_t> parseMoment(std::string_view text, bool endOfDay) {
  if (text.find('-') == std::string_view::npos) return parseDecimal<std::uint32_t>(text);
  const auto year = field(text, 0, 4), month = field(text, 5, 2), day = field(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  std::tm fields{};
  fields.tm_year = *year - 1900;
  fields.tm_mon = *month - 1;
  fields.tm_mday = *day;
  fields.tm_isdst = -1;
  // Seconds east of UTC, when the text names its zone; local time otherwise.
  std::optional<long> zone;
  if (text.size() == kDateLength) {
    if (endOfDay) fields.tm_hour = 23, fields.tm_min = 59, fields.tm_sec = 59;
  } else {
    const bool withSeconds = text.size() > 16 && text[16] == ':';
    const std::size_t timeEnd = withSeconds ? 19 : 16;
    const auto hour = field(text, 11, 2), minute = field(text, 14, 2);
    const auto second = withSeconds ? field(text, 17, 2) : std::optional<int>(0);
    if ((text[10] != 'T' && text[10] != ' ') || text.size() < timeEnd || text[13] != ':' || !hour || !minute ||
        !second || *hour > 23 || *minute > 59 || *second > 59) {
      return std::nullopt;
    }
    fields.tm_hour = *hour, fields.tm_min = *minute, fields.tm_sec = *second;
    const std::string_view suffix = text.substr(timeEnd);
    if (suffix == "Z") {
      zone = 0;
    } else if (!suffix.empty()) {
      const auto zoneHours = field(suffix, 1, 2), zoneMinutes = field(suffix, 4, 2);
      if (suffix.size() != 6 || (suffix[0] != '+' && suffix[0] != '-') || suffix[3] != ':' || !zoneHours ||
          !zoneMinutes || *zoneHours > 23 || *zoneMinutes > 59) {
        return std::nullopt;
      }
      zone = (suffix[0] == '-' ? -1 : 1) * (*zoneHours * 3600L + *zoneMinutes * 60L);
    }
  }
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  std::tm normalised = fields;
  const std::time_t seconds = zone ? ::timegm(&normalised) - *zone : std::mktime(&normalised);
  // Both carry 31 February into March; such a date is not one.
  if (seconds == -1 || normalised.tm_mday != fields.tm_mday || seconds < 0 || seconds > 0xFFFFFFFFll) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(seconds);
}

std::optional<Plan> reportPlan(const Operator& cashier, std::span<const std::string_view> arguments,
                               std::string& problem) {
  problem = "the report is x, fiscal, totals, sections, shifts A B or period FROM TO";
  if (arguments.empty()) return std::nullopt;
  const std::string_view kind = arguments[0];
  bytes::Bytes body;
  if (arguments.size() == 1) {
    constexpr std::pair<std::string_view, std::uint8_t> kSimple[] = {{"x", 1}, {"fiscal", 2}, {"totals", 3}, {"sections", 4}};
    for (const auto& [name, selector] : kSimple) {
      if (kind == name) body.push_back(selector);
    }
  } else if (arguments.size() == 3 && kind == "shifts") {
    const auto a = parseDecimal<std::uint16_t>(arguments[1]), b = parseDecimal<std::uint16_t>(arguments[2]);
    if (!a || !b) {
      problem = "shift numbers are 0 to 65535";
      return std::nullopt;
    }
    body.push_back(6);
    bytes::appendU16(body, *a);
    bytes::appendU16(body, *b);
  } else if (arguments.size() == 3 && kind == "period") {
    const auto from = parseMoment(arguments[1], false), to = parseMoment(arguments[2], true);
    if (!from || !to) {
      problem = "FROM and TO are dates like 2026-12-08 or 2026-12-08T09:30[:15], or seconds";
      return std::nullopt;
    }
    body.push_back(5);
    bytes::appendU32(body, *from);
    bytes::appendU32(body, *to);
  }
  if (body.empty()) return std::nullopt;
  problem.clear();
  return onePlan(kReportCommand, cashier, body);
}

std::optional<Plan> tapePlan(const Operator& cashier, std::span<const std::string_view> arguments,
                             std::string& problem) {
  bytes::Bytes body;
  if (arguments.size() == 1) {
    const auto from = parseDecimal<std::uint32_t>(arguments[0]);
    if (!from) {
      problem = "FROM-NUMBER is a document number";
      return std::nullopt;
    }
    bytes::appendU32(body, *from);
  } else if (!arguments.empty()) {
    return std::nullopt;
  }
  return onePlan(kControlTapeCommand, cashier, body);
}

std::optional<Plan> copyPlan(const Operator& cashier, std::span<const std::string_view> arguments,
                             std::string& problem) {
  const auto number = arguments.size() == 1 ? parseDecimal<std::uint32_t>(arguments[0]) : std::nullopt;
  if (!number) {
    problem = "N is a document number";
    return std::nullopt;
  }
  bytes::Bytes body;
  bytes::appendU32(body, *number);
  return onePlan(kCopyCommand, cashier, body);
}

std::string tapeContinuation(std::uint8_t command, std::uint8_t code, bytes::View data) {
  if (command != kControlTapeCommand || code == 0 || data.size() != sizeof(std::uint32_t)) return {};
  const std::uint32_t last = bytes::loadU32(data, 0);
  const std::string done = last == 0 ? "no receipt was printed completely"
                                     : "printed completely up to receipt document " + std::to_string(last);
  return "the tape stopped: " + done + "; once the printer is ready, go on with: frhost tape " +
         std::to_string(std::uint64_t{last} + 1) + "\n";
}

}  // namespace host
