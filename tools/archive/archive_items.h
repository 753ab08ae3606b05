// The stored items of a document as data: each item's tag number, its name and its value
// decoded by the form its tag is stored in (numbers, amounts as exact decimal strings in
// roubles, texts from CP866 to UTF-8, date-times, containers as their items).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "values/bytes.h"
#include "values/tlv.h"

namespace frarchive {

// "receipt", "shift opening"; "unknown" outside types 1 to 7.
std::string_view documentTypeName(std::uint8_t type);

// The name of a stored tag ("receipt item", "price"); "unknown" for a tag no document stores.
std::string_view tagName(std::uint16_t tag);

// {"tag": 11079, "name": "price", "value": "45.50"}; a container has "items" instead of a
// value, a date-time also "seconds", and a value that does not fit its tag's form (or an
// unknown tag) "hex".
nlohmann::ordered_json itemJson(const TlvItem& item);

// "2027-01-15T08:00:00Z": seconds since the epoch in UTC, as exports give times.
std::string timeText(std::uint32_t seconds);

// The items after a stored form's type byte. When an item runs past the end of the data, the
// result ends with {"error": "item runs past the end of the data", "at": OFFSET}.
nlohmann::ordered_json storedItemsJson(bytes::View data);

}  // namespace frarchive
