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
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "tools/host/command_options.h"
#include "tools/host/document_commands.h"
#include "tools/host/session.h"
#include "tools/host/tables_json.h"

namespace host {

// The table selector of the record commands.
enum class Table : std::uint8_t { Cashiers = 1, Sections = 2, Discounts = 3 };
template <typename Record>
constexpr Table tableOf() {
  if constexpr (std::is_same_v<Record, Cashier>) return Table::Cashiers;
  if constexpr (std::is_same_v<Record, Section>) return Table::Sections;
  return Table::Discounts;
}
inline constexpr std::uint8_t kPaperWidthSetting = 1;

// The payloads: operator prefix, selector, then the record number or the record's slot.
bytes::Bytes readRecordPayload(const Operator& cashier, Table table, std::uint8_t number);
bytes::Bytes writeRecordPayload(const Operator& cashier, Table table, bytes::View slot);

// The new time of a clock set: "now" (this machine's time, `now`), seconds since the epoch,
// or local time as YYYY-MM-DDTHH:MM:SS or "YYYY-MM-DD HH:MM:SS". nullopt for anything else or
// a time outside what the register keeps (1970 to January 2038).
std::optional<std::uint32_t> parseClockTime(std::string_view text, std::int64_t now);

// A configuration command as frhost lists it: its name and its line in the help.
struct ConfigCommand {
  std::string_view name;
  std::string summary;
};
// cashier, section, discount, clock, paper-width and tables, in that order.
std::vector<ConfigCommand> configCommands();

// The arguments of one configuration command (see above), declared on its subcommand.
class ConfigArguments {
 public:
  // `command` is the name of one of configCommands(); std::invalid_argument for any other.
  explicit ConfigArguments(std::string_view command);
  void declare(CLI::App& command);
  // Checks the parsed arguments together before anything is sent, and reads the file a tables
  // program writes; false with `problem` set when they are not valid.
  bool check(std::string& problem);
  // A set's changes to a record: the fields named, others kept.
  void edit(Cashier& record) const;
  void edit(Section& record) const;
  void edit(Discount& record) const;
  // Runs the checked command in `session` as `cashier`: one reply reported per request; reads
  // that only serve a change show for people only when refused.
  void run(Session& session, const Operator& cashier) const;

 private:
  struct Kind;
  static const std::vector<Kind>& kinds();
  friend std::vector<ConfigCommand> configCommands();

  // Each command's own declaration, check and run, which its Kind names.
  void declareNumberAndName(CLI::App& command, std::size_t nameSize, std::string_view emptyName);
  void declareCashier(CLI::App& command);
  void declareSection(CLI::App& command);
  void declareDiscount(CLI::App& command);
  void declareClock(CLI::App& command);
  void declarePaperWidth(CLI::App& command);
  void declareTables(CLI::App& command);
  bool checkRecordEdits(std::string& problem);
  bool checkClock(std::string& problem);
  bool checkPaperWidth(std::string& problem);
  bool checkTables(std::string& problem);
  template <typename Record>
  void runRecord(Session& session, const Operator& cashier) const;
  void runClock(Session& session, const Operator& cashier) const;
  void runPaperWidth(Session& session, const Operator& cashier) const;
  void runTables(Session& session, const Operator& cashier) const;

  const Kind* kind_;
  std::string action_;  // get or set; set; dump or program
  std::string value_;   // the record number, the time, the width or the file
  std::optional<std::string> name_, rights_, password_, percent_, amount_;
  bool unset_ = false;
  std::optional<std::uint32_t> time_;
  std::optional<std::uint8_t> width_;
  std::optional<Tables> tables_;
};

}  // namespace host
