#include "storage/model_data.h"

#include <gtest/gtest.h>

#include "values/cp866.h"
#include "values/crc.h"

namespace {

const bytes::Bytes kKey{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST(ModelData, Default_HasModelCodeAndNameButIsNotValid) {
  const ModelData model;
  EXPECT_EQ(model.bytes()[0], 0x13);
  EXPECT_EQ(model.bytes()[1], 0x82);
  EXPECT_EQ(model.modelName(), "ТЕРНА-1-К"_cp866);
  EXPECT_EQ(model.serialNumber(), "");
  EXPECT_EQ(model.checkValue(), 0u);
  EXPECT_FALSE(model.isValid());
}

TEST(ModelData, Seal_CheckValueCoversCodeInDecimalSerialAndKey) {
  ModelData model;
  ASSERT_TRUE(model.setSerialNumber("0000012345"));
  ASSERT_TRUE(model.seal(kKey));
  bytes::Bytes covered;
  bytes::appendBytes(covered, bytes::view("33299"));  // 0x8213
  bytes::appendBytes(covered, bytes::view("0000012345"));
  bytes::appendBytes(covered, kKey);
  EXPECT_EQ(model.checkValue(), crc::crc32(covered));
  EXPECT_EQ(bytes::loadU32(model.bytes(), 44), crc::crc32(covered));
  EXPECT_TRUE(model.isValid());
  EXPECT_TRUE(model.verify(kKey));
  EXPECT_FALSE(model.verify(bytes::Bytes(16, 0)));
}

TEST(ModelData, Validity_NeedsDigitsAndAUsableCheckValue) {
  ModelData model;
  ASSERT_TRUE(model.setSerialNumber("00000A0001"));
  EXPECT_FALSE(model.seal(kKey));

  bytes::Bytes stored(model.bytes().begin(), model.bytes().end());
  bytes::storeBytes(stored, 2, 10, bytes::view("0000000001"));
  bytes::storeU32(stored, 44, 0xFFFFFFFF);
  EXPECT_FALSE(ModelData::fromBytes(stored).isValid());
  bytes::storeU32(stored, 44, 1);
  EXPECT_TRUE(ModelData::fromBytes(stored).isValid());
  bytes::storeU16(stored, 0, 0);
  EXPECT_FALSE(ModelData::fromBytes(stored).isValid());
}

TEST(ModelData, TextFields_FullFieldReadsAllBytesAndLongTextIsRefused) {
  ModelData model;
  EXPECT_FALSE(model.setSerialNumber("01234567890"));
  EXPECT_EQ(model.serialNumber(), "");
  EXPECT_TRUE(model.setSerialNumber("0123456789"));
  EXPECT_EQ(model.serialNumber(), "0123456789");
  EXPECT_TRUE(model.setModelName(std::string(32, 'N')));
  EXPECT_EQ(model.modelName(), std::string(32, 'N'));
  EXPECT_FALSE(model.setModelName(std::string(33, 'N')));
}

TEST(ModelData, Equality_ComparesCodeTextsAndCheckValue) {
  ModelData a, b;
  EXPECT_EQ(a, b);
  b.setSerialNumber("1");
  EXPECT_NE(a, b);
  EXPECT_THROW(ModelData::fromBytes(bytes::Bytes(47, 0)), std::invalid_argument);
}

}  // namespace
