#include "tools/host/config_commands.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <limits>

#include "link/host_protocol.h"
#include "tools/host/number_text.h"
#include "values/cp866.h"
#include "values/decimal.h"

namespace host {
namespace {

constexpr std::uint32_t kLatestTime = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());

struct RightName {
  std::uint16_t bit;
  std::string_view name;
};

constexpr RightName kRightNames[] = {
    {CashierRights::kReceipts, "receipts"},         {CashierRights::kReports, "reports"},
    {CashierRights::kClock, "clock"},               {CashierRights::kFiscalization, "fiscalization"},
    {CashierRights::kReturns, "returns"},           {CashierRights::kSerialNumber, "serial-number"},
    {CashierRights::kGoodsTables, "goods-tables"},  {CashierRights::kCashierTable, "cashier-table"},
};

// A number, or right names joined by commas.
std::optional<std::uint16_t> parseRights(std::string_view text) {
  if (const auto number = parseNumber(text, 0, 0xFFFF)) return static_cast<std::uint16_t>(*number);
  std::uint16_t rights = 0;
  while (!text.empty()) {
    const std::string_view name = text.substr(0, text.find(','));
    text.remove_prefix(std::min(text.size(), name.size() + 1));
    bool known = false;
    for (const RightName& right : kRightNames) {
      if (right.name == name) {
        rights |= right.bit;
        known = true;
      }
    }
    if (!known) return std::nullopt;
  }
  return rights;
}

std::string rightsText(std::uint16_t rights) {
  std::string text = hexNumber(rights, 4);
  std::string names;
  for (const RightName& right : kRightNames) {
    if (rights & right.bit) names += (names.empty() ? "" : ", ") + std::string(right.name);
  }
  if (!names.empty()) text += " (" + names + ")";
  return text;
}

template <typename Record>
bytes::Bytes slotBytes(const Record& record) {
  const auto slot = record.encode();
  return bytes::Bytes(slot.begin(), slot.end());
}

std::string hundredthsText(std::int64_t hundredths) { return Decimal(Decimal::kMoneyScale, hundredths).toString(); }

// --- the exchange with the register ---

Fields fieldsOf(const Cashier& record) {
  return {numberField("cashier", record.number),
          textField("name", cp866::toUtf8(record.name)),
          {"rights", record.rights, rightsText(record.rights)},
          {"password", static_cast<std::uint32_t>(record.password),
           std::to_string(static_cast<std::uint32_t>(record.password)) + (record.password == 0 ? " (none)" : "")},
          yesNoField("usable", record.isValid())};
}

Fields fieldsOf(const Section& record) {
  return {numberField("section", record.number), textField("name", cp866::toUtf8(record.name))};
}

Fields fieldsOf(const Discount& record) {
  Fields fields{numberField("discount", record.number), textField("name", cp866::toUtf8(record.name))};
  if (!record.isValid()) {
    fields.push_back(textField("kind", "unset"));
  } else {
    const std::string value = hundredthsText(record.value);
    fields.push_back(textField("kind", record.isPercentage() ? "percent" : "amount"));
    fields.push_back({"value", value, value + (record.isPercentage() ? " %" : " roubles")});
  }
  fields.push_back(textField("printed as", cp866::toUtf8(displayName(record))));
  return fields;
}

// Reads record `number` of a table: its slot bytes, or nullopt when no reply came or the
// register refused (said under `label`).
std::optional<bytes::Bytes> readSlot(Session& session, const Operator& cashier, Table table, std::uint8_t number,
                                     std::string_view label) {
  const auto reply = session.transact(protocol::kReadRecord, readRecordPayload(cashier, table, number));
  if (!reply) return std::nullopt;
  session.report(label, protocol::kReadRecord, *reply, {},
                 reply->code == 0 ? Session::Show::kJsonOnly : Session::Show::kLine);
  if (reply->code != 0) return std::nullopt;
  return reply->data;
}

struct TableKind {
  std::string_view command;
  Table table;
};
constexpr TableKind kTableCommands[] = {
    {"cashier", Table::Cashiers}, {"section", Table::Sections}, {"discount", Table::Discounts}};

std::optional<Table> tableOf(std::string_view command) {
  for (const TableKind& kind : kTableCommands) {
    if (kind.command == command) return kind.table;
  }
  return std::nullopt;
}

std::string_view tableName(Table table) {
  for (const TableKind& kind : kTableCommands) {
    if (kind.table == table) return kind.command;
  }
  return "record";
}

std::optional<Tables> readTablesFile(const std::string& path, std::string& problem) {
  std::ifstream in(path);
  if (!in) {
    problem = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto tables = tablesFromJson(text, problem);
  if (!tables) problem = path + ": " + problem;
  return tables;
}

// Reads record `number` and shows it, or (with `edits`) changes the fields they name and writes
// it back.
template <typename Record>
void getOrSet(Session& session, const Operator& cashier, Table table, std::uint8_t number,
              const ConfigArguments* edits) {
  const std::string label = std::string(tableName(table)) + " " + std::to_string(number);
  const auto read = session.transact(protocol::kReadRecord, readRecordPayload(cashier, table, number));
  if (!read) return;
  Record record;
  const bool decoded = read->code == 0 && Record::decodeChecked(read->data, record);
  const bool shown = edits == nullptr || !decoded;
  session.report("read " + label, protocol::kReadRecord, *read, decoded ? fieldsOf(record) : Fields{},
                 !shown ? Session::Show::kJsonOnly : decoded ? Session::Show::kFields : Session::Show::kLine);
  if (read->code == 0 && !decoded) {
    session.note() << "the register sent " << read->data.size() << " bytes, not a record\n";
    session.markFailed();
  }
  if (shown) return;
  edits->edit(record);
  const auto written = session.transact(protocol::kWriteRecord, writeRecordPayload(cashier, table, slotBytes(record)));
  if (!written) return;
  session.report("write " + label, protocol::kWriteRecord, *written, written->code == 0 ? fieldsOf(record) : Fields{},
                 Session::Show::kLine);
}

void dump(Session& session, const Operator& cashier, const std::string& path) {
  Tables tables;
  bool complete = true;
  for (unsigned n = 1; n <= Cashier::kCount; ++n) {
    const auto number = static_cast<std::uint8_t>(n);
    for (const TableKind& kind : kTableCommands) {
      const std::string label = std::string(kind.command) + " " + std::to_string(n);
      const auto slot = readSlot(session, cashier, kind.table, number, label);
      if (session.exitStatus() == kExitNoReply) return;
      Cashier cashierRecord;
      Section section;
      Discount discount;
      if (slot && kind.table == Table::Cashiers && Cashier::decodeChecked(*slot, cashierRecord)) {
        tables.cashiers.push_back(cashierRecord);
      } else if (slot && kind.table == Table::Sections && Section::decodeChecked(*slot, section)) {
        tables.sections.push_back(section);
      } else if (slot && kind.table == Table::Discounts && Discount::decodeChecked(*slot, discount)) {
        tables.discounts.push_back(discount);
      } else {
        complete = false;
      }
    }
  }
  if (!complete) {
    session.note() << "not every record could be read: " << path << " not written\n";
    return;
  }
  std::ofstream file(path, std::ios::trunc);
  file << tablesToJson(tables);
  file.close();
  if (!file) {
    session.note() << "frhost: cannot write " << path << "\n";
    session.markFailed();
    return;
  }
  session.note() << "wrote " << path << ": " << tables.cashiers.size() << " cashiers, " << tables.sections.size()
                 << " sections, " << tables.discounts.size() << " discounts\n";
}

// The operator's own record goes last: a new password there would refuse every later write.
void program(Session& session, const Operator& cashier, const Tables& tables) {
  struct Write {
    Table table;
    std::string label;
    bytes::Bytes slot;
  };
  std::vector<Write> writes, own;
  for (const Cashier& record : tables.cashiers) {
    auto& list = record.number == cashier.number ? own : writes;
    list.push_back({Table::Cashiers, "cashier " + std::to_string(record.number), slotBytes(record)});
  }
  for (const Section& record : tables.sections) {
    writes.push_back({Table::Sections, "section " + std::to_string(record.number), slotBytes(record)});
  }
  for (const Discount& record : tables.discounts) {
    writes.push_back({Table::Discounts, "discount " + std::to_string(record.number), slotBytes(record)});
  }
  writes.insert(writes.end(), own.begin(), own.end());
  std::size_t written = 0;
  for (const Write& write : writes) {
    const auto reply = session.transact(protocol::kWriteRecord, writeRecordPayload(cashier, write.table, write.slot));
    if (!reply) return;
    session.report(write.label, protocol::kWriteRecord, *reply, {}, Session::Show::kLine);
    if (reply->code == 0) ++written;
  }
  session.note() << "programmed " << written << " of " << writes.size() << " records\n";
}

// Reads the clock, or sets it to `time`.
void clock(Session& session, const Operator& cashier, std::optional<std::uint32_t> time) {
  bytes::Bytes payload;
  if (time) {
    payload = operatorPrefix(cashier);
    bytes::appendU32(payload, *time);
  }
  const std::uint8_t command = time ? protocol::kSetClock : protocol::kReadClock;
  const auto reply = session.transact(command, payload);
  if (!reply) return;
  Fields fields;
  if (reply->code == 0 && reply->data.size() == sizeof(std::uint32_t)) {
    fields.push_back(timeField("time", bytes::loadU32(reply->data, 0)));
  }
  session.report(time ? "clock set" : "clock", command, *reply, fields);
}

// Reads the paper width, or sets it to `width`.
void paperWidth(Session& session, const Operator& cashier, std::optional<std::uint8_t> width) {
  bytes::Bytes payload = operatorPrefix(cashier);
  payload.push_back(kPaperWidthSetting);
  if (width) payload.push_back(*width);
  const std::uint8_t command = width ? protocol::kWriteSetting : protocol::kReadSetting;
  const auto reply = session.transact(command, payload);
  if (!reply) return;
  Fields fields;
  if (reply->code == 0) {
    fields.push_back(numberField("paper width", width ? *width : reply->data.empty() ? 0u : unsigned{reply->data[0]}));
    fields.back().text += " mm";
  }
  session.report(width ? "paper-width set" : "paper-width", command, *reply, fields);
}

}  // namespace

bytes::Bytes readRecordPayload(const Operator& cashier, Table table, std::uint8_t number) {
  bytes::Bytes payload = operatorPrefix(cashier);
  payload.push_back(static_cast<std::uint8_t>(table));
  payload.push_back(number);
  return payload;
}

bytes::Bytes writeRecordPayload(const Operator& cashier, Table table, bytes::View slot) {
  bytes::Bytes payload = operatorPrefix(cashier);
  payload.push_back(static_cast<std::uint8_t>(table));
  bytes::appendBytes(payload, slot);
  return payload;
}

std::optional<std::uint32_t> parseClockTime(std::string_view text, std::int64_t now) {
  std::int64_t seconds = now;
  if (text != "now") {
    if (const auto number = parseNumber(text, 0, kLatestTime)) {
      seconds = *number;
    } else {
      const std::string copy(text);
      std::tm local{};
      const char* end = strptime(copy.c_str(), "%Y-%m-%dT%H:%M:%S", &local);
      if (end == nullptr || *end != '\0') end = strptime(copy.c_str(), "%Y-%m-%d %H:%M:%S", &(local = {}));
      if (end == nullptr || *end != '\0') return std::nullopt;
      local.tm_isdst = -1;
      seconds = std::mktime(&local);
    }
  }
  if (seconds < 0 || seconds > kLatestTime) return std::nullopt;
  return static_cast<std::uint32_t>(seconds);
}

ConfigArguments::ConfigArguments(std::string_view command) : command_(command) {}

void ConfigArguments::declare(CLI::App& command) {
  command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  if (const auto table = tableOf(command_)) {
    declareRecordEdits(command, *table);
  } else if (command_ == "clock") {
    command.footer("setting the clock needs rights 0x0004");
    command.add_option("ACTION", action_, "set: set the clock (without it: read it)")->check(CLI::IsMember({"set"}));
    command.add_option("TIME", value_, "now (this machine's clock), seconds since the epoch or YYYY-MM-DDTHH:MM:SS");
  } else if (command_ == "paper-width") {
    command.footer("setting the paper width needs rights 0x0004");
    command.add_option("ACTION", action_, "set: set the width (without it: read it)")->check(CLI::IsMember({"set"}));
    command.add_option("MM", value_, "the paper width in millimetres: 58, 60 or 80")->check(numberRange(1, 255));
  } else {
    command.add_option("ACTION", action_, "dump writes the three tables to FILE, program writes FILE's records")
        ->required()
        ->check(CLI::IsMember({"dump", "program"}));
    command.add_option("FILE", value_, "a JSON file of cashiers, sections and discounts")->required();
  }
}

void ConfigArguments::declareRecordEdits(CLI::App& command, Table table) {
  command.footer("changing cashiers needs rights 0x0100, sections and discounts 0x0080");
  command.add_option("ACTION", action_, "get shows record N, set changes the fields named")
      ->required()
      ->check(CLI::IsMember({"get", "set"}));
  command.add_option("N", value_, "the record's number")->required()->check(numberRange(1, Cashier::kCount));
  const std::size_t nameSize = table == Table::Cashiers   ? Cashier::kNameSize
                               : table == Table::Sections ? Section::kNameSize
                                                          : Discount::kNameSize;
  const std::string empty = table == Table::Sections ? "; empty prints the section's number" : "";
  command
      .add_option("--name", name_, "the name, at most " + std::to_string(nameSize) + " bytes in CP866" + empty)
      ->check(CLI::Validator(
          [nameSize](const std::string& text) {
            return cp866::fromUtf8(text).size() <= nameSize ? std::string() : "is too long: " + text;
          },
          ""))
      ->type_name("TEXT");
  if (table == Table::Cashiers) {
    std::string names;
    for (const RightName& right : kRightNames) names += (names.empty() ? "" : ", ") + std::string(right.name);
    command.add_option("--rights", rights_, "a number, or names joined by commas: " + names)
        ->check(CLI::Validator(
            [](const std::string& text) { return parseRights(text) ? std::string() : "not rights: " + text; }, ""))
        ->type_name("BITS");
    command.add_option("--password", password_, "the cashier's password; 0 withdraws the cashier")
        ->check(numberRange(0, std::numeric_limits<std::uint32_t>::max()))
        ->type_name("N");
  }
  if (table == Table::Discounts) {
    const auto hundredths = CLI::Validator(
        [](const std::string& text) {
          return parseHundredths(text, std::numeric_limits<std::int64_t>::max())
                     ? std::string()
                     : "takes at most two decimals, not " + text;
        },
        "");
    CLI::Option* percent =
        command.add_option("--percent", percent_, "a percentage off; 0 withdraws")->check(hundredths)->type_name("P");
    CLI::Option* amount =
        command.add_option("--amount", amount_, "roubles off; 0 withdraws")->check(hundredths)->type_name("ROUBLES");
    CLI::Option* unset = command.add_flag("--unset", unset_, "no discount at all");
    percent->excludes(amount)->excludes(unset);
    amount->excludes(unset);
  }
}

bool ConfigArguments::check(std::string& problem) {
  problem.clear();
  if (tableOf(command_)) {
    const bool edits = name_ || rights_ || password_ || percent_ || amount_ || unset_;
    if (action_ == "get" && edits) problem = "get takes no options";
    if (action_ == "set" && !edits) problem = "set changes at least one field";
    return problem.empty();
  }
  if (command_ == "tables") {
    if (action_ == "program") tables_ = readTablesFile(value_, problem);
    return problem.empty();
  }
  if (action_.empty()) return true;
  if (command_ == "clock") {
    time_ = parseClockTime(value_, std::time(nullptr));
    if (!time_) problem = "clock set now|SECONDS|YYYY-MM-DDTHH:MM:SS, at most 2038-01-19";
  } else if (value_.empty()) {
    problem = "paper-width set MM, MM 1 to 255 (58, 60 or 80)";
  } else {
    width_ = static_cast<std::uint8_t>(*parseNumber(value_, 1, 255));
  }
  return problem.empty();
}

void ConfigArguments::edit(Cashier& record) const {
  if (name_) record.name = cp866::fromUtf8(*name_);
  if (rights_) record.rights = *parseRights(*rights_);
  if (password_) {
    record.password = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(*parseNumber(*password_, 0, std::numeric_limits<std::uint32_t>::max())));
  }
}

