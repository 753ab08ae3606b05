#include "values/bytes.h"

#include <gtest/gtest.h>

#include <vector>

#include "values/crc.h"

namespace {

TEST(Bytes, StoreAndLoad_LittleEndianAtOffsets) {
  bytes::Bytes record(16, 0);
  bytes::storeU16(record, 1, 0x8213);
  bytes::storeU32(record, 3, 0x01020304);
  bytes::storeU64(record, 8, 0x1122334455667788ull);
  EXPECT_EQ(record[1], 0x13);
  EXPECT_EQ(record[2], 0x82);
  EXPECT_EQ(record[3], 0x04);
  EXPECT_EQ(record[6], 0x01);
  EXPECT_EQ(record[8], 0x88);
  EXPECT_EQ(record[15], 0x11);
  EXPECT_EQ(bytes::loadU16(record, 1), 0x8213);
  EXPECT_EQ(bytes::loadU32(record, 3), 0x01020304u);
  EXPECT_EQ(bytes::loadU64(record, 8), 0x1122334455667788ull);
  bytes::storeI64(record, 8, -2);
  EXPECT_EQ(bytes::loadI64(record, 8), -2);
}

TEST(Bytes, FieldOutsideRecord_Throws) {
  bytes::Bytes record(4, 0);
  EXPECT_THROW(bytes::loadU32(record, 1), std::out_of_range);
  EXPECT_THROW(bytes::storeU16(record, 3, 1), std::out_of_range);
  EXPECT_THROW(bytes::loadU8(record, SIZE_MAX), std::out_of_range);
  EXPECT_THROW(bytes::storeBytes(record, 0, 2, bytes::view("abc")), std::out_of_range);
}

// A table that overlaps, leaves a gap, ends short of its record or runs past it does not tile.
TEST(Bytes, Tiles_OnlyFieldsBackToBackOverTheWholeRecord) {
  const struct {
    const char* what;
    std::vector<bytes::Field> fields;
    bool tiles;
  } cases[] = {
      {"back to back", {{"a", 0, 2}, {"b", 2, 4, 3}, {"c", 14, 2}}, true},
      {"overlap", {{"a", 0, 2}, {"b", 1, 4, 3}, {"c", 13, 3}}, false},
      {"gap", {{"a", 0, 2}, {"b", 3, 4, 3}, {"c", 15, 1}}, false},
      {"short of the end", {{"a", 0, 2}, {"b", 2, 4, 3}}, false},
      {"past the end", {{"a", 0, 2}, {"b", 2, 4, 3}, {"c", 14, 4}}, false},
      {"empty field", {{"a", 0, 2}, {"b", 2, 0}, {"c", 2, 14}}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(bytes::tiles(c.fields, 16), c.tiles) << c.what;
}

// A field read or written as a value of another width, or an array as one value, is a
// programming error; an element is a field of its own.
TEST(Bytes, TableField_ReadOnlyAsItsOwnWidth) {
  bytes::Bytes record(16, 0);
  constexpr bytes::Field kWord{"word", 2, 4};
  constexpr bytes::Field kSums{"sums", 6, 2, 5};
  bytes::storeU32(record, kWord, 0x01020304);
  bytes::storeU16(record, kSums.element(4), 0xBEEF);
  EXPECT_EQ(bytes::loadU32(record, 2), 0x01020304u);
  EXPECT_EQ(bytes::loadU16(record, 14), 0xBEEF);
  EXPECT_EQ(bytes::slice(record, kSums).size(), 10u);
  EXPECT_THROW(bytes::loadU16(record, kWord), std::out_of_range);
  EXPECT_THROW(bytes::storeU64(record, kWord, 1), std::out_of_range);
  EXPECT_THROW(bytes::loadU16(record, kSums), std::out_of_range);
  EXPECT_THROW(kSums.element(5), std::out_of_range);
}

TEST(Bytes, Reader_RunningShort_FailsWithoutReadingPastEnd) {
  const bytes::Bytes data{0x01, 0x02, 0x03};
  bytes::ByteReader reader(data);
  EXPECT_EQ(reader.u16(), 0x0201);
  EXPECT_TRUE(reader.ok());
  EXPECT_EQ(reader.u32(), 0u);
  EXPECT_FALSE(reader.ok());
  EXPECT_EQ(reader.remaining(), 0u);
}

TEST(Bytes, FieldText_StopsAtZeroOrTakesAllBytes) {
  const bytes::Bytes padded{'1', '2', 0, '4'};
  const bytes::Bytes full{'1', '2', '3'};
  EXPECT_EQ(bytes::fieldText(padded), "12");
  EXPECT_EQ(bytes::fieldText(full), "123");
  EXPECT_EQ(bytes::hexUpper(bytes::Bytes{0x0A, 0xFF}), "0AFF");
}

TEST(Crc, KnownCheckValues) {
  // The standard check input of both algorithms.
  EXPECT_EQ(crc::crc16(bytes::view("123456789")), 0x29B1);
  EXPECT_EQ(crc::crc32(bytes::view("123456789")), 0xCBF43926u);
  EXPECT_EQ(crc::crc16({}), 0xFFFF);
  EXPECT_EQ(crc::crc32({}), 0u);
}

TEST(Crc, Incremental_EqualsWhole) {
  crc::Crc32 c32;
  c32.update(bytes::view("1234")).update(bytes::view("56789"));
  EXPECT_EQ(c32.value(), 0xCBF43926u);
  crc::Crc16 c16;
  c16.update(bytes::view("12345")).update(bytes::view("6789"));
  EXPECT_EQ(c16.value(), 0x29B1);
}

}  // namespace
