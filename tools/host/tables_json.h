// The cashier, section and discount tables as one JSON file kept with the shop's records, and
// single records as entries of that file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"

namespace host {

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
// One entry of that file, and back (number included); false with `problem` set when the entry
// is not valid as a file entry.
nlohmann::ordered_json recordToJson(const Cashier& record);
nlohmann::ordered_json recordToJson(const Section& record);
nlohmann::ordered_json recordToJson(const Discount& record);
bool recordFromJson(const nlohmann::ordered_json& entry, Cashier& record, std::string& problem);
bool recordFromJson(const nlohmann::ordered_json& entry, Section& record, std::string& problem);
bool recordFromJson(const nlohmann::ordered_json& entry, Discount& record, std::string& problem);
// nullopt with `problem` set for a text that is not JSON of that form: an unknown key, a
// number outside 1..20 or given twice in one list, a name too long for its field, a value
// that is not valid.
std::optional<Tables> tablesFromJson(std::string_view text, std::string& problem);

}  // namespace host
