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

// One request of the operator prefix and the body:
//   report x | fiscal | totals | sections | shifts A B | period FROM TO
// x the open shift, fiscal since the last fiscalization, totals since the archive began,
// sections the shift's sections; shifts A to B (numbers 0 .. 65535); the period from FROM to
// TO inclusive (moment::parsePeriod: a date alone for TO ends with its last second, reversed
// bounds are swapped).
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
