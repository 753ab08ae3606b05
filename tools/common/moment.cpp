#include "tools/common/moment.h"

#include <charconv>
#include <ctime>

namespace moment {
namespace {

constexpr std::size_t kDateLength = 10;               // 2026-12-08
constexpr std::size_t kMinutesLength = 16;            // 2026-12-08T09:30
constexpr std::size_t kSecondsLength = 19;            // 2026-12-08T09:30:15
constexpr std::size_t kZoneLength = 6;                // +03:00
constexpr std::int64_t kLastMoment = 0xFFFFFFFFll;    // the register's times are u32

std::optional<std::uint32_t> parseSeconds(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Exactly `digits` decimal digits at `at`.
std::optional<int> field(std::string_view text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  int value = 0;
  for (const char c : text.substr(at, digits)) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> parseMoment(std::string_view text, bool endOfDay) {
  if (text.find('-') == std::string_view::npos) return parseSeconds(text);
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
    const bool withSeconds = text.size() > kMinutesLength && text[kMinutesLength] == ':';
    const std::size_t timeEnd = withSeconds ? kSecondsLength : kMinutesLength;
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
      if (suffix.size() != kZoneLength || (suffix[0] != '+' && suffix[0] != '-') || suffix[3] != ':' ||
          !zoneHours || !zoneMinutes || *zoneHours > 23 || *zoneMinutes > 59) {
        return std::nullopt;
      }
      zone = (suffix[0] == '-' ? -1 : 1) * (*zoneHours * 3600L + *zoneMinutes * 60L);
    }
  }
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  std::tm normalised = fields;
  const std::time_t seconds = zone ? ::timegm(&normalised) - *zone : std::mktime(&normalised);
  // Both carry 31 February into March; such a date is not one.
  if (seconds == -1 || normalised.tm_mday != fields.tm_mday || seconds < 0 || seconds > kLastMoment) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(seconds);
}

std::optional<Period> parsePeriod(std::string_view from, std::string_view to, std::string& problem) {
  const auto start = parseMoment(from, false), end = parseMoment(to, true);
  if (!start || !end) {
    problem = std::string(start ? "TO " : "FROM ") + std::string(start ? to : from) +
              " is not a moment: dates like 2026-12-08 or 2026-12-08T09:30[:15] that exist, or seconds";
    return std::nullopt;
  }
  if (*start <= *end) return Period{*start, *end};
  // The texts change places, so that a date alone still ends the period with its last second.
  return Period{*parseMoment(to, false), *parseMoment(from, true)};
}

}  // namespace moment
