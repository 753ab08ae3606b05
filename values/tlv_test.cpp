#include "values/tlv.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TlvItem textItem(std::uint16_t tag, std::string_view text) {
  TlvItem item;
  item.setText(tag, text);
  return item;
}

TEST(TlvItem, Setters_WriteTheirValueEncodings) {
  TlvItem item;
  item.setVarInt(11020, 0);
  EXPECT_EQ(item.value(), (bytes::Bytes{0x00}));
  item.setVarInt(11020, 256);
  EXPECT_EQ(item.value(), (bytes::Bytes{0x00, 0x01}));
  item.setVarInt(11020, UINT64_MAX);
  EXPECT_EQ(item.value(), bytes::Bytes(8, 0xFF));
  item.setDecimal(11023, Decimal(100, 12345));
  EXPECT_EQ(item.value(), (bytes::Bytes{0x02, 0x39, 0x30}));
  item.setU64(11041, 0x0102030405060708);
  EXPECT_EQ(item.value(), (bytes::Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
  item.setText(11030, "AB");
  EXPECT_EQ(item.tag(), 11030);
  EXPECT_EQ(item.getText(), "AB");

  item.setU32(11012, 1656666000);
  EXPECT_EQ(item.encode(), (bytes::Bytes{0x04, 0x2B, 0x04, 0x00, 0x90, 0xB7, 0xBE, 0x62}));
}

TEST(TlvItem, FixedWidthGetters_WrongWidth_ReturnZeroAndFail) {
  bool ok = true;
  const TlvItem oneByte(1, {0x07});
  EXPECT_EQ(oneByte.getU16(&ok), 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(oneByte.getU8(&ok), 7);
  EXPECT_TRUE(ok);
  EXPECT_EQ(oneByte.getU32(), 0u);

  const TlvItem four(1, {0x01, 0x02, 0x03, 0x84});
  EXPECT_EQ(four.getInt4or8(&ok), 0x84030201u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(four.getU64(&ok), 0u);
  EXPECT_FALSE(ok);
  const TlvItem eight(1, {1, 0, 0, 0, 0, 0, 0, 0x80});
  EXPECT_EQ(eight.getInt4or8(&ok), 0x8000000000000001u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(TlvItem(1, {1, 2, 3, 4, 5}).getInt4or8(&ok), 0u);
  EXPECT_FALSE(ok);
}

TEST(TlvItem, LenientGetters_ZeroExtendAndIgnoreExtraBytes) {
  EXPECT_EQ(TlvItem(1, {}).getVarInt(), 0u);
  EXPECT_EQ(TlvItem(1, {0x00, 0x01}).getVarInt(), 256u);
  EXPECT_EQ(TlvItem(1, {1, 0, 0, 0, 0, 0, 0, 0, 0x55}).getVarInt(), 1u);
  EXPECT_EQ(TlvItem(1, {0x02}).getDecimal().toString(), "0.00");
}

TEST(TlvItem, Encode_InvalidItem_GivesNothing) {
  EXPECT_TRUE(TlvItem().encode().empty());
  EXPECT_TRUE(TlvItem(0, {1, 2}).encode().empty());
  EXPECT_TRUE(TlvItem(5, bytes::Bytes(65535, 0xAA)).encode().empty());

  const bytes::Bytes longest = TlvItem(5, bytes::Bytes(TlvItem::kMaxValueSize, 0xAA)).encode();
  ASSERT_EQ(longest.size(), TlvItem::kMaxValueSize + 4);
  EXPECT_EQ(bytes::loadU16(longest, 2), 0xFFFE);
}

TEST(TlvItem, DecodeFront_ValueRunsPastEnd_FailsAndKeepsInput) {
  const bytes::Bytes shortValue{0x23, 0x04, 0x03, 0x00, 0x41, 0x42};
  bytes::Bytes buffer = shortValue;
  TlvItem item(9, {9});
  EXPECT_FALSE(item.decodeFront(buffer));
  EXPECT_EQ(buffer, shortValue);
  EXPECT_EQ(item, TlvItem());
}

TEST(TlvItem, DecodeFront_TakesItemsOneByOne) {
  bytes::Bytes buffer = textItem(11030, "AB").encode();
  bytes::appendBytes(buffer, TlvItem(11199, {}).encode());
  TlvItem item;
  ASSERT_TRUE(item.decodeFront(buffer));
  EXPECT_EQ(item, textItem(11030, "AB"));
  EXPECT_EQ(buffer.size(), 4u);
  ASSERT_TRUE(item.decodeFront(buffer));
  EXPECT_EQ(item, TlvItem(11199, {}));
  EXPECT_TRUE(buffer.empty());
  EXPECT_FALSE(item.decodeFront(buffer));
}

TEST(TlvItem, DecodeExact_LengthMismatch_FailsKeepingOnlyTheTag) {
  TlvItem item;
  bytes::Bytes wire = textItem(11030, "AB").encode();
  ASSERT_TRUE(item.decodeExact(wire));
  EXPECT_EQ(item.getText(), "AB");

  wire.push_back(0x00);
  EXPECT_FALSE(item.decodeExact(wire));
  EXPECT_EQ(item.tag(), 11030);
  EXPECT_TRUE(item.value().empty());

  EXPECT_FALSE(item.decodeExact(bytes::Bytes{0x01, 0x02, 0x00}));
  EXPECT_EQ(item.tag(), 0);
}

TEST(TlvList, ParseList_TrailingByte_ReturnsItemsBeforeItAndFails) {
  bytes::Bytes value = encodeList({textItem(11030, "X"), TlvItem(11199, {3})});
  value.push_back(0x01);
  bool ok = true;
  const TlvList items = parseList(TlvItem(11059, value), &ok);
  EXPECT_FALSE(ok);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].getU8(), 3);
}

TEST(TlvList, ParseList_DropsTagZeroAndNeedsAnItem) {
  bool ok = true;
  const bytes::Bytes tagZero{0x00, 0x00, 0x01, 0x00, 0x05};
  EXPECT_TRUE(parseList(TlvItem(11059, tagZero), &ok).empty());
  EXPECT_FALSE(ok);

  bytes::Bytes mixed = tagZero;
  bytes::appendBytes(mixed, TlvItem(11199, {2}).encode());
  EXPECT_EQ(parseList(TlvItem(11059, mixed), &ok), (TlvList{TlvItem(11199, {2})}));
  EXPECT_TRUE(ok);

  ok = true;
  EXPECT_TRUE(parseList(TlvItem(0, TlvItem(11199, {2}).encode()), &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_TRUE(parseList(TlvItem(11059, {}), &ok).empty());
  EXPECT_FALSE(ok);
}

TEST(TlvList, SetList_SkipsInvalidItemsAndNests) {
  TlvItem inner;
  inner.setList(13107, {TlvItem(13103, {0xE8, 0x03}), TlvItem(), textItem(13104, "VAT")});
  TlvItem outer;
  outer.setList(11059, {inner, textItem(11030, "BREAD")});

  bool ok = false;
  const TlvList top = parseList(outer, &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(top.size(), 2u);
  const TlvList rates = parseList(top[0], &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(rates, (TlvList{TlvItem(13103, {0xE8, 0x03}), textItem(13104, "VAT")}));
}

// A random valid item; with depth left, sometimes a container of random items.
TlvItem randomItem(std::mt19937_64& random, int depth) {
  const auto tag = static_cast<std::uint16_t>(1 + random() % 65535);
  if (depth > 0 && random() % 4 == 0) {
    TlvList children(random() % 5);
    for (TlvItem& child : children) child = randomItem(random, depth - 1);
    TlvItem container;
    container.setList(tag, children);
    return container;
  }
  bytes::Bytes value(random() % 40);
  for (std::uint8_t& b : value) b = static_cast<std::uint8_t>(random());
  return TlvItem(tag, value);
}

TEST(TlvProperty, RandomLists_SurviveSetListAndParseList) {
  std::mt19937_64 random(1234);
  for (int i = 0; i < 3000; ++i) {
    TlvList items(1 + random() % 8);
    for (TlvItem& item : items) item = randomItem(random, 3);
    TlvItem container;
    container.setList(11059, items);
    bool ok = false;
    ASSERT_EQ(parseList(container, &ok), items);
    ASSERT_TRUE(ok);
  }
}

TEST(TlvProperty, DecodeFront_EveryTruncation_FailsAndLeavesInputUntouched) {
  std::mt19937_64 random(99);
  for (int i = 0; i < 300; ++i) {
    const bytes::Bytes wire = randomItem(random, 2).encode();
    for (std::size_t size = 0; size < wire.size(); ++size) {
      const bytes::Bytes truncated(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(size));
      bytes::Bytes buffer = truncated;
      bytes::View view(truncated);
      TlvItem item;
      ASSERT_FALSE(item.decodeFront(buffer)) << size;
      ASSERT_EQ(buffer, truncated);
      ASSERT_FALSE(item.decodeFront(view));
      ASSERT_EQ(view.size(), truncated.size());
      ASSERT_EQ(item, TlvItem());
    }
  }
}

}  // namespace
