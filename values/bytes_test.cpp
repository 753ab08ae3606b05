#include "values/bytes.h"

#include <gtest/gtest.h>

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
