#include "tools/gateway/request_bodies.h"

#include <array>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

#include "documents/base_document.h"
#include "documents/receipt_doc.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "tools/common/moment.h"
#include "tools/host/document_commands.h"
#include "tools/host/receipt_commands.h"
#include "tools/host/report_commands.h"
#include "tools/host/tables_json.h"

namespace gateway {
namespace {

constexpr std::array<std::pair<std::string_view, std::uint8_t>, 4> kReceiptKinds = {
    {{"sale", 0}, {"purchase", 1}, {"sale-return", 2}, {"purchase-return", 3}}};

// Every key of `body` is an operator key or one of `keys`.
bool onlyKeys(const BodyJson& body, std::initializer_list<std::string_view> keys, std::string& problem) {
  for (const auto& [key, value] : body.items()) {
    if (key == "operator" || key == "password") continue;
    bool known = false;
    for (const std::string_view allowed : keys) known = known || key == allowed;
    if (!known) {
      problem = "unknown field \"" + key + "\"";
      return false;
    }
  }
  return true;
}

std::optional<std::int64_t> integerIn(const BodyJson& value, std::int64_t minimum, std::int64_t maximum) {
  if (!value.is_number_integer()) return std::nullopt;
  if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(maximum)) {
    return std::nullopt;
  }
  const std::int64_t number = value.get<std::int64_t>();
  if (number < minimum || number > maximum) return std::nullopt;
  return number;
}

// An amount: a decimal string, non-negative, at most two places, at most `maximum` hundredths.
std::optional<std::int64_t> amountField(const BodyJson& body, const char* key, std::int64_t maximum,
                                        std::string& problem) {
  const auto found = body.find(key);
  const auto hundredths = found != body.end() && found->is_string()
                              ? host::parseHundredths(found->get<std::string>(), static_cast<std::uint64_t>(maximum))
                              : std::nullopt;
  if (!hundredths) {
    problem = std::string("\"") + key + "\" is an amount: a decimal string like \"45.50\", not negative";
    return std::nullopt;
  }
  return static_cast<std::int64_t>(*hundredths);
}

std::optional<std::string> numberWord(const BodyJson& body, const char* key, std::int64_t maximum,
                                      std::string& problem) {
  const auto found = body.find(key);
  const auto number = found != body.end() ? integerIn(*found, 0, maximum) : std::nullopt;
  if (!number) {
    problem = std::string("\"") + key + "\" is a whole number from 0 to " + std::to_string(maximum);
    return std::nullopt;
  }
  return std::to_string(*number);
}

std::optional<host::Request> onlyRequest(const std::optional<host::Plan>& plan) {
  if (!plan || plan->steps.size() != 1) return std::nullopt;
  return plan->steps.front().request;
}

std::optional<DocumentOrder> receiptOrder(const BodyJson& body, const host::Operator& cashier, std::string& problem) {
  if (!onlyKeys(body, {"kind", "items", "payment"}, problem)) return std::nullopt;
  DocumentOrder order{.type = DocumentType::kReceipt};
  std::uint8_t kind = 0;
  if (const auto found = body.find("kind"); found != body.end()) {
    const auto known = std::find_if(kReceiptKinds.begin(), kReceiptKinds.end(), [&](const auto& entry) {
      return found->is_string() && found->get<std::string>() == entry.first;
    });
    if (known == kReceiptKinds.end()) {
      problem = "\"kind\" is sale, purchase, sale-return or purchase-return";
      return std::nullopt;
    }
    kind = known->second;
  }
  order.incoming = ReceiptDoc::isIncomingKind(kind);

  const auto items = body.find("items");
  if (items == body.end() || !items->is_array() || items->empty()) {
    problem = "\"items\" is a non-empty array of items";
    return std::nullopt;
  }
  for (const BodyJson& item : *items) {
    for (const char* amount : {"price", "manual"}) {
      if (item.is_object() && item.contains(amount) && !item[amount].is_string()) {
        problem = std::string("an item's \"") + amount + "\" is a decimal string like \"45.50\"";
        return std::nullopt;
      }
    }
  }
  const auto lines = host::parseSaleItemList(*items, problem);
  if (!lines) return std::nullopt;

  if (const auto payment = body.find("payment"); payment != body.end()) {
    if (!payment->is_object() || !onlyKeys(*payment, {"cash", "card"}, problem) || payment->contains("operator") ||
        payment->contains("password")) {
      if (problem.empty()) problem = "\"payment\" is an object with \"cash\" and \"card\" amounts";
      return std::nullopt;
    }
    for (const auto& [key, target] : {std::pair{"cash", &order.cash}, std::pair{"card", &order.card}}) {
      if (!payment->contains(key)) continue;
      const auto amount = amountField(*payment, key, ReceiptDoc::kMaxTotal, problem);
      if (!amount) return std::nullopt;
      *target = *amount;
    }
  }
  auto plan = host::receiptPlan(cashier, kind, "", *lines, static_cast<std::uint64_t>(order.cash),
                                static_cast<std::uint64_t>(order.card), problem);
  if (!plan) return std::nullopt;
  order.plan = std::move(*plan);
  return order;
}

}  // namespace

