#include "reference/discount.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "reference/table_testing.h"

namespace {

Discount makeDiscount(std::uint8_t number, std::int32_t kind, std::int64_t value, std::string name = {}) {
  return Discount{number, kind, value, std::move(name)};
}

TEST(Discount, Encode_PutsFieldsAtTheirOffsets) {
  const Discount::Slot slot = makeDiscount(3, -1, -2, "AB").encode();
  const std::uint8_t head[] = {3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'A', 'B'};
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), slot.begin()));
  EXPECT_TRUE(std::all_of(slot.begin() + 15, slot.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(Discount::decode(slot), makeDiscount(3, -1, -2, "AB"));

  Discount::Slot full;
  full.fill('Z');
  EXPECT_EQ(Discount::decode(full).name, std::string(127, 'Z'));  // the last byte counts as 0x00
  EXPECT_EQ(Discount::decode(makeDiscount(1, 0, 1, std::string(200, 'N')).encode()).name, std::string(127, 'N'));
  EXPECT_EQ(Discount{}, makeDiscount(0, 2, 0));
}

TEST(Discount, DecodeChecked_NeedsOneSlotWithNumber1To20) {
  Discount out;
  for (std::size_t size : {0u, 140u, 142u}) EXPECT_FALSE(Discount::decodeChecked(bytes::Bytes(size, 1), out)) << size;
  for (std::uint8_t number : {0, 21}) EXPECT_FALSE(Discount::decodeChecked(makeDiscount(number, 0, 5).encode(), out));
  ASSERT_TRUE(Discount::decodeChecked(makeDiscount(20, 1, 5, "X").encode(), out));
  EXPECT_EQ(out, makeDiscount(20, 1, 5, "X"));
}

TEST(Discount, AmountAndName_FollowKindAndValue) {
  struct Case {
    Discount discount;
    Decimal base;
    Decimal amount;
    std::string_view name;
  };
  const Case cases[] = {
      {makeDiscount(1, 1, 1000), Decimal(100, 5000), Decimal(100, 500), "СКИДКА 10.00%"_cp866},
      {makeDiscount(1, 1, 1000), Decimal(100, 19999), Decimal(100, 2000), "СКИДКА 10.00%"_cp866},
      {makeDiscount(1, 1, 750), Decimal(100, 0), Decimal(100, 0), "СКИДКА 7.50%"_cp866},
      {makeDiscount(1, 1, 1000), Decimal(100, -100), Decimal(100, 0), "СКИДКА 10.00%"_cp866},
      {makeDiscount(1, 1, 1000), Decimal(1000, 12345), Decimal(1000, 1234), "СКИДКА 10.00%"_cp866},
      {makeDiscount(1, 0, 50000), Decimal(100, 10000), Decimal(100, 50000), "СКИДКА"_cp866},
      {makeDiscount(1, -1, 100, "Club"), Decimal(100, 10000), Decimal(100, 100), "Club"},
      {makeDiscount(1, 2, 100, "Unset"), Decimal(100, 10000), Decimal(100, 100), ""},  // amount, but not usable
      {makeDiscount(1, 0, 0, "Zero"), Decimal(100, 10000), Decimal(100, 0), ""},
  };
  for (const Case& c : cases) {
    const Decimal amount = discountAmount(c.discount, c.base);
    EXPECT_EQ(amount.scale(), c.amount.scale()) << c.discount.value;
    EXPECT_EQ(amount.mantissa(), c.amount.mantissa()) << c.discount.value << " of " << c.base.toString();
    EXPECT_EQ(displayName(c.discount), c.name);
  }
  EXPECT_TRUE(makeDiscount(1, -1, 100).isValid());
  EXPECT_FALSE(makeDiscount(1, 2, 100).isValid());
  EXPECT_FALSE(makeDiscount(1, 0, -5).isValid());
}

using DiscountTableTest = TableFileTest;

TEST_F(DiscountTableTest, Load_NoFile_CreatesTwentyUnsetSlots) {
  DiscountTable table(*board_, path_.string());
  ASSERT_TRUE(table.loadDiscounts());
  const bytes::Bytes file = fileBytes();
  ASSERT_EQ(file.size(), 2820u);
  for (unsigned n = 1; n <= 20; ++n) {
    const auto slot = bytes::slice(file, (n - 1) * 141, 141);
    EXPECT_EQ(slot[0], n);
    EXPECT_TRUE(std::all_of(slot.begin() + 1, slot.end(), [](std::uint8_t b) { return b == 0; })) << n;
    Discount out;
    ASSERT_TRUE(table.readDiscount(n, out));
    EXPECT_EQ(out, makeDiscount(static_cast<std::uint8_t>(n), 2, 0));
  }
  Discount out;
  EXPECT_FALSE(table.readDiscount(0, out));
  EXPECT_FALSE(table.readDiscount(21, out));
  EXPECT_FALSE(table.readDiscount(257, out));  // 1 if cut to 8 bits
}

// Only usable slots are cached, under the number in their first byte; the first one wins, and
// a slot cut off by the file's end counts as unset.
TEST_F(DiscountTableTest, Load_ExistingFile_CachesUsableSlotsByTheirNumber) {
  bytes::Bytes content(141 * 5 + 140, 0);
  bytes::storeBytes(content, 0, 141, makeDiscount(1, 1, 500, "Five").encode());
  bytes::storeBytes(content, 141, 141, makeDiscount(2, 0, 0, "Unusable").encode());
  bytes::storeBytes(content, 282, 141, makeDiscount(9, 0, 300, "Nine").encode());
  bytes::storeBytes(content, 423, 141, makeDiscount(9, 0, 400, "Second nine").encode());
  bytes::storeBytes(content, 564, 141, makeDiscount(5, 0, 100, "Five").encode());
  bytes::storeBytes(content, 705, 140, bytes::slice(makeDiscount(6, 0, 100, "Cut").encode(), 0, 140));
  writeFile(content);
  DiscountTable table(*board_, path_.string());
  ASSERT_TRUE(table.loadDiscounts());
  Discount out;
  const std::pair<unsigned, Discount> expected[] = {
      {1, makeDiscount(1, 1, 500, "Five")}, {2, makeDiscount(2, 2, 0)},      {3, makeDiscount(3, 2, 0)},
      {9, makeDiscount(9, 0, 300, "Nine")}, {5, makeDiscount(5, 0, 100, "Five")}, {6, makeDiscount(6, 2, 0)}};
  for (const auto& [n, record] : expected) {
    ASSERT_TRUE(table.readDiscount(n, out));
    EXPECT_EQ(out, record) << n;
  }
  EXPECT_EQ(fileBytes(), content);  // loading never writes
}

TEST_F(DiscountTableTest, Save_UsableThenUnusable_CachesThenWithdraws) {
  DiscountTable table(*board_, path_.string());
  EXPECT_FALSE(table.saveDiscount(makeDiscount(4, 0, 100)));  // no file yet
  ASSERT_TRUE(table.loadDiscounts());
  ASSERT_TRUE(table.saveDiscount(makeDiscount(4, 1, 1000, std::string(130, 'D'))));
  Discount out;
  ASSERT_TRUE(table.readDiscount(4, out));
  EXPECT_EQ(out, makeDiscount(4, 1, 1000, std::string(127, 'D')));
  EXPECT_EQ(Discount::decode(Discount::SlotView(fileBytes().data() + 3 * 141, 141)), out);

  ASSERT_TRUE(table.saveDiscount(makeDiscount(4, 1, 0, "Gone")));
  ASSERT_TRUE(table.readDiscount(4, out));
  EXPECT_EQ(out.kind, 2);
  EXPECT_EQ(Discount::decode(Discount::SlotView(fileBytes().data() + 3 * 141, 141)).name, "Gone");
  EXPECT_FALSE(table.saveDiscount(makeDiscount(0, 0, 100)));
  EXPECT_FALSE(table.saveDiscount(makeDiscount(21, 0, 100)));
  EXPECT_EQ(fileBytes().size(), 2820u);

  ASSERT_TRUE(table.saveDiscount(makeDiscount(7, 0, 250)));
  DiscountTable reloaded(*board_, path_.string());
  ASSERT_TRUE(reloaded.loadDiscounts());
  ASSERT_TRUE(reloaded.readDiscount(7, out));
  EXPECT_EQ(out, makeDiscount(7, 0, 250));
}

TEST_F(DiscountTableTest, Load_PathUnusable_FailsWithAnEmptyCache) {
  DiscountTable table(*board_, (root_ / "missing" / "DISCOUNTS").string());
  EXPECT_FALSE(table.loadDiscounts());
  Discount out;
  ASSERT_TRUE(table.readDiscount(1, out));
  EXPECT_FALSE(out.isValid());
  EXPECT_FALSE(DiscountTable(*board_, root_.string()).loadDiscounts());  // a directory
}

}  // namespace
