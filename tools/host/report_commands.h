// The host's report commands as the command line gives them: the reports of code 177, the
// control tape (58) with its continuation after a stop, and the copy of a stored document (178).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/host/document_commands.h"
#include "values/bytes.h"

namespace host {

inline constexpr std::uint8_t kControlTapeCommand = 58;
inline constexpr std::uint8_t kReportCommand = 177;
inline constexpr std::uint8_t kCopyCommand = 178;

// A moment as seconds since the epoch: ISO "2026-12-08", "2026-12-08T09:30",
// "2026-12-08T09:30:15" (a blank may stand for the T) in local time, a time followed by its
// zone ("Z", "+03:00", "-05:30"), or plain seconds. A date alone is the
// start of that day, or its last second with `endOfDay`. nullopt for anything else and for
// moments outside 0 .. 2^32 - 1.
std::optional<std::uint32_t> parseMoment(std::string_view text, bool endOfDay);

// One request of the operator prefix and the body:
//   report x | fiscal | totals | sections | shifts A B | period FROM TO
// x the open shift, fiscal since the last fiscalization, totals since the archive began,
// sections the shift's sections; shifts A to B (numbers 0 .. 65535); the period from FROM to
// TO inclusive (parseMoment; a date alone for TO ends with its last second).
std::optional<Plan> reportPlan(const Operator& cashier, std::span<const std::string_view> arguments,
                               std::string& problem);
//   tape [FROM-NUMBER]   the shift's receipts, or those from document FROM-NUMBER on
std::optional<Plan> tapePlan(const Operator& cashier, std::span<const std::string_view> arguments,
                             std::string& problem);
//   copy N               a copy of stored document N
std::optional<Plan> copyPlan(const Operator& cashier, std::span<const std::string_view> arguments,
                             std::string& problem);

// What to do after a control tape that stopped: its reply carries the number of the last
// receipt printed completely. Empty for any other reply and for other commands.
std::string tapeContinuation(std::uint8_t command, std::uint8_t code, bytes::View data);

}  // namespace host
