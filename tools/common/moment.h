// Moments and periods as the tools' command lines take them, in local time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace moment {

// A moment of local time as seconds since the epoch: ISO "2026-12-08", "2026-12-08T09:30",
// "2026-12-08T09:30:15" (a blank may stand for the T), a time followed by its zone ("Z",
// "+03:00", "-05:30"; the moment is then that zone's, not local time), or plain seconds. A date alone is the
// start of that day, or its last second with `endOfDay`. nullopt for anything else: a date that
// does not exist (2027-02-31, month 13), an hour past 23, a minute or second past 59, and
// moments outside 0 .. 2^32 - 1.
std::optional<std::uint32_t> parseMoment(std::string_view text, bool endOfDay);

// The moments from FROM to TO inclusive, both as the register takes them.
struct Period {
  std::uint32_t from = 0;
  std::uint32_t to = 0;
};

// FROM and TO as parseMoment reads them, TO a date alone ending with its last second. Bounds
// given the wrong way round are swapped, as the register swaps them: "2027-01-11 2027-01-10"
// is the two whole days. nullopt with `problem` naming the argument at fault ("FROM
// 2027-02-31 is not a moment: ...").
std::optional<Period> parsePeriod(std::string_view from, std::string_view to, std::string& problem);

}  // namespace moment
