#include "tools/gateway/request_bodies.h"

#include <gtest/gtest.h>

#include "tools/host/document_commands.h"

namespace {

using gateway::DocumentKind;

const host::Operator kCashier{.number = 3, .password = 0x01020304};

std::optional<gateway::DocumentOrder> order(DocumentKind kind, std::string_view text) {
  std::string problem;
  const auto body = gateway::parseBody(text, problem);
  return body ? gateway::documentOrder(kind, *body, kCashier, problem) : std::nullopt;
}

std::vector<std::uint8_t> commands(const gateway::DocumentOrder& made) {
  std::vector<std::uint8_t> out;
  for (const host::Step& step : made.plan.steps) out.push_back(step.request.command);
  return out;
}

TEST(RequestBodies, DocumentsBecomeTheRegistersRequests) {
  const auto receipt = order(DocumentKind::kReceipt, R"({"kind": "sale-return", "operator": 5, "password": 7,
      "items": [{"name": "A", "price": "1.50"}, {"name": "B", "price": "2", "qty": "2.000"}],
      "payment": {"card": "5.50"}})");
  ASSERT_TRUE(receipt.has_value());
  EXPECT_EQ(commands(*receipt), (std::vector<std::uint8_t>{21, 7, 7, 22}));
  EXPECT_EQ(receipt->plan.steps[0].request.payload, (bytes::Bytes{5, 7, 0, 0, 0, 2})) << "cashier, then kind 2";
  bytes::Bytes payment(8, 0);
  bytes::appendU64(payment, 550);
  EXPECT_EQ(receipt->plan.steps[3].request.payload, payment);
  EXPECT_FALSE(receipt->incoming);
  EXPECT_EQ(receipt->card, 550);

  const auto deposit = order(DocumentKind::kDeposit, R"({"amount": "100.05"})");
  ASSERT_TRUE(deposit.has_value());
  EXPECT_EQ(commands(*deposit), (std::vector<std::uint8_t>{162, 163}));
  EXPECT_EQ(deposit->plan.steps[0].request.payload, host::operatorPrefix(kCashier));
  EXPECT_EQ(deposit->amount, 10005);
  ASSERT_TRUE(order(DocumentKind::kShiftClose, "").has_value()) << "an empty body is {}";
  EXPECT_EQ(commands(*order(DocumentKind::kShiftClose, "")), (std::vector<std::uint8_t>{19, 20}));
}

TEST(RequestBodies, BodiesThatAreNotValidAreRefusedWithAReason) {
  const std::pair<DocumentKind, const char*> bad[] = {
      {DocumentKind::kReceipt, "[1]"},
      {DocumentKind::kReceipt, R"({"items": []})"},
      {DocumentKind::kReceipt, R"({"items": [{"name": "A", "price": "-1"}]})"},
      {DocumentKind::kReceipt, R"({"items": [{"name": "A", "price": 1}]})"},
      {DocumentKind::kReceipt, R"({"items": [{"name": "A", "price": "1", "colour": "red"}]})"},
      {DocumentKind::kReceipt, R"({"kind": "gift", "items": [{"name": "A", "price": "1"}]})"},
      {DocumentKind::kReceipt, R"({"items": [{"name": "A", "price": "1"}], "payment": {"cash": 5}})"},
      {DocumentKind::kReceipt, R"({"items": [{"name": "A", "price": "1"}], "payment": {"coins": "5"}})"},
      {DocumentKind::kDeposit, R"({"amount": "1.234"})"},
      {DocumentKind::kDeposit, R"({})"},
      {DocumentKind::kPayout, R"({"amount": "1", "operator": 21})"},
      {DocumentKind::kPayout, R"({"amount": "1", "password": -1})"},
      {DocumentKind::kShiftOpen, R"({"note": "x"})"},
  };
  for (const auto& [kind, text] : bad) {
    std::string problem;
    const auto body = gateway::parseBody(text, problem);
    EXPECT_FALSE(body && gateway::documentOrder(kind, *body, kCashier, problem)) << text;
    EXPECT_FALSE(problem.empty()) << text;
  }
}

TEST(RequestBodies, ReportsTapeCopiesClockAndPaperWidth) {
  std::string problem;
  const auto shifts = gateway::reportRequest("shifts", {{"from", 2}, {"to", 258}}, kCashier, problem);
  ASSERT_TRUE(shifts.has_value()) << problem;
  bytes::Bytes expected = host::operatorPrefix(kCashier);
  bytes::appendBytes(expected, bytes::Bytes{6, 2, 0, 2, 1});
  EXPECT_EQ(shifts->payload, expected);
  EXPECT_EQ(gateway::reportRequest("x", gateway::BodyJson::object(), kCashier, problem)->command, 177);
  EXPECT_FALSE(gateway::reportRequest("period", {{"from", "2026-12-08"}, {"to", 5}}, kCashier, problem));
  EXPECT_FALSE(gateway::reportRequest("shifts", {{"from", 1}, {"to", 65536}}, kCashier, problem));
  EXPECT_EQ(gateway::tapeRequest({{"from", 9}}, kCashier, problem)->command, 58);
  EXPECT_FALSE(gateway::copyRequest(gateway::BodyJson::object(), kCashier, problem));
  EXPECT_EQ(gateway::clockTime({{"time", "2026-12-08T12:30:15+03:00"}}, problem), 1796722215u);
  EXPECT_FALSE(gateway::clockTime({{"time", 1796722215}}, problem));
  EXPECT_EQ(gateway::paperWidth({{"paper_width", 58}}, problem), 58);
  EXPECT_FALSE(gateway::paperWidth({{"paper_width", 256}}, problem));
}

}  // namespace
