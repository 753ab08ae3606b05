#include "tools/host/config_commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <type_traits>

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

// The word naming a record of Record's table, as its command and in labels ("cashier 3").
template <typename Record>
constexpr std::string_view recordWord() {
  if constexpr (std::is_same_v<Record, Cashier>) return "cashier";
  if constexpr (std::is_same_v<Record, Section>) return "section";
  return "discount";
}

template <typename Record>
std::string recordLabel(std::uint8_t number) {
  return std::string(recordWord<Record>()) + " " + std::to_string(number);
}

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
    const std::string value = Decimal(Decimal::kMoneyScale, record.value).toString();
    fields.push_back(textField("kind", record.isPercentage() ? "percent" : "amount"));
    fields.push_back({"value", value, value + (record.isPercentage() ? " %" : " roubles")});
  }
  fields.push_back(textField("printed as", cp866::toUtf8(displayName(record))));
  return fields;
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
void getOrSet(Session& session, const Operator& cashier, std::uint8_t number, const ConfigArguments* edits) {
  constexpr Table table = tableOf<Record>();
  const std::string label = recordLabel<Record>(number);
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

// Reads record `number` of Record's table into `out`; false when no reply came, the register
// refused (said on a line) or the reply is not a record.
template <typename Record>
bool readInto(Session& session, const Operator& cashier, std::uint8_t number, std::vector<Record>& out) {
  const auto reply = session.transact(protocol::kReadRecord, readRecordPayload(cashier, tableOf<Record>(), number));
  if (!reply) return false;
  session.report(recordLabel<Record>(number), protocol::kReadRecord, *reply, {},
                 reply->code == 0 ? Session::Show::kJsonOnly : Session::Show::kLine);
  Record record;
  if (reply->code != 0 || !Record::decodeChecked(reply->data, record)) return false;
  out.push_back(record);
  return true;
}

void dump(Session& session, const Operator& cashier, const std::string& path) {
  Tables tables;
  bool complete = true;
  for (unsigned n = 1; n <= Cashier::kCount; ++n) {
    const auto number = static_cast<std::uint8_t>(n);
    // False once a reply did not come: nothing more is asked.
    const auto read = [&](auto& list) {
      complete = readInto(session, cashier, number, list) && complete;
      return session.exitStatus() != kExitNoReply;
    };
    if (!read(tables.cashiers) || !read(tables.sections) || !read(tables.discounts)) return;
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

// One record a tables program writes.
struct RecordWrite {
  Table table;
  std::string label;
  bytes::Bytes slot;
};

template <typename Record>
RecordWrite writeOf(const Record& record) {
  return {tableOf<Record>(), recordLabel<Record>(record.number), slotBytes(record)};
}

// The operator's own record goes last: a new password there would refuse every later write.
void program(Session& session, const Operator& cashier, const Tables& tables) {
  std::vector<RecordWrite> writes, own;
  for (const Cashier& record : tables.cashiers) {
    (record.number == cashier.number ? own : writes).push_back(writeOf(record));
  }
  for (const Section& record : tables.sections) writes.push_back(writeOf(record));
  for (const Discount& record : tables.discounts) writes.push_back(writeOf(record));
  writes.insert(writes.end(), own.begin(), own.end());
  std::size_t written = 0;
  for (const RecordWrite& write : writes) {
    const auto reply = session.transact(protocol::kWriteRecord, writeRecordPayload(cashier, write.table, write.slot));
    if (!reply) return;
    session.report(write.label, protocol::kWriteRecord, *reply, {}, Session::Show::kLine);
    if (reply->code == 0) ++written;
  }
  session.note() << "programmed " << written << " of " << writes.size() << " records\n";
}

}  // namespace

// One configuration command: its name and help line, and its own parts of ConfigArguments.
struct ConfigArguments::Kind {
  std::string_view name;
  std::string summary;
  void (ConfigArguments::*declare)(CLI::App& command);
  bool (ConfigArguments::*check)(std::string& problem);
  void (ConfigArguments::*run)(Session& session, const Operator& cashier) const;
};

const std::vector<ConfigArguments::Kind>& ConfigArguments::kinds() {
  static const std::string records = decimalCodes({protocol::kReadRecord, protocol::kWriteRecord});
  static const std::vector<Kind> all{
      {recordWord<Cashier>(), "read or change cashier N " + records, &ConfigArguments::declareCashier,
       &ConfigArguments::checkRecordEdits, &ConfigArguments::runRecord<Cashier>},
      {recordWord<Section>(), "read or change section N " + records, &ConfigArguments::declareSection,
       &ConfigArguments::checkRecordEdits, &ConfigArguments::runRecord<Section>},
      {recordWord<Discount>(), "read or change discount N " + records, &ConfigArguments::declareDiscount,
       &ConfigArguments::checkRecordEdits, &ConfigArguments::runRecord<Discount>},
      {"clock", "read or set the register's clock " + decimalCodes({protocol::kReadClock, protocol::kSetClock}),
       &ConfigArguments::declareClock, &ConfigArguments::checkClock, &ConfigArguments::runClock},
      {"paper-width", "read or set the paper width " + decimalCodes({protocol::kReadSetting, protocol::kWriteSetting}),
       &ConfigArguments::declarePaperWidth, &ConfigArguments::checkPaperWidth, &ConfigArguments::runPaperWidth},
      {"tables", "all cashiers, sections and discounts to or from a JSON file", &ConfigArguments::declareTables,
       &ConfigArguments::checkTables, &ConfigArguments::runTables},
  };
  return all;
}

std::vector<ConfigCommand> configCommands() {
  std::vector<ConfigCommand> commands;
  for (const ConfigArguments::Kind& kind : ConfigArguments::kinds()) commands.push_back({kind.name, kind.summary});
  return commands;
}

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

ConfigArguments::ConfigArguments(std::string_view command) {
  const auto& all = kinds();
  const auto found = std::find_if(all.begin(), all.end(), [command](const Kind& kind) { return kind.name == command; });
  if (found == all.end()) throw std::invalid_argument("no configuration command " + std::string(command));
  kind_ = &*found;
}

void ConfigArguments::declare(CLI::App& command) {
  command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  (this->*kind_->declare)(command);
}

bool ConfigArguments::check(std::string& problem) {
  problem.clear();
  return (this->*kind_->check)(problem);
}

void ConfigArguments::run(Session& session, const Operator& cashier) const { (this->*kind_->run)(session, cashier); }

void ConfigArguments::declareNumberAndName(CLI::App& command, std::size_t nameSize, std::string_view emptyName) {
  command.footer("changing cashiers needs rights 0x0100, sections and discounts 0x0080");
  command.add_option("ACTION", action_, "get shows record N, set changes the fields named")
      ->required()
      ->check(CLI::IsMember({"get", "set"}));
  command.add_option("N", value_, "the record's number")->required()->check(numberRange(1, Cashier::kCount));
  command
      .add_option("--name", name_,
                  "the name, at most " + std::to_string(nameSize) + " bytes in CP866" + std::string(emptyName))
      ->check(CLI::Validator(
          [nameSize](const std::string& text) {
            return cp866::fromUtf8(text).size() <= nameSize ? std::string() : "is too long: " + text;
          },
          ""))
      ->type_name("TEXT");
}

void ConfigArguments::declareCashier(CLI::App& command) {
  declareNumberAndName(command, Cashier::kNameSize, "");
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

void ConfigArguments::declareSection(CLI::App& command) {
  declareNumberAndName(command, Section::kNameSize, "; empty prints the section's number");
}

void ConfigArguments::declareDiscount(CLI::App& command) {
  declareNumberAndName(command, Discount::kNameSize, "");
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

void ConfigArguments::declareClock(CLI::App& command) {
  command.footer("setting the clock needs rights 0x0004");
  command.add_option("ACTION", action_, "set: set the clock (without it: read it)")->check(CLI::IsMember({"set"}));
  command.add_option("TIME", value_, "now (this machine's clock), seconds since the epoch or YYYY-MM-DDTHH:MM:SS");
}

void ConfigArguments::declarePaperWidth(CLI::App& command) {
  command.footer("setting the paper width needs rights 0x0004");
  command.add_option("ACTION", action_, "set: set the width (without it: read it)")->check(CLI::IsMember({"set"}));
  command.add_option("MM", value_, "the paper width in millimetres: 58, 60 or 80")->check(numberRange(1, 255));
}

void ConfigArguments::declareTables(CLI::App& command) {
  command.add_option("ACTION", action_, "dump writes the three tables to FILE, program writes FILE's records")
      ->required()
      ->check(CLI::IsMember({"dump", "program"}));
  command.add_option("FILE", value_, "a JSON file of cashiers, sections and discounts")->required();
}

bool ConfigArguments::checkRecordEdits(std::string& problem) {
  const bool edits = name_ || rights_ || password_ || percent_ || amount_ || unset_;
  if (action_ == "get" && edits) problem = "get takes no options";
  if (action_ == "set" && !edits) problem = "set changes at least one field";
  return problem.empty();
}

bool ConfigArguments::checkClock(std::string& problem) {
  if (action_.empty()) return true;
  time_ = parseClockTime(value_, std::time(nullptr));
  if (!time_) problem = "clock set now|SECONDS|YYYY-MM-DDTHH:MM:SS, at most 2038-01-19";
  return problem.empty();
}

bool ConfigArguments::checkPaperWidth(std::string& problem) {
  if (action_.empty()) return true;
  if (value_.empty()) {
    problem = "paper-width set MM, MM 1 to 255 (58, 60 or 80)";
    return false;
  }
  width_ = static_cast<std::uint8_t>(*parseNumber(value_, 1, 255));
  return true;
}

bool ConfigArguments::checkTables(std::string& problem) {
  if (action_ == "program") tables_ = readTablesFile(value_, problem);
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

template <typename Record>
void ConfigArguments::runRecord(Session& session, const Operator& cashier) const {
  const auto number = static_cast<std::uint8_t>(*parseNumber(value_, 1, Cashier::kCount));
  getOrSet<Record>(session, cashier, number, action_ == "set" ? this : nullptr);
}

// Reads the clock, or sets it to the time checked.
void ConfigArguments::runClock(Session& session, const Operator& cashier) const {
  bytes::Bytes payload;
  if (time_) {
    payload = operatorPrefix(cashier);
    bytes::appendU32(payload, *time_);
  }
  const std::uint8_t command = time_ ? protocol::kSetClock : protocol::kReadClock;
  const auto reply = session.transact(command, payload);
  if (!reply) return;
  Fields fields;
  if (reply->code == 0 && reply->data.size() == sizeof(std::uint32_t)) {
    fields.push_back(timeField("time", bytes::loadU32(reply->data, 0)));
  }
  session.report(time_ ? "clock set" : "clock", command, *reply, fields);
}

// Reads the paper width, or sets it to the width checked.
void ConfigArguments::runPaperWidth(Session& session, const Operator& cashier) const {
  bytes::Bytes payload = operatorPrefix(cashier);
  payload.push_back(kPaperWidthSetting);
  if (width_) payload.push_back(*width_);
  const std::uint8_t command = width_ ? protocol::kWriteSetting : protocol::kReadSetting;
  const auto reply = session.transact(command, payload);
  if (!reply) return;
  Fields fields;
  if (reply->code == 0) {
    fields.push_back(
        numberField("paper width", width_ ? *width_ : reply->data.empty() ? 0u : unsigned{reply->data[0]}));
    fields.back().text += " mm";
  }
  session.report(width_ ? "paper-width set" : "paper-width", command, *reply, fields);
}

void ConfigArguments::runTables(Session& session, const Operator& cashier) const {
  if (action_ == "dump") return dump(session, cashier, value_);
  program(session, cashier, *tables_);
}

}  // namespace host
