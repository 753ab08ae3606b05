// The host's configuration commands as the command line gives them: the cashier, section and
// discount tables record by record and field by field, the clock, the paper width, and all
// three tables at once as one JSON file kept with the shop's records.
//
//   cashier get N | cashier set N [--name TEXT] [--rights BITS] [--password P]
//   section get N | section set N --name TEXT
//   discount get N | discount set N [--name TEXT] [--percent P | --amount ROUBLES | --unset]
//   clock | clock set now|SECONDS|ISO-TIME
//   paper-width | paper-width set MM
//   tables dump FILE | tables program FILE
// A set reads the record, changes the fields named and writes it back.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "tools/host/document_commands.h"
#include "tools/host/session.h"

namespace host {

inline constexpr std::uint8_t kReadRecordCommand = 1;
inline constexpr std::uint8_t kWriteRecordCommand = 2;
inline constexpr std::uint8_t kReadClockCommand = 3;
inline constexpr std::uint8_t kSetClockCommand = 4;
inline constexpr std::uint8_t kReadSettingCommand = 193;
inline constexpr std::uint8_t kWriteSettingCommand = 194;

// The table selector of the record commands.
enum class Table : std::uint8_t { Cashiers = 1, Sections = 2, Discounts = 3 };
inline constexpr std::uint8_t kPaperWidthSetting = 1;

// The payloads: operator prefix, selector, then the record number or the record's slot.
bytes::Bytes readRecordPayload(const Operator& cashier, Table table, std::uint8_t number);
bytes::Bytes writeRecordPayload(const Operator& cashier, Table table, bytes::View slot);

// The three tables as one JSON object, keys in the order below, names in UTF-8 (sent in CP866):
//   {"cashiers":  [{"number": 3, "name": "...", "rights": 3, "password": 1234}, ...],
//    "sections":  [{"number": 1, "name": "..."}, ...],
//    "discounts": [{"number": 1, "name": "...", "percent": "10.00"},
//                  {"number": 2, "name": "...", "amount": "5.00"}, {"number": 3, "name": ""}]}
// A discount with neither percent nor amount is unset. Every list may be absent or partial:
// programming writes the records listed and leaves the others.
struct Tables {
  std::vector<Cashier> cashiers;
  std::vector<Section> sections;
  std::vector<Discount> discounts;
};
std::string tablesToJson(const Tables& tables);
// nullopt with `problem` set for a text that is not JSON of that form: an unknown key, a
// number outside 1..20 or given twice in one list, a name too long for its field, a value
// that is not valid.
std::optional<Tables> tablesFromJson(std::string_view text, std::string& problem);

// The field options of a set (see above); false with `problem` set for an unknown option or a
// value that is not valid. BITS is a number (0x-hex allowed) or names joined by commas.
bool editCashier(Cashier& record, std::span<const std::string_view> options, std::string& problem);
bool editSection(Section& record, std::span<const std::string_view> options, std::string& problem);
bool editDiscount(Discount& record, std::span<const std::string_view> options, std::string& problem);

// The new time of a clock set: "now" (this machine's time, `now`), seconds since the epoch,
// or local time as YYYY-MM-DDTHH:MM:SS or "YYYY-MM-DD HH:MM:SS". nullopt for anything else or
// a time outside what the register keeps (1970 to January 2038).
std::optional<std::uint32_t> parseClockTime(std::string_view text, std::int64_t now);

bool isConfigCommand(std::string_view name);
void printConfigUsage(std::ostream& out);
// Checks a configuration command line (its name first) before anything is sent: false with
// `problem` set when it is not valid or names a tables file that is not.
bool configCommandValid(std::span<const std::string_view> arguments, std::string& problem);
// Runs a configuration command line (its name first) in `session` as `cashier`: one reply
// reported per request; reads that only serve a change show for people only when refused.
void runConfigCommand(Session& session, const Operator& cashier, std::span<const std::string_view> arguments);

}  // namespace host
