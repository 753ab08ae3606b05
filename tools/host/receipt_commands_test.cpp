#include "tools/host/receipt_commands.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/temporary_directory.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace {

// The sub-items of an item line as (tag, value) pairs.
std::vector<std::pair<std::uint16_t, bytes::Bytes>> fields(const TlvItem& item) {
  std::vector<std::pair<std::uint16_t, bytes::Bytes>> out;
  for (const TlvItem& sub : parseList(item)) out.emplace_back(sub.tag(), sub.value());
  return out;
}

TEST(SaleItem, EveryFieldReachesItsSubItem) {
  std::string problem;
  const auto item = host::parseSaleItem(
      "name=ХЛЕБ,price=45.5,qty=2.000,unit=ШТ,section=3,tax=2,discount=4,code=46,mark=MK01", problem);
  ASSERT_TRUE(item.has_value()) << problem;
  EXPECT_EQ(item->item.tag(), 11059);
  const std::vector<std::pair<std::uint16_t, bytes::Bytes>> expected = {
      {11030, {0x95, 0x8B, 0x85, 0x81}}, {11079, {0xC6, 0x11}},        {11023, {3, 0xD0, 0x07}},
      {11301, {3}},                      {11199, {2}},                 {11303, {4}},
      {12108, {0x98, 0x92}},             {11163, {'4', '6'}},          {12000, {'M', 'K', '0', '1'}}};
  EXPECT_EQ(fields(item->item), expected);

  const auto manual = host::parseSaleItem("name=X,price=1,manual=0.50", problem);
  ASSERT_TRUE(manual.has_value()) << problem;
  const auto got = fields(manual->item);
  EXPECT_EQ(got[2], (std::pair<std::uint16_t, bytes::Bytes>{11023, {0, 1}})) << "quantity 1 by default";
  EXPECT_EQ(got[3].second, bytes::Bytes{1}) << "section 1 by default";
  EXPECT_EQ(got.back(), (std::pair<std::uint16_t, bytes::Bytes>{11304, {50}}));
}

TEST(SaleItem, BadFieldsAreRefusedWithAReason) {
  for (std::string_view spec : {"price=1", "name=X", "name=X,price=1.005", "name=X,price=-1", "name=X,price=1,qty=0",
                                "name=X,price=1,qty=1.0000000001", "name=X,price=1,section=21",
                                "name=X,price=1,tax=0", "name=X,price=1,discount=1,manual=2", "name=X,price=1,colour=red",
                                "name=X,price=1,name=Y", "name=X,price"}) {
    std::string problem;
    EXPECT_FALSE(host::parseSaleItem(spec, problem).has_value()) << spec;
    EXPECT_FALSE(problem.empty()) << spec;
  }
}

TEST(SaleItems, JsonAndTextFilesGiveTheSameLines) {
  std::string problem;
  const auto json = host::parseSaleItems(
      R"({"items": [{"name": "ХЛЕБ, РЖАНОЙ", "price": "45.50", "qty": "2.000"}, {"name": "MILK", "price": 60, "section": 2}]})",
      problem);
  ASSERT_TRUE(json.has_value()) << problem;
  const auto text = host::parseSaleItems("# two lines\nname=ХЛЕБ,price=45.50,qty=2.000\r\n\nname=MILK,price=60,section=2\n",
                                         problem);
  ASSERT_TRUE(text.has_value()) << problem;
  ASSERT_EQ(json->size(), 2u);
  ASSERT_EQ(text->size(), 2u);
  EXPECT_EQ((*json)[1].item, (*text)[1].item);
  const bytes::View name = bytes::view("ХЛЕБ, РЖАНОЙ"_cp866);
  EXPECT_EQ(fields((*json)[0].item)[0].second, bytes::Bytes(name.begin(), name.end())) << "a comma in a file";
  EXPECT_FALSE(host::parseSaleItems("[1, 2]", problem).has_value());
  EXPECT_FALSE(host::parseSaleItems("{\"items\": 3}", problem).has_value());
  EXPECT_FALSE(host::parseSaleItems("[{\"name\": \"X\"", problem).has_value());
}

TEST(SalePlan, OpensWithTheKindAddsEachItemAndPaysCashAndCard) {
  std::string problem;
  const std::vector<std::string_view> arguments = {"--kind", "2", "--cash", "10", "--card", "5.25", "--cashier-name",
                                                   "ИВАНОВ", "name=A,price=1", "name=B,price=2"};
  const auto plan = host::salePlan(host::Operator{}, arguments, problem);
  ASSERT_TRUE(plan.has_value()) << problem;
  ASSERT_EQ(plan->steps.size(), 4u);
  EXPECT_TRUE(plan->opensDocument);
  EXPECT_EQ(plan->steps[0].request.command, 21);
  const bytes::Bytes open = {20, 30, 0, 0, 0, 2, 6, 0x88, 0x82, 0x80, 0x8D, 0x8E, 0x82};
  EXPECT_EQ(plan->steps[0].request.payload, open);
  EXPECT_EQ(plan->steps[1].request.command, 7);
  EXPECT_EQ(plan->steps[3].request.command, 22);
  bytes::Bytes payment;
  bytes::appendI64(payment, 1000);
  bytes::appendI64(payment, 525);
  EXPECT_EQ(plan->steps[3].request.payload, payment);

  for (const std::vector<std::string_view>& bad :
       {std::vector<std::string_view>{}, {"--kind", "15", "name=A,price=1"}, {"--cash", "x", "name=A,price=1"},
        {"--kind"}, {"--items", "/nonexistent/items.json"}}) {
    EXPECT_FALSE(host::salePlan(host::Operator{}, bad, problem).has_value()) << bad.size();
  }
}

TEST(SalePlan, FileItems_StandWhereTheirFileIsGiven) {
  const platform::TemporaryDirectory directory;
  const std::string file = directory.path() / "sale_items.txt";
  std::ofstream(file) << "name=C,price=3\nname=D,price=4\n";
  std::string problem;
  const std::vector<std::string_view> arguments = {"name=A,price=1", "--items", file, "--cash", "10",
                                                   "name=B,price=2"};
  const auto plan = host::salePlan(host::Operator{}, arguments, problem);
  ASSERT_TRUE(plan.has_value()) << problem;
  ASSERT_EQ(plan->steps.size(), 6u);
  std::string names;
  for (std::size_t i = 1; i < 5; ++i) {
    // The add-item payload: the item's tag and length (u16 each), then its sub-items.
    const bytes::Bytes& payload = plan->steps[i].request.payload;
    const TlvItem item(bytes::loadU16(payload, 0), bytes::Bytes(payload.begin() + 4, payload.end()));
    const bytes::Bytes name = fields(item)[0].second;
    names += std::string(name.begin(), name.end());
  }
  EXPECT_EQ(names, "ACDB");
}

TEST(ReceiptReply, DecodesThe32Bytes) {
  bytes::Bytes data;
  bytes::appendU32(data, 7);
  bytes::appendU32(data, 0xCAFE);
  bytes::appendU32(data, 1800000000);
  bytes::appendU16(data, 3);
  bytes::appendU16(data, 12);
  bytes::appendI64(data, 14500);
  bytes::appendI64(data, 5500);
  EXPECT_EQ(host::parseReceiptReply(data), (host::ReceiptReply{7, 0xCAFE, 1800000000, 3, 12, 14500, 5500}));
  data.pop_back();
  EXPECT_FALSE(host::parseReceiptReply(data).has_value());
}

}  // namespace
