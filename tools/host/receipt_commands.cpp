#include "tools/host/receipt_commands.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>

#include <nlohmann/json.hpp>

#include "documents/receipt_doc.h"
#include "tools/host/number_text.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace host {

namespace {

constexpr std::size_t kReplySize = 32;
constexpr std::uint64_t kMaxAmount = ReceiptDoc::kMaxTotal;

// A positive decimal with at most nine places, keeping its places ("2.000" has scale 1000).
std::optional<Decimal> parseQuantity(std::string_view text) {
  const std::size_t point = text.find('.');
  std::string digits(text.substr(0, point));
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (digits.empty() || fraction.size() > static_cast<std::size_t>(Decimal::kMaxDigits) ||
      (point != std::string_view::npos && fraction.empty())) {
    return std::nullopt;
  }
  digits += fraction;
  std::int64_t mantissa = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), mantissa);
  if (error != std::errc() || end != digits.data() + digits.size() || mantissa <= 0) return std::nullopt;
  Decimal quantity(1, mantissa);
  quantity.setDigits(static_cast<int>(fraction.size()));
  return quantity;
}

// Builds the item from KEY=VALUE fields, whatever their source.
class ItemBuilder {
 public:
  bool set(std::string_view key, std::string_view value, std::string& problem) {
    if (!fields_.emplace(std::string(key), std::string(value)).second) {
      problem = "item field " + std::string(key) + " is given twice";
      return false;
    }
    return true;
  }

  std::optional<LabelledItem> build(std::string& problem) const {
    const auto text = [this](const char* key) {
      const auto found = fields_.find(key);
      return found == fields_.end() ? std::string() : cp866::fromUtf8(found->second);
    };
    const auto field = [this](const char* key) -> std::optional<std::string> {
      const auto found = fields_.find(key);
      if (found == fields_.end()) return std::nullopt;
      return found->second;
    };
    for (const auto& [key, value] : fields_) {
      if (key != "name" && key != "price" && key != "qty" && key != "unit" && key != "section" && key != "tax" &&
          key != "discount" && key != "manual" && key != "code" && key != "mark") {
        problem = "unknown item field " + key;
        return std::nullopt;
      }
    }
    const std::string name = text("name");
    const auto price = field("price") ? parseHundredths(*field("price"), kMaxAmount) : std::nullopt;
    if (name.empty() || !price) {
      problem = "an item needs name=TEXT and price=ROUBLES (at most two decimals)";
      return std::nullopt;
    }
    const auto quantity = parseQuantity(field("qty").value_or("1"));
    const auto section = decimalBetween(field("section").value_or("1"), 1, 20);
    const auto tax = decimalBetween(field("tax").value_or("1"), 1, 5);
    if (!quantity || !section || !tax) {
      problem = "qty is a positive number with at most nine places, section 1-20, tax 1-5";
      return std::nullopt;
    }
    TlvList items;
    items.emplace_back().setText(tag::kItemName, name);
    items.emplace_back().setVarInt(tag::kPrice, *price);
    items.emplace_back().setDecimal(tag::kQuantity, *quantity);
    items.emplace_back().setU8(tag::kSectionNumber, static_cast<std::uint8_t>(*section));
    items.emplace_back().setU8(tag::kTaxIndex, static_cast<std::uint8_t>(*tax));
    if (const auto discount = field("discount")) {
      const auto number = decimalBetween(*discount, 1, 20);
      if (!number || field("manual")) {
        problem = "discount is a number 1-20, and an item takes it or manual, not both";
        return std::nullopt;
      }
      items.emplace_back().setU8(tag::kDiscountNumber, static_cast<std::uint8_t>(*number));
    }
    if (const auto manual = field("manual")) {
      const auto amount = parseHundredths(*manual, kMaxAmount);
      if (!amount) {
        problem = "manual is roubles with at most two decimals";
        return std::nullopt;
      }
      items.emplace_back().setVarInt(tag::kItemDiscount, *amount);
    }
    for (const auto& [key, itemTag] : {std::pair{"unit", tag::kUnit}, {"code", tag::kProductCode},
                                       {"mark", tag::kMarkingCode}}) {
      if (const std::string value = text(key); !value.empty()) items.emplace_back().setText(itemTag, value);
    }
    LabelledItem labelled{"item " + std::to_string(tag::kReceiptItem), {}};
    labelled.item.setList(tag::kReceiptItem, items);
    return labelled;
  }

 private:
  std::map<std::string, std::string> fields_;
};

std::optional<std::vector<LabelledItem>> jsonItems(std::string_view content, std::string& problem) {
  const nlohmann::json document = nlohmann::json::parse(content, nullptr, false);
  if (document.is_discarded()) {
    problem = "the item file is not valid JSON";
    return std::nullopt;
  }
  const nlohmann::json& list = document.is_object() && document.contains("items") ? document["items"] : document;
  if (!list.is_array()) {
    problem = "the item file holds an array of items, or an object whose \"items\" is one";
    return std::nullopt;
  }
  return parseSaleItemList(list, problem);
}

}  // namespace

std::optional<LabelledItem> parseSaleItem(std::string_view spec, std::string& problem) {
  ItemBuilder builder;
  while (!spec.empty()) {
    const std::size_t comma = spec.find(',');
    const std::string_view field = spec.substr(0, comma);
    spec = comma == std::string_view::npos ? std::string_view() : spec.substr(comma + 1);
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) {
      problem = "an item field is KEY=VALUE";
      return std::nullopt;
    }
    if (!builder.set(field.substr(0, equals), field.substr(equals + 1), problem)) return std::nullopt;
  }
  return builder.build(problem);
}

