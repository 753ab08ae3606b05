#include "tools/host/tables_json.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <set>

#include "tools/host/document_commands.h"
#include "values/cp866.h"
#include "values/decimal.h"

namespace host {
namespace {

using json = nlohmann::ordered_json;

// A UTF-8 name in CP866, at most `size` bytes.
std::optional<std::string> nameField(std::string_view utf8, std::size_t size) {
  std::string name = cp866::fromUtf8(utf8);
  if (name.size() > size) return std::nullopt;
  return name;
}

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

// An entry's number (1..20) and its fields through `read`; `where` names the entry in problems.
template <typename Record, typename Read>
bool readNumbered(const json& entry, Record& record, const std::string& where, std::string& problem, Read read) {
  const auto number = entry.is_object() ? integerField(entry, "number", 1, Cashier::kCount) : std::nullopt;
  if (!number) {
    problem = where + ": \"number\" must be 1 to 20";
    return false;
  }
  record.number = static_cast<std::uint8_t>(*number);
  return read(entry, record, where, problem);
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
    if (!readNumbered(entry, record, where, problem, read)) return false;
    if (!seen.insert(record.number).second) {
      problem = where + ": number " + std::to_string(record.number) + " given twice";
      return false;
    }
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

}  // namespace

json recordToJson(const Cashier& record) {
  return {{"number", record.number},
          {"name", cp866::toUtf8(record.name)},
          {"rights", record.rights},
          {"password", static_cast<std::uint32_t>(record.password)}};
}

json recordToJson(const Section& record) { return {{"number", record.number}, {"name", cp866::toUtf8(record.name)}}; }

json recordToJson(const Discount& record) {
  json entry = {{"number", record.number}, {"name", cp866::toUtf8(record.name)}};
  if (record.isValid()) {
    entry[record.isPercentage() ? "percent" : "amount"] = Decimal(Decimal::kMoneyScale, record.value).toString();
  }
  return entry;
}

bool recordFromJson(const json& entry, Cashier& record, std::string& problem) {
  return readNumbered(entry, record, "the cashier", problem, readCashier);
}

bool recordFromJson(const json& entry, Section& record, std::string& problem) {
  return readNumbered(entry, record, "the section", problem, readSection);
}

bool recordFromJson(const json& entry, Discount& record, std::string& problem) {
  return readNumbered(entry, record, "the discount", problem, readDiscount);
}

std::string tablesToJson(const Tables& tables) {
  json file = {{"cashiers", json::array()}, {"sections", json::array()}, {"discounts", json::array()}};
  for (const Cashier& record : tables.cashiers) file["cashiers"].push_back(recordToJson(record));
  for (const Section& record : tables.sections) file["sections"].push_back(recordToJson(record));
  for (const Discount& record : tables.discounts) file["discounts"].push_back(recordToJson(record));
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

}  // namespace host