void ConfigArguments::edit(Section& record) const {
  if (name_) record.name = cp866::fromUtf8(*name_);
}

void ConfigArguments::edit(Discount& record) const {
  if (name_) record.name = cp866::fromUtf8(*name_);
  if (unset_) {
    record.kind = Discount::kNotSet;
    record.value = 0;
  }
  for (const auto& [value, kind] : {std::pair{&percent_, Discount::kPercentage}, {&amount_, Discount::kAmount}}) {
    if (!*value) continue;
    record.kind = kind;
    record.value = static_cast<std::int64_t>(*parseHundredths(**value, std::numeric_limits<std::int64_t>::max()));
  }
}

void ConfigArguments::run(Session& session, const Operator& cashier) const {
  if (const auto table = tableOf(command_)) {
    const auto number = static_cast<std::uint8_t>(*parseNumber(value_, 1, Cashier::kCount));
    const ConfigArguments* edits = action_ == "set" ? this : nullptr;
    if (table == Table::Cashiers) return getOrSet<Cashier>(session, cashier, *table, number, edits);
    if (table == Table::Sections) return getOrSet<Section>(session, cashier, *table, number, edits);
    return getOrSet<Discount>(session, cashier, *table, number, edits);
  }
  if (command_ == "clock") return clock(session, cashier, time_);
  if (command_ == "paper-width") return paperWidth(session, cashier, width_);
  if (action_ == "dump") return dump(session, cashier, value_);
  program(session, cashier, *tables_);
}

}  // namespace host
