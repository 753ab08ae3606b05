// The JSON bodies of the gateway's requests, checked and turned into the register's requests.
//
// Bodies are JSON objects in UTF-8 (an empty body counts as {}); amounts are decimal strings
// with at most two places ("45.50"), never numbers. Every body may name the cashier with
// "operator" (1 to 20) and "password" (a 32-bit number); a key a route does not take makes the
// body not valid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/host/plan.h"
#include "values/bytes.h"

namespace gateway {

// Objects keep their keys sorted, so that dump() is the canonical form two bodies compare by.
using BodyJson = nlohmann::json;

// nullopt with `problem` set for text that is not JSON, or JSON that is not an object.
std::optional<BodyJson> parseBody(std::string_view text, std::string& problem);

// The cashier the body names, else `fallback`.
std::optional<host::Operator> bodyOperator(const BodyJson& body, const host::Operator& fallback,
                                           std::string& problem);

enum class DocumentKind { kReceipt, kShiftOpen, kShiftClose, kDeposit, kPayout };

// The routes that make documents: /v1/receipts, /v1/shifts/open, /v1/shifts/close,
// /v1/cash/deposit, /v1/cash/payout.
struct DocumentRoute {
  const char* path;
  DocumentKind kind;
};
extern const DocumentRoute kDocumentRoutes[5];
std::optional<DocumentKind> documentKindForPath(std::string_view path);

// What a document request asks the register to make, and what its answer needs to know.
struct DocumentOrder {
  std::uint8_t type = 0;
  // Open, the items, finish.
  host::Plan plan = {};
  // Receipts: the payment as given (0 and 0 let the register take the total in cash) and
  // whether the kind brings money in (sale, purchase return).
  std::int64_t cash = 0;
  std::int64_t card = 0;
  bool incoming = true;
  // Deposits and payouts: the amount.
  std::int64_t amount = 0;
};

// Receipts: "kind" (sale, purchase, sale-return, purchase-return; default sale), "items" (a
// non-empty array of objects with frhost sale's keys: name, price, qty, unit, section, tax,
// discount or manual, code, mark), "payment" ({"cash", "card"}, each optional).
// Shift open and close: nothing more. Deposits and payouts: "amount".
std::optional<DocumentOrder> documentOrder(DocumentKind kind, const BodyJson& body, const host::Operator& fallback,
                                           std::string& problem);

// The one request of a report route: x, fiscal, totals and sections take nothing more; shifts
// {"from", "to"} shift numbers; period {"from", "to"} ISO dates and times (a date alone for
// "to" means its last second).
std::optional<host::Request> reportRequest(std::string_view report, const BodyJson& body,
                                           const host::Operator& fallback, std::string& problem);
// The control tape, optionally {"from": N}; the copy of document {"number": N}.
std::optional<host::Request> tapeRequest(const BodyJson& body, const host::Operator& fallback, std::string& problem);
std::optional<host::Request> copyRequest(const BodyJson& body, const host::Operator& fallback, std::string& problem);

// PUT /v1/cashiers/N, /v1/sections/N, /v1/discounts/N: record N as `stored` with the fields the
// body names changed (null removes a discount's percent or amount; "number", when given, is N);
// what the fields then leave unsaid is unset, as in a tables file. The body is the record's
// fields alone (a cashier's own "password" among them). For Cashier, Section and Discount.
template <typename Record>
std::optional<Record> editedRecord(const Record& stored, std::uint8_t number, const BodyJson& body,
                                   std::string& problem);

// PUT /v1/clock {"time": ISO moment}: seconds since the epoch.
std::optional<std::uint32_t> clockTime(const BodyJson& body, std::string& problem);
// PUT /v1/paper-width {"paper_width": 1 to 255 millimetres}.
std::optional<std::uint8_t> paperWidth(const BodyJson& body, std::string& problem);

}  // namespace gateway