const DocumentRoute kDocumentRoutes[5] = {{"/v1/receipts", DocumentKind::kReceipt},
                                          {"/v1/shifts/open", DocumentKind::kShiftOpen},
                                          {"/v1/shifts/close", DocumentKind::kShiftClose},
                                          {"/v1/cash/deposit", DocumentKind::kDeposit},
                                          {"/v1/cash/payout", DocumentKind::kPayout}};

std::optional<DocumentKind> documentKindForPath(std::string_view path) {
  for (const DocumentRoute& route : kDocumentRoutes) {
    if (path == route.path) return route.kind;
  }
  return std::nullopt;
}

std::optional<BodyJson> parseBody(std::string_view text, std::string& problem) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return BodyJson::object();
  BodyJson body = BodyJson::parse(text, nullptr, false);
  if (body.is_discarded()) {
    problem = "the body is not valid JSON";
    return std::nullopt;
  }
  if (!body.is_object()) {
    problem = "the body is a JSON object";
    return std::nullopt;
  }
  return body;
}

std::optional<host::Operator> bodyOperator(const BodyJson& body, const host::Operator& fallback,
                                           std::string& problem) {
  host::Operator cashier = fallback;
  if (const auto found = body.find("operator"); found != body.end()) {
    const auto number = integerIn(*found, host::Operator::kFirstNumber, host::Operator::kLastNumber);
    if (!number) {
      problem = "\"operator\" is a cashier number from 1 to 20";
      return std::nullopt;
    }
    cashier.number = static_cast<std::uint8_t>(*number);
  }
  if (const auto found = body.find("password"); found != body.end()) {
    const auto password = integerIn(*found, 0, std::numeric_limits<std::uint32_t>::max());
    if (!password) {
      problem = "\"password\" is a number from 0 to 4294967295";
      return std::nullopt;
    }
    cashier.password = static_cast<std::uint32_t>(*password);
  }
  return cashier;
}

std::optional<DocumentOrder> documentOrder(DocumentKind kind, const BodyJson& body, const host::Operator& fallback,
                                           std::string& problem) {
  const auto cashier = bodyOperator(body, fallback, problem);
  if (!cashier) return std::nullopt;
  switch (kind) {
    case DocumentKind::kReceipt: return receiptOrder(body, *cashier, problem);
    case DocumentKind::kShiftOpen:
    case DocumentKind::kShiftClose: {
      if (!onlyKeys(body, {}, problem)) return std::nullopt;
      const host::DocumentCodes& codes =
          kind == DocumentKind::kShiftOpen ? host::kShiftOpeningCodes : host::kShiftClosingCodes;
      return DocumentOrder{.type = codes.type, .plan = host::documentPlan(codes, *cashier)};
    }
    case DocumentKind::kDeposit:
    case DocumentKind::kPayout: {
      if (!onlyKeys(body, {"amount"}, problem)) return std::nullopt;
      const auto amount = amountField(body, "amount", std::numeric_limits<std::int64_t>::max(), problem);
      if (!amount) return std::nullopt;
      const host::DocumentCodes& codes =
          kind == DocumentKind::kDeposit ? host::kCashDepositCodes : host::kCashPayoutCodes;
      bytes::Bytes finishing;
      bytes::appendI64(finishing, *amount);
      return DocumentOrder{
          .type = codes.type, .plan = host::documentPlan(codes, *cashier, {}, {}, finishing), .amount = *amount};
    }
  }
  return std::nullopt;
}

