#include "tools/archive/archive_items.h"

#include <algorithm>
#include <ctime>
#include <string>

#include "values/cp866.h"
#include "values/decimal.h"
#include "values/tags.h"

namespace frarchive {

namespace {

enum class Form { U8, U16, U32, Money, Quantity, Percentage, Text, DateTime, Container, Unknown };

struct TagInfo {
  std::uint16_t tag;
  std::string_view name;
  Form form;
};

// Every tag a stored document, its receipt pieces or its counter blocks use.
constexpr TagInfo kTags[] = {
    {11009, "address of settlement", Form::Text},
    {tag::kDateTime, "date and time", Form::DateTime},
    {11018, "taxpayer number", Form::Text},
    {tag::kReceiptTotal, "receipt total", Form::Money},
    {tag::kCashierName, "cashier", Form::Text},
    {tag::kQuantity, "quantity", Form::Quantity},
    {tag::kItemName, "item name", Form::Text},
    {tag::kCashPaid, "cash", Form::Money},
    {11037, "registration number", Form::Text},
    {tag::kShiftNumber, "shift number", Form::U16},
    {tag::kDocumentNumber, "document number", Form::U32},
    {11041, "archive id", Form::U32},
    {tag::kReceiptNumber, "receipt number", Form::U16},
    {tag::kItemTotal, "item total", Form::Money},
    {11048, "user name", Form::Text},
    {tag::kReceiptKind, "receipt kind", Form::U8},
    {tag::kReceiptItem, "receipt item", Form::Container},
    {tag::kFiscalSign, "fiscal sign", Form::U32},
    {tag::kPrice, "price", Form::Money},
    {tag::kElectronicPaid, "electronic payment", Form::Money},
    {tag::kItemTaxAmount, "tax amount", Form::Money},
    {tag::kReceipts, "receipts", Form::U32},
    {tag::kSaleCounters, "sale counters", Form::Container},
    {tag::kSaleReturnCounters, "sale return counters", Form::Container},
    {tag::kPurchaseCounters, "purchase counters", Form::Container},
    {tag::kPurchaseReturnCounters, "purchase return counters", Form::Container},
    {tag::kCash, "cash", Form::Money},
    {tag::kElectronic, "electronic", Form::Money},
    {tag::kTotalCounters, "archive totals", Form::Container},
    {tag::kPeriodCounters, "period counters", Form::Container},
    {tag::kProductCode, "product code", Form::Text},
    {11187, "place of settlement", Form::Text},
    {tag::kShiftCounters, "shift counters", Form::Container},
    {tag::kTaxIndex, "tax index", Form::U8},
    {tag::kTotal, "total", Form::Money},
    {tag::kSection, "section", Form::Container},
    {tag::kSectionNumber, "section number", Form::U8},
    {tag::kSectionName, "section name", Form::Text},
    {tag::kDiscountNumber, "discount number", Form::U8},
    {tag::kItemDiscount, "discount", Form::Money},
    {tag::kMarkingCode, "marking code", Form::Text},
    {tag::kDeposits, "deposits", Form::U16},
    {tag::kDepositSum, "deposit sum", Form::Money},
    {tag::kPayouts, "payouts", Form::U16},
    {tag::kPayoutSum, "payout sum", Form::Money},
    {tag::kUnit, "unit", Form::Text},
    {tag::kFiscalizationNumber, "fiscalization number", Form::U32},
    {13102, "tax kind", Form::U8},
    {13103, "tax percentage", Form::Percentage},
    {13104, "tax name", Form::Text},
    {13105, "tax rate 1", Form::Container},
    {13106, "tax rate 2", Form::Container},
    {13107, "tax rate 3", Form::Container},
    {13108, "tax rate 4", Form::Container},
    {13109, "tax rate 5", Form::Container},
    {13110, "tax sum 1", Form::Money},
    {13111, "tax sum 2", Form::Money},
    {13112, "tax sum 3", Form::Money},
    {13113, "tax sum 4", Form::Money},
    {13114, "tax sum 5", Form::Money},
};

const TagInfo* find(std::uint16_t tag) {
  for (const TagInfo& info : kTags) {
    if (info.tag == tag) return &info;
  }
  return nullptr;
}

// Containers nest at most this deep in anything the register stores; deeper ones are shown raw.
constexpr int kMaxDepth = 4;

nlohmann::ordered_json itemJsonAt(const TlvItem& item, int depth);

// Sets "value" (and "seconds" for a date-time); false when the item does not fit its form.
bool putValue(Form form, const TlvItem& item, int depth, nlohmann::ordered_json& out) {
  bool fits = true;
  switch (form) {
    case Form::U8: out["value"] = item.getU8(&fits); break;
    case Form::U16: out["value"] = item.getU16(&fits); break;
    case Form::U32: out["value"] = item.getU32(&fits); break;
    case Form::Money:
      fits = item.value().size() <= 8;
      out["value"] = Decimal(Decimal::kMoneyScale, static_cast<std::int64_t>(item.getVarInt())).toString();
      break;
    case Form::Quantity:
      fits = !item.value().empty() && item.value().size() <= 9 && item.value()[0] <= 9;
      if (fits) out["value"] = item.getDecimal().toString();
      break;
    case Form::Percentage: out["value"] = Decimal(100, item.getU16(&fits)).toString(); break;
    case Form::Text: {
      // A text ends at its first zero byte; zero padding after it is not part of it, anything
      // else after it does not fit a text.
      const bytes::Bytes& value = item.value();
      const auto end = std::find(value.begin(), value.end(), std::uint8_t{0});
      fits = std::all_of(end, value.end(), [](std::uint8_t byte) { return byte == 0; });
      out["value"] = cp866::toUtf8(std::string(value.begin(), end));
      break;
    }
    case Form::DateTime: {
      const std::uint32_t seconds = item.getU32(&fits);
      out["value"] = timeText(seconds);
      out["seconds"] = seconds;
      break;
    }
    case Form::Container: {
      if (depth >= kMaxDepth) return false;
      bool parsed = false;
      const TlvList children = parseList(item, &parsed);
      nlohmann::ordered_json items = nlohmann::ordered_json::array();
      for (const TlvItem& child : children) items.push_back(itemJsonAt(child, depth + 1));
      out["items"] = std::move(items);
      fits = parsed || item.value().empty();
      break;
    }
    case Form::Unknown: return false;
  }
  return fits;
}

nlohmann::ordered_json itemJsonAt(const TlvItem& item, int depth) {
  nlohmann::ordered_json out = {{"tag", item.tag()}, {"name", tagName(item.tag())}};
  const TagInfo* info = find(item.tag());
  if (!putValue(info != nullptr ? info->form : Form::Unknown, item, depth, out)) {
    out.erase("value");
    out.erase("items");
    out["hex"] = bytes::hexUpper(item.value());
  }
  return out;
}

}  // namespace

std::string timeText(std::uint32_t seconds) {
  const std::time_t moment = seconds;
  std::tm utc{};
  gmtime_r(&moment, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string_view documentTypeName(std::uint8_t type) {
  static constexpr std::string_view kNames[] = {"unknown",         "fiscalization", "shift closing", "receipt",
                                                "archive closing", "cash deposit",  "cash payout",   "shift opening"};
  return type < std::size(kNames) ? kNames[type] : "unknown";
}

std::string_view tagName(std::uint16_t tag) {
  const TagInfo* info = find(tag);
  return info != nullptr ? info->name : "unknown";
}

nlohmann::ordered_json itemJson(const TlvItem& item) { return itemJsonAt(item, 0); }

nlohmann::ordered_json storedItemsJson(bytes::View data) {
  nlohmann::ordered_json items = nlohmann::ordered_json::array();
  bytes::View rest = data.empty() ? data : data.subspan(1);
  while (!rest.empty()) {
    TlvItem item;
    if (!item.decodeFront(rest)) {
      items.push_back({{"error", "item runs past the end of the data"}, {"at", data.size() - rest.size()}});
      break;
    }
    items.push_back(itemJson(item));
  }
  return items;
}

}  // namespace frarchive