std::optional<std::vector<LabelledItem>> parseSaleItemList(const nlohmann::json& list, std::string& problem) {
  if (!list.is_array()) {
    problem = "the items are an array of objects";
    return std::nullopt;
  }
  std::vector<LabelledItem> out;
  for (const nlohmann::json& entry : list) {
    if (!entry.is_object()) {
      problem = "every item is an object";
      return std::nullopt;
    }
    ItemBuilder builder;
    for (const auto& [key, value] : entry.items()) {
      // Numbers are taken as written, so that 2.000 keeps its places only when it is a string.
      const std::string text = value.is_string() ? value.get<std::string>() : value.dump();
      if (!builder.set(key, text, problem)) return std::nullopt;
    }
    auto item = builder.build(problem);
    if (!item) return std::nullopt;
    out.push_back(std::move(*item));
  }
  return out;
}

std::optional<std::vector<LabelledItem>> parseSaleItems(std::string_view content, std::string& problem) {
  const std::size_t first = content.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos && (content[first] == '[' || content[first] == '{')) {
    return jsonItems(content, problem);
  }
  std::vector<LabelledItem> out;
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    auto item = parseSaleItem(line, problem);
    if (!item) return std::nullopt;
    out.push_back(std::move(*item));
  }
  return out;
}

void SaleArguments::declare(CLI::App& command) {
  command_ = &command;
  command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  addNumber(command, "--kind", kind_, 0, ReceiptDoc::kLastKind,
            "0 sale (default), 1 purchase, 2 sale return, 3 purchase return, 4-14");
  const auto amount = CLI::Validator(
      [](const std::string& text) {
        return parseHundredths(text, kMaxAmount) ? std::string() : "is roubles with at most two decimals, not " + text;
      },
      "");
  command.add_option("--cash", cash_, "paid in cash; no payment at all pays the total in cash")
      ->check(amount)
      ->type_name("ROUBLES");
  command.add_option("--card", card_, "paid by card")->check(amount)->type_name("ROUBLES");
  command.add_option("--cashier-name", cashierName_, "the cashier name the receipt carries")->type_name("TEXT");
  command.add_option("--items", files_, "item lines from a JSON or text file, where it stands among the ITEMs")
      ->type_name("FILE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  command.add_option("ITEM", items_,
                     "name=TEXT,price=ROUBLES[,qty=N][,unit=TEXT][,section=1-20][,tax=1-5]"
                     "[,discount=1-20 | ,manual=ROUBLES][,code=TEXT][,mark=TEXT]");
}

std::optional<Plan> SaleArguments::plan(const Operator& cashier, std::string& problem) const {
  // The items in the order given, those of each file where it stands.
  std::vector<LabelledItem> items;
  auto nextFile = files_.begin();
  auto nextItem = items_.begin();
  for (const CLI::Option* option : command_->parse_order()) {
    if (option->check_name("--items")) {
      std::ifstream file{*nextFile, std::ios::binary};
      if (!file) {
        problem = "cannot read " + *nextFile;
        return std::nullopt;
      }
      ++nextFile;
      const std::string content{std::istreambuf_iterator<char>(file), {}};
      auto fromFile = parseSaleItems(content, problem);
      if (!fromFile) return std::nullopt;
      items.insert(items.end(), fromFile->begin(), fromFile->end());
    } else if (option->check_name("ITEM")) {
      auto item = parseSaleItem(*nextItem++, problem);
      if (!item) return std::nullopt;
      items.push_back(std::move(*item));
    }
  }
  if (items.empty()) {
    problem = "a sale needs at least one item";
    return std::nullopt;
  }
  return receiptPlan(cashier, static_cast<std::uint8_t>(kind_), cashierName_, items, *parseHundredths(cash_, kMaxAmount),
                     *parseHundredths(card_, kMaxAmount), problem);
}

std::optional<Plan> receiptPlan(const Operator& cashier, std::uint8_t kind, std::string_view cashierName,
                                const std::vector<LabelledItem>& items, std::uint64_t cash, std::uint64_t card,
                                std::string& problem) {
  const std::string name = cp866::fromUtf8(cashierName);
  if (name.size() > 255) {
    problem = "the cashier name has at most 255 bytes";
    return std::nullopt;
  }
  bytes::Bytes openData{kind};
  if (!name.empty()) {
    openData.push_back(static_cast<std::uint8_t>(name.size()));
    bytes::appendBytes(openData, bytes::view(name));
  }
  bytes::Bytes payment;
  bytes::appendU64(payment, cash);
  bytes::appendU64(payment, card);
  return documentPlan(kReceiptCodes, cashier, openData, items, payment);
}

std::optional<Plan> salePlan(const Operator& cashier, Arguments words, std::string& problem) {
  SaleArguments sale;
  return planFromWords(sale, cashier, words, problem);
}

std::optional<ReceiptReply> parseReceiptReply(bytes::View data) {
  if (data.size() != kReplySize) return std::nullopt;
  return ReceiptReply{bytes::loadU32(data, 0),  bytes::loadU32(data, 4),  bytes::loadU32(data, 8),
                      bytes::loadU16(data, 12), bytes::loadU16(data, 14), bytes::loadI64(data, 16),
                      bytes::loadI64(data, 24)};
}

Fields receiptFields(bytes::View data) {
  const auto reply = parseReceiptReply(data);
  if (!reply) {
    return fieldList(
        textField("unexpected", "close reply of " + std::to_string(data.size()) + " bytes, not that of a receipt"));
  }
  return fieldList(numberField("document", reply->documentNumber), fiscalSignField(reply->fiscalSign),
                   timeField("time", reply->dateTime), numberField("shift", reply->shiftNumber),
                   numberField("receipt", reply->receiptNumber), moneyField("total", reply->total),
                   moneyField("change", reply->change));
}

}  // namespace host
