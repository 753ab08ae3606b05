#include "documents/reg_data.h"

#include <gtest/gtest.h>

#include "values/crc.h"

namespace {

const bytes::Bytes kKey(16, 0x77);

RegData completeRegistration() {
  RegData registration;
  registration.setText(RegData::Text::RegistrationNumber, "0000000001");
  registration.setText(RegData::Text::TaxpayerNumber, "7700000000");
  registration.setText(RegData::Text::UserName, "SHOP");
  registration.setText(RegData::Text::Place, "PLACE");
  registration.setText(RegData::Text::Address, "ADDRESS");
  registration.setRegistrationTime(1700000000);
  return registration;
}

TEST(RegData, Default_OnlyTaxRateSlotsMarkedNotSet) {
  const RegData registration;
  for (std::size_t i = 0; i < RegData::kSize; ++i) {
    const bool rateWordHighByte = i >= 796 && i < 956 && (i - 796) % 32 == 1;
    EXPECT_EQ(registration.bytes()[i], rateWordHighByte ? 0xC0 : 0x00) << "byte " << i;
  }
  EXPECT_FALSE(registration.isComplete());
}

TEST(RegData, FullRegistrationNumber_ReadsWithAZeroAndEntersTheCheckValue) {
  RegData registration = completeRegistration();
  ASSERT_TRUE(registration.setText(RegData::Text::RegistrationNumber, "1234567890123456"));
  EXPECT_FALSE(registration.setText(RegData::Text::RegistrationNumber, "12345678901234567"));
  EXPECT_EQ(registration.text(RegData::Text::RegistrationNumber), std::string("1234567890123456\0", 17));
  ASSERT_TRUE(registration.seal("0000000042", kKey));
  bytes::Bytes covered;
  bytes::appendBytes(covered, bytes::view(std::string("1234567890123456\0", 17)));
  bytes::appendBytes(covered, bytes::view("7700000000"));
  bytes::appendBytes(covered, bytes::view("0000000042"));
  bytes::appendBytes(covered, kKey);
  EXPECT_EQ(registration.checkValue(), crc::crc32(covered));
  EXPECT_TRUE(registration.verify("0000000042", kKey));
  EXPECT_FALSE(registration.verify("0000000043", kKey));
}

TEST(RegData, Completeness_EveryFieldCounts) {
  RegData registration = completeRegistration();
  EXPECT_FALSE(registration.isComplete()) << "no check value yet";
  ASSERT_TRUE(registration.seal("1", kKey));
  registration.setRegistrationTime(0x80000000u);
  EXPECT_FALSE(registration.isComplete());
  registration.setRegistrationTime(0x7FFFFFFFu);
  EXPECT_TRUE(registration.isComplete());
  registration.setText(RegData::Text::Place, "");
  EXPECT_FALSE(registration.isComplete());
}

TEST(RegData, DigitRules) {
  RegData registration;
  registration.setText(RegData::Text::TaxpayerNumber, "1234567890");
  registration.setText(RegData::Text::RegistrationNumber, "0123456789");
  EXPECT_TRUE(registration.taxpayerNumberValid());
  EXPECT_TRUE(registration.registrationNumberValid());
  registration.setText(RegData::Text::TaxpayerNumber, "123456789012");
  EXPECT_TRUE(registration.taxpayerNumberValid());
  registration.setText(RegData::Text::TaxpayerNumber, "123456789");
  EXPECT_FALSE(registration.taxpayerNumberValid());
  registration.setText(RegData::Text::RegistrationNumber, "01234567890A");
  EXPECT_FALSE(registration.registrationNumberValid());
}

TEST(RegData, ValueByTag_TextsTimesAndRateSlots) {
  RegData registration = completeRegistration();
  registration.setArchiveId(0x1234);
  EXPECT_EQ(registration.valueByTag(11048).getText(), "SHOP");
  EXPECT_EQ(registration.valueByTag(11041).getU32(), 0x1234u);
  EXPECT_EQ(registration.valueByTag(11012).getU32(), 1700000000u);
  EXPECT_FALSE(registration.valueByTag(11021).isValid());
  const TlvItem slot = registration.valueByTag(13106);
  EXPECT_EQ(slot.tag(), 13106);
  bool ok = false;
  EXPECT_EQ(parseList(slot, &ok).size(), 3u);
  EXPECT_TRUE(ok);
}

}  // namespace
