#include "tools/host/config_commands.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tools/host/number_text.h"
#include "values/cp866.h"
#include "values/decimal.h"

namespace host {
namespace {

using Arguments = std::span<const std::string_view>;
using json = nlohmann::ordered_json;

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

std::optional<std::uint8_t> recordNumber(std::string_view text) {
  const auto number = parseNumber(text, 1, Cashier::kCount);
  if (!number) return std::nullopt;
  return static_cast<std::uint8_t>(*number);
}

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
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(4) << std::setfill('0') << rights;
  std::string names;
  for (const RightName& right : kRightNames) {
    if (rights & right.bit) names += (names.empty() ? "" : ", ") + std::string(right.name);
  }
  if (!names.empty()) text << " (" << names << ")";
  return text.str();
}

// A UTF-8 name in CP866, at most `size` bytes.
std::optional<std::string> nameField(std::string_view utf8, std::size_t size) {
  std::string name = cp866::fromUtf8(utf8);
  if (name.size() > size) return std::nullopt;
  return name;
}

template <typename Record>
bytes::Bytes slotBytes(const Record& record) {
  const auto slot = record.encode();
  return bytes::Bytes(slot.begin(), slot.end());
}

std::string hundredthsText(std::int64_t hundredths) { return Decimal(Decimal::kMoneyScale, hundredths).toString(); }

// --- the JSON file ---

bool onlyKeys(const json& object, std::initializer_list<std::string_view> keys, const std::string& where,
              std::string& problem) {
  if (!object.is_object()) {
    problem = where + " is not an object";
    return false;
  }
  for (const auto& [key, value] : object.items()) {
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      problem = where + ": unknown key \"" + key + "\"";
      return false;
    }
  }
  return true;
}

