// Receipts end to end, as a point-of-sale host sells with frhost's requests: a sale with
// change, a return by card, the open receipt's state, the paper, and the counters across a
// restart, on a simulated board.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/host_protocol.h"
#include "platform/board_directory.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "tools/host/receipt_commands.h"
#include "tools/sim/testing.h"
#include "values/cp866.h"

namespace {

namespace fs = std::filesystem;

class ServiceReceiptsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(board_.waitUntilServing()) << board_.log(); }

  host::Reply send(const host::Request& request) {
    host::Request numbered = request;
    numbered.identifier = ++identifier_;
    auto reply = board_.host().transact(numbered);
    EXPECT_TRUE(reply.has_value()) << board_.log();
    return reply.value_or(host::Reply{255, 0, {}});
  }

  // Documents must be later than the last one: the board's clock moves on a few seconds.
  void advanceClock() { platform::setClockOffset(board_.root(), platform::clockOffset(board_.root()) + 5); }

  // Every request of the plan must succeed; the last reply.
  host::Reply run(const std::optional<host::Plan>& plan, const std::string& problem) {
    EXPECT_TRUE(plan.has_value()) << problem;
    if (!plan) return {255, 0, {}};
    advanceClock();
    host::Reply reply{255, 0, {}};
    for (const host::Step& step : plan->steps) {
      reply = send(step.request);
      EXPECT_EQ(reply.code, 0) << step.label;
      if (reply.code != 0) break;
    }
    return reply;
  }

  host::Reply sell(std::vector<std::string_view> arguments) {
    std::string problem;
    return run(host::salePlan(host::Operator{}, arguments, problem), problem);
  }

  std::vector<std::string> paper() const { return sim::readPaper(board_.root()).texts(); }

  sim::TestBoard board_;
  std::uint32_t identifier_ = 0;
};

TEST_F(ServiceReceiptsTest, SaleWithChangeAndReturnByCard_PrintedAndCounted) {
  std::string problem;
  const host::Operator administrator;
  ASSERT_EQ(send({.command = protocol::kSetSerialNumber, .payload = *host::serialNumberPayload(administrator, "0000054321")}).code, 0);
  const std::vector<std::string_view> registration = {"--user", "SHOP", "--place", "PLACE", "--address", "STREET 1",
                                                      "--inn", "7701234567", "--regnum", "0000000000012345",
                                                      "--tax", "1:1:20:VAT"};
  ASSERT_EQ(run(host::registrationPlan(administrator, registration, problem), problem).code, 0);
  ASSERT_EQ(run(host::documentPlan({7, 17, 18}, administrator), "").code, 0);

  // Section 1 and discount 1 as the configuration commands would leave them; the tables are
  // read at start-up.
  const auto files = platform::makeSimulatedBoard(board_.root().string());
  SectionTable sections(*files, files->nvPath("SECTIONS"));
  DiscountTable discounts(*files, files->nvPath("DISCOUNTS"));
  ASSERT_TRUE(sections.loadSections() && discounts.loadDiscounts());
  ASSERT_TRUE(sections.saveSection(Section{1, std::string("ХЛЕБ"_cp866)}));
  ASSERT_TRUE(discounts.saveDiscount(Discount{1, Discount::kPercentage, 1000, "CLUB"}));
  board_.restart();
  ASSERT_TRUE(board_.waitUntilServing()) << board_.log();

  // 2 × 45.50 and 60.00 less 10 %: 145.00, paid with 200.00 in cash.
  const host::Reply sale = sell({"--cash", "200", "name=БАТОН,price=45.50,qty=2.000,unit=ШТ,section=1",
                                 "name=MILK,price=60,discount=1,section=2,code=4600000000001"});
  const auto reply = host::parseReceiptReply(sale.data);
  ASSERT_TRUE(reply.has_value()) << sale.data.size();
  EXPECT_EQ(reply->documentNumber, 3u);
  EXPECT_EQ(reply->shiftNumber, 1);
  EXPECT_EQ(reply->receiptNumber, 1);
  EXPECT_EQ(reply->total, 14500);
  EXPECT_EQ(reply->change, 5500);
  EXPECT_NE(reply->fiscalSign, 0u);

  // While a return is open, 176 tells its kind, number, lines and total.
  advanceClock();
  bytes::Bytes open = host::operatorPrefix(administrator);
  open.push_back(2);
  ASSERT_EQ(send({.command = 21, .payload = open}).code, 0);
  std::string itemProblem;
  const auto item = host::parseSaleItem("name=MILK,price=60,discount=1,section=2", itemProblem);
  ASSERT_TRUE(item.has_value()) << itemProblem;
  ASSERT_EQ(send({.command = 7, .payload = item->item.encode()}).code, 0);
  bytes::Bytes state{3, 2, 2, 0, 1, 0};
  bytes::appendI64(state, 5400);
  EXPECT_EQ(send({.command = 176}).data, state);
  bytes::Bytes byCard;
  bytes::appendI64(byCard, 0);
  bytes::appendI64(byCard, 5400);
  const host::Reply returned = send({.command = 22, .payload = byCard});
  ASSERT_EQ(returned.code, 0);
  EXPECT_EQ(host::parseReceiptReply(returned.data)->receiptNumber, 2);

  const auto printed = paper();
  const auto has = [&printed](std::string_view text) {
    return std::any_of(printed.begin(), printed.end(),
                       [text](const std::string& line) { return line.find(text) != std::string::npos; });
  };
  for (std::string_view text : {"ПРОДАЖА ЧЕК 1", "ВОЗВРАТ ПРОДАЖИ ЧЕК 2", "ХЛЕБ", "БАТОН", "45.50 x 2 ШТ = 91.00",
                                "КОД 4600000000001", "CLUB 6.00", "C УЧЕТОМ СКИДКИ 54.00", "ИТОГО", "145.00",
                                "НАЛИЧНЫМИ", "200.00", "СДАЧА", "55.00", "БЕЗНАЛИЧНЫМИ", "VAT", "ФП "}) {
    EXPECT_TRUE(has(text)) << text;
  }

  // The shift keeps two receipts and the sale's cash, also after a restart.
  for (int pass = 0; pass < 2; ++pass) {
    const host::Reply shift = send({.command = protocol::kState});
    ASSERT_EQ(shift.data.size(), 29u);
    EXPECT_EQ(bytes::loadU16(shift.data, 3), 2) << "receipt counter, pass " << pass;
    EXPECT_EQ(bytes::loadU64(shift.data, 21), 14500u) << "drawer cash, pass " << pass;
    board_.restart();
    ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  }
}

}  // namespace