std::optional<host::Request> reportRequest(std::string_view report, const BodyJson& body,
                                           const host::Operator& fallback, std::string& problem) {
  const auto cashier = bodyOperator(body, fallback, problem);
  if (!cashier) return std::nullopt;
  std::vector<std::string> words{std::string(report)};
  if (report == "shifts") {
    if (!onlyKeys(body, {"from", "to"}, problem)) return std::nullopt;
    for (const char* key : {"from", "to"}) {
      auto word = numberWord(body, key, std::numeric_limits<std::uint16_t>::max(), problem);
      if (!word) return std::nullopt;
      words.push_back(std::move(*word));
    }
  } else if (report == "period") {
    if (!onlyKeys(body, {"from", "to"}, problem)) return std::nullopt;
    for (const char* key : {"from", "to"}) {
      const auto found = body.find(key);
      if (found == body.end() || !found->is_string()) {
        problem = std::string("\"") + key + "\" is an ISO date or time like \"2026-12-08\" or \"2026-12-08T09:30\"";
        return std::nullopt;
      }
      words.push_back(found->get<std::string>());
    }
  } else if (!onlyKeys(body, {}, problem)) {
    return std::nullopt;
  }
  const std::vector<std::string_view> arguments(words.begin(), words.end());
  auto request = onlyRequest(host::reportPlan(*cashier, arguments, problem));
  if (!request && report == "period") problem = "\"from\" and \"to\" are ISO dates or times like \"2026-12-08T09:30\"";
  return request;
}

std::optional<host::Request> tapeRequest(const BodyJson& body, const host::Operator& fallback, std::string& problem) {
  const auto cashier = bodyOperator(body, fallback, problem);
  if (!cashier || !onlyKeys(body, {"from"}, problem)) return std::nullopt;
  std::vector<std::string> words;
  if (body.contains("from")) {
    auto word = numberWord(body, "from", std::numeric_limits<std::uint32_t>::max(), problem);
    if (!word) return std::nullopt;
    words.push_back(std::move(*word));
  }
  const std::vector<std::string_view> arguments(words.begin(), words.end());
  return onlyRequest(host::tapePlan(*cashier, arguments, problem));
}

std::optional<host::Request> copyRequest(const BodyJson& body, const host::Operator& fallback, std::string& problem) {
  const auto cashier = bodyOperator(body, fallback, problem);
  if (!cashier || !onlyKeys(body, {"number"}, problem)) return std::nullopt;
  const auto word = numberWord(body, "number", std::numeric_limits<std::uint32_t>::max(), problem);
  if (!word) return std::nullopt;
  const std::vector<std::string_view> arguments{*word};
  return onlyRequest(host::copyPlan(*cashier, arguments, problem));
}

template <typename Record>
std::optional<Record> editedRecord(const Record& stored, std::uint8_t number, const BodyJson& body,
                                   std::string& problem) {
  nlohmann::ordered_json changed = host::recordToJson(stored);
  const nlohmann::ordered_json edits(body);
  if (edits.contains("percent") || edits.contains("amount")) {
    changed.erase("percent");
    changed.erase("amount");
  }
  changed.merge_patch(edits);
  if (changed.value("number", nlohmann::ordered_json()) != nlohmann::ordered_json(number)) {
    problem = "\"number\" is the one in the path";
    return std::nullopt;
  }
  Record edited;
  if (!host::recordFromJson(changed, edited, problem)) return std::nullopt;
  return edited;
}

template std::optional<Cashier> editedRecord(const Cashier&, std::uint8_t, const BodyJson&, std::string&);
template std::optional<Section> editedRecord(const Section&, std::uint8_t, const BodyJson&, std::string&);
template std::optional<Discount> editedRecord(const Discount&, std::uint8_t, const BodyJson&, std::string&);

std::optional<std::uint32_t> clockTime(const BodyJson& body, std::string& problem) {
  if (!onlyKeys(body, {"time"}, problem)) return std::nullopt;
  const auto found = body.find("time");
  const auto seconds =
      found != body.end() && found->is_string() ? moment::parseMoment(found->get<std::string>(), false) : std::nullopt;
  if (!seconds) problem = "\"time\" is an ISO time like \"2026-12-08T09:30:00+03:00\"";
  return seconds;
}

std::optional<std::uint8_t> paperWidth(const BodyJson& body, std::string& problem) {
  if (!onlyKeys(body, {"paper_width"}, problem)) return std::nullopt;
  const auto found = body.find("paper_width");
  const auto width = found != body.end() ? integerIn(*found, 1, 255) : std::nullopt;
  if (!width) {
    problem = "\"paper_width\" is the width in millimetres, 1 to 255 (58, 60 or 80)";
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(*width);
}

}  // namespace gateway