std::optional<std::int64_t> integerField(const json& object, const char* key, std::int64_t minimum,
                                         std::int64_t maximum) {
  if (!object.contains(key) || !object[key].is_number_integer()) return std::nullopt;
  const std::int64_t value = object[key].get<std::int64_t>();
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

std::optional<std::string> jsonText(const json& object, const char* key, std::size_t size) {
  if (!object.contains(key)) return std::string();
  if (!object[key].is_string()) return std::nullopt;
  return nameField(object[key].get<std::string>(), size);
}

// Each list entry: its number, unique in the list, and its fields through `read`.
template <typename Record, typename Read>
bool readList(const json& file, const char* key, std::vector<Record>& out, std::string& problem, Read read) {
  if (!file.contains(key)) return true;
  if (!file[key].is_array()) {
    problem = std::string(key) + " is not a list";
    return false;
  }
  std::set<unsigned> seen;
  for (const json& entry : file[key]) {
    const std::string where = std::string(key) + " entry " + std::to_string(out.size() + 1);
    Record record;
    const auto number = entry.is_object() ? integerField(entry, "number", 1, Cashier::kCount) : std::nullopt;
    if (!number) {
      problem = where + ": \"number\" must be 1 to 20";
      return false;
    }
    if (!seen.insert(static_cast<unsigned>(*number)).second) {
      problem = where + ": number " + std::to_string(*number) + " given twice";
      return false;
    }
    record.number = static_cast<std::uint8_t>(*number);
    if (!read(entry, record, where, problem)) return false;
    out.push_back(std::move(record));
  }
  return true;
}

bool readCashier(const json& entry, Cashier& record, const std::string& where, std::string& problem) {
  if (!onlyKeys(entry, {"number", "name", "rights", "password"}, where, problem)) return false;
  const auto name = jsonText(entry, "name", Cashier::kNameSize);
  const auto rights = entry.contains("rights") ? integerField(entry, "rights", 0, 0xFFFF) : 0;
  const auto password =
      entry.contains("password") ? integerField(entry, "password", std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::uint32_t>::max())
                                 : 0;
  if (!name || !rights || !password) {
    problem = where + ": name of at most 255 bytes, rights 0 to 65535, password a 32-bit number";
    return false;
  }
  record.name = *name;
  record.rights = static_cast<std::uint16_t>(*rights);
  record.password = static_cast<std::int32_t>(static_cast<std::uint32_t>(*password));
  return true;
}

bool readSection(const json& entry, Section& record, const std::string& where, std::string& problem) {
  if (!onlyKeys(entry, {"number", "name"}, where, problem)) return false;
  const auto name = jsonText(entry, "name", Section::kNameSize);
  if (!name) {
    problem = where + ": name of at most 126 bytes";
    return false;
  }
  record.name = *name;
  return true;
}

bool readDiscount(const json& entry, Discount& record, const std::string& where, std::string& problem) {
  if (!onlyKeys(entry, {"number", "name", "percent", "amount"}, where, problem)) return false;
  const auto name = jsonText(entry, "name", Discount::kNameSize);
  if (!name) {
    problem = where + ": name of at most 127 bytes";
    return false;
  }
  record.name = *name;
  if (entry.contains("percent") && entry.contains("amount")) {
    problem = where + ": a percent or an amount, not both";
    return false;
  }
  for (const char* key : {"percent", "amount"}) {
    if (!entry.contains(key)) continue;
    const auto value = entry[key].is_string()
                           ? parseHundredths(entry[key].get<std::string>(), std::numeric_limits<std::int64_t>::max())
                           : std::nullopt;
    if (!value) {
      problem = where + ": \"" + key + "\" is text with at most two decimals, like \"10.00\"";
      return false;
    }
    record.kind = std::string_view(key) == "percent" ? Discount::kPercentage : Discount::kAmount;
    record.value = static_cast<std::int64_t>(*value);
  }
  return true;
}

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
  const auto reply = session.transact(kReadRecordCommand, readRecordPayload(cashier, table, number));
  if (!reply) return std::nullopt;
  session.report(label, kReadRecordCommand, *reply, {},
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

std::string_view tableName(Table table) {
  for (const TableKind& kind : kTableCommands) {
    if (kind.table == table) return kind.command;
  }
  return "record";
}

// What one parsed command line asks for.
struct Request {
  enum class Kind { Get, Set, ReadClock, SetClock, ReadWidth, SetWidth, Dump, Program } kind;
  Table table = Table::Cashiers;
  std::uint8_t number = 0;
  std::vector<std::string_view> options = {};
  std::uint32_t time = 0;
  std::uint8_t width = 0;
  std::string file = {};
  Tables tables = {};
};

template <typename Record>
bool edit(Record& record, Arguments options, std::string& problem);
template <>
bool edit(Cashier& record, Arguments options, std::string& problem) { return editCashier(record, options, problem); }
template <>
bool edit(Section& record, Arguments options, std::string& problem) { return editSection(record, options, problem); }
template <>
bool edit(Discount& record, Arguments options, std::string& problem) { return editDiscount(record, options, problem); }

template <typename Record>
bool optionsValid(Arguments options, std::string& problem) {
  Record blank;
  return edit(blank, options, problem);
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

std::optional<Request> parseRequest(Arguments arguments, std::string& problem) {
  if (arguments.empty()) return std::nullopt;
  const std::string_view name = arguments[0];
  const Arguments rest = arguments.subspan(1);
  for (const TableKind& kind : kTableCommands) {
    if (kind.command != name) continue;
    const auto number = rest.size() >= 2 ? recordNumber(rest[1]) : std::nullopt;
    if (!number || (rest[0] != "get" && rest[0] != "set") || (rest[0] == "get" && rest.size() != 2)) {
      problem = std::string(name) + " get N | " + std::string(name) + " set N OPTIONS, N 1 to 20";
      return std::nullopt;
    }
    Request request{.kind = rest[0] == "get" ? Request::Kind::Get : Request::Kind::Set, .table = kind.table,
                    .number = *number, .options = {rest.begin() + 2, rest.end()}};
    // The options are checked on a blank record before anything is sent.
    const bool valid = kind.table == Table::Cashiers   ? optionsValid<Cashier>(request.options, problem)
                       : kind.table == Table::Sections ? optionsValid<Section>(request.options, problem)
                                                       : optionsValid<Discount>(request.options, problem);
    if (!valid) return std::nullopt;
    if (request.kind == Request::Kind::Set && request.options.empty()) {
      problem = "set changes at least one field";
      return std::nullopt;
    }
    return request;
  }
  if (name == "clock") {
    if (rest.empty()) return Request{.kind = Request::Kind::ReadClock};
    const auto time = rest.size() == 2 && rest[0] == "set" ? parseClockTime(rest[1], std::time(nullptr)) : std::nullopt;
    if (!time) {
      problem = "clock set now|SECONDS|YYYY-MM-DDTHH:MM:SS, at most 2038-01-19";
      return std::nullopt;
    }
    return Request{.kind = Request::Kind::SetClock, .time = *time};
  }
  if (name == "paper-width") {
    if (rest.empty()) return Request{.kind = Request::Kind::ReadWidth};
    const auto width = rest.size() == 2 && rest[0] == "set" ? parseNumber(rest[1], 1, 255) : std::nullopt;
    if (!width) {
      problem = "paper-width set MM, MM 1 to 255 (58, 60 or 80)";
      return std::nullopt;
    }
    return Request{.kind = Request::Kind::SetWidth, .width = static_cast<std::uint8_t>(*width)};
  }
  if (name == "tables" && rest.size() == 2 && rest[0] == "dump") {
    return Request{.kind = Request::Kind::Dump, .file = std::string(rest[1])};
  }
  if (name == "tables" && rest.size() == 2 && rest[0] == "program") {
    auto tables = readTablesFile(std::string(rest[1]), problem);
    if (!tables) return std::nullopt;
    return Request{.kind = Request::Kind::Program, .file = std::string(rest[1]), .tables = std::move(*tables)};
  }
  problem = "tables dump FILE | tables program FILE";
  return std::nullopt;
}

template <typename Record>
void getOrSet(Session& session, const Operator& cashier, const Request& request) {
  const std::string label = std::string(tableName(request.table)) + " " + std::to_string(request.number);
  const auto read = session.transact(kReadRecordCommand, readRecordPayload(cashier, request.table, request.number));
  if (!read) return;
  Record record;
  const bool decoded = read->code == 0 && Record::decodeChecked(read->data, record);
  const bool shown = request.kind == Request::Kind::Get || !decoded;
  session.report("read " + label, kReadRecordCommand, *read, decoded ? fieldsOf(record) : Fields{},
                 !shown ? Session::Show::kJsonOnly : decoded ? Session::Show::kFields : Session::Show::kLine);
  if (read->code == 0 && !decoded) {
    session.note() << "the register sent " << read->data.size() << " bytes, not a record\n";
    session.markFailed();
  }
  if (shown) return;
  std::string problem;
  edit(record, request.options, problem);  // checked when the command line was read
  const auto written =
      session.transact(kWriteRecordCommand, writeRecordPayload(cashier, request.table, slotBytes(record)));
  if (!written) return;
  session.report("write " + label, kWriteRecordCommand, *written, written->code == 0 ? fieldsOf(record) : Fields{},
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
    const auto reply = session.transact(kWriteRecordCommand, writeRecordPayload(cashier, write.table, write.slot));
    if (!reply) return;
    session.report(write.label, kWriteRecordCommand, *reply, {}, Session::Show::kLine);
    if (reply->code == 0) ++written;
  }
  session.note() << "programmed " << written << " of " << writes.size() << " records\n";
}

void runRequest(Session& session, const Operator& cashier, const Request& request) {
  switch (request.kind) {
    case Request::Kind::Get:
    case Request::Kind::Set:
      if (request.table == Table::Cashiers) return getOrSet<Cashier>(session, cashier, request);
      if (request.table == Table::Sections) return getOrSet<Section>(session, cashier, request);
      return getOrSet<Discount>(session, cashier, request);
    case Request::Kind::ReadClock:
    case Request::Kind::SetClock: {
      bytes::Bytes payload;
      if (request.kind == Request::Kind::SetClock) {
        payload = operatorPrefix(cashier);
        bytes::appendU32(payload, request.time);
      }
      const std::uint8_t command = payload.empty() ? kReadClockCommand : kSetClockCommand;
      const auto reply = session.transact(command, payload);
      if (!reply) return;
      Fields fields;
      if (reply->code == 0 && reply->data.size() == sizeof(std::uint32_t)) {
        fields.push_back(timeField("time", bytes::loadU32(reply->data, 0)));
      }
      return session.report(payload.empty() ? "clock" : "clock set", command, *reply, fields);
    }
    case Request::Kind::ReadWidth:
    case Request::Kind::SetWidth: {
      bytes::Bytes payload = operatorPrefix(cashier);
      payload.push_back(kPaperWidthSetting);
      const bool set = request.kind == Request::Kind::SetWidth;
      if (set) payload.push_back(request.width);
      const std::uint8_t command = set ? kWriteSettingCommand : kReadSettingCommand;
      const auto reply = session.transact(command, payload);
      if (!reply) return;
      Fields fields;
      const unsigned width = set ? request.width : reply->data.empty() ? 0 : reply->data[0];
      if (reply->code == 0) {
        fields.push_back(numberField("paper width", width));
        fields.back().text += " mm";
      }
      return session.report(set ? "paper-width set" : "paper-width", command, *reply, fields);
    }
    case Request::Kind::Dump:
      return dump(session, cashier, request.file);
    case Request::Kind::Program:
      return program(session, cashier, request.tables);
  }
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

std::string tablesToJson(const Tables& tables) {
  json file = {{"cashiers", json::array()}, {"sections", json::array()}, {"discounts", json::array()}};
  for (const Cashier& record : tables.cashiers) {
    file["cashiers"].push_back({{"number", record.number},
                                {"name", cp866::toUtf8(record.name)},
                                {"rights", record.rights},
                                {"password", static_cast<std::uint32_t>(record.password)}});
  }
  for (const Section& record : tables.sections) {
    file["sections"].push_back({{"number", record.number}, {"name", cp866::toUtf8(record.name)}});
  }
  for (const Discount& record : tables.discounts) {
    json entry = {{"number", record.number}, {"name", cp866::toUtf8(record.name)}};
    if (record.isValid()) entry[record.isPercentage() ? "percent" : "amount"] = hundredthsText(record.value);
    file["discounts"].push_back(entry);
  }
  return file.dump(2) + "\n";
}

std::optional<Tables> tablesFromJson(std::string_view text, std::string& problem) {
  const json file = json::parse(text, nullptr, false);
  if (file.is_discarded()) {
    problem = "not JSON";
    return std::nullopt;
  }
  if (!onlyKeys(file, {"cashiers", "sections", "discounts"}, "the file", problem)) return std::nullopt;
  Tables tables;
  if (!readList(file, "cashiers", tables.cashiers, problem, readCashier) ||
      !readList(file, "sections", tables.sections, problem, readSection) ||
      !readList(file, "discounts", tables.discounts, problem, readDiscount)) {
    return std::nullopt;
  }
  return tables;
}

// Options come in pairs, OPTION VALUE, except the discount's --unset.
bool editCashier(Cashier& record, Arguments options, std::string& problem) {
  for (std::size_t i = 0; i < options.size(); i += 2) {
    const std::string_view option = options[i];
    const std::optional<std::string_view> value = i + 1 < options.size() ? std::optional(options[i + 1]) : std::nullopt;
    if (option == "--name" && value && nameField(*value, Cashier::kNameSize)) {
      record.name = *nameField(*value, Cashier::kNameSize);
    } else if (option == "--rights" && value && parseRights(*value)) {
      record.rights = *parseRights(*value);
    } else if (option == "--password" && value && parseNumber(*value, 0, std::numeric_limits<std::uint32_t>::max())) {
      record.password = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(*parseNumber(*value, 0, std::numeric_limits<std::uint32_t>::max())));
    } else {
      problem = "cashier options: --name TEXT (at most 255 bytes), --rights BITS, --password NUMBER (0 withdraws)";
      return false;
    }
  }
  return true;
}

bool editSection(Section& record, Arguments options, std::string& problem) {
  for (std::size_t i = 0; i < options.size(); i += 2) {
    const auto name = i + 1 < options.size() ? nameField(options[i + 1], Section::kNameSize) : std::nullopt;
    if (options[i] != "--name" || !name) {
      problem = "section options: --name TEXT (at most 126 bytes; empty prints the section's number)";
      return false;
    }
    record.name = *name;
  }
  return true;
}

bool editDiscount(Discount& record, Arguments options, std::string& problem) {
  for (std::size_t i = 0; i < options.size(); i += 2) {
    const std::string_view option = options[i];
    if (option == "--unset") {
      record.kind = Discount::kNotSet;
      record.value = 0;
      --i;  // takes no value
      continue;
    }
    const std::optional<std::string_view> value = i + 1 < options.size() ? std::optional(options[i + 1]) : std::nullopt;
    const auto hundredths =
        value ? parseHundredths(*value, std::numeric_limits<std::int64_t>::max()) : std::optional<std::uint64_t>();
    if (option == "--name" && value && nameField(*value, Discount::kNameSize)) {
      record.name = *nameField(*value, Discount::kNameSize);
    } else if ((option == "--percent" || option == "--amount") && hundredths) {
      record.kind = option == "--percent" ? Discount::kPercentage : Discount::kAmount;
      record.value = static_cast<std::int64_t>(*hundredths);
    } else {
      problem = "discount options: --name TEXT (at most 127 bytes), --percent P or --amount ROUBLES (two decimals "
                "at most; 0 withdraws), --unset";
      return false;
    }
  }
  return true;
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

bool isConfigCommand(std::string_view name) {
  for (const TableKind& kind : kTableCommands) {
    if (kind.command == name) return true;
  }
  return name == "clock" || name == "paper-width" || name == "tables";
}

void printConfigUsage(std::ostream& out) {
  out << "configuration commands (the operator needs rights 0x0100 for cashiers, 0x0080 for sections and\n"
         "discounts, 0x0004 for the clock and the paper width):\n"
         "  cashier get N | cashier set N [--name TEXT] [--rights BITS] [--password P]\n"
         "                       BITS a number or names joined by commas:";
  for (const RightName& right : kRightNames) out << " " << right.name;
  out << "\n"
         "  section get N | section set N --name TEXT\n"
         "  discount get N | discount set N [--name TEXT] [--percent P | --amount ROUBLES | --unset]\n"
         "  clock | clock set now|SECONDS|YYYY-MM-DDTHH:MM:SS   read or set the register's clock\n"
         "  paper-width | paper-width set MM                   read or set the paper width\n"
         "  tables dump FILE | tables program FILE             all three tables to or from a JSON file\n";
}

bool configCommandValid(Arguments arguments, std::string& problem) {
  return parseRequest(arguments, problem).has_value();
}

void runConfigCommand(Session& session, const Operator& cashier, Arguments arguments) {
  std::string problem;
  const auto request = parseRequest(arguments, problem);
  if (!request) {
    session.note() << "frhost: " << problem << "\n";
    session.markFailed();
    return;
  }
  runRequest(session, cashier, *request);
}

}  // namespace host
