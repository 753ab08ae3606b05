#include "documents/reg_data.h"

#include <gtest/gtest.h>

#include "printer/printer_settings.h"
#include "reference/tax_rate.h"
#include "values/cp866.h"
#include "values/crc.h"

namespace {

const bytes::Bytes kKey(16, 0x77);
// ESC a 0, ESC 3 1, ESC ! 1, GS B 0: small font on 60 mm paper, where centring is done with
// spaces on a 44-character line.
const std::string kSmallFontPrefix("\x1B\x61\x00\x1B\x33\x01\x1B\x21\x01\x1D\x42\x00", 12);

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

// What text() gives back, restoreText takes: full-width numbers come back byte for byte.
TEST(RegData, RestoreText_TakesBackTheTextOfAFullField) {
  RegData registration;
  ASSERT_TRUE(registration.setText(RegData::Text::RegistrationNumber, "1234567890123456"));
  ASSERT_TRUE(registration.setText(RegData::Text::TaxpayerNumber, "123456789012"));
  RegData restored;
  for (const auto field : {RegData::Text::RegistrationNumber, RegData::Text::TaxpayerNumber}) {
    EXPECT_TRUE(restored.restoreText(field, registration.text(field)));
  }
  EXPECT_EQ(restored, registration);

  EXPECT_TRUE(restored.restoreText(RegData::Text::TaxpayerNumber, "7700000000"));
  EXPECT_EQ(restored.text(RegData::Text::TaxpayerNumber), "7700000000");
  EXPECT_FALSE(restored.restoreText(RegData::Text::TaxpayerNumber, "1234567890123")) << "13 digits";
  EXPECT_FALSE(restored.restoreText(RegData::Text::TaxpayerNumber, std::string("123456789012\0\0", 14)));
  EXPECT_EQ(restored.text(RegData::Text::TaxpayerNumber), "7700000000");
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

TEST(RegData, ToTlvList_TextsArchiveIdAndOnlyValidRates) {
  RegData registration = completeRegistration();
  registration.setArchiveId(0x01020304);
  TaxRate rate;
  rate.setKind(2);
  rate.setPercentage(1000);
  rate.setName("VAT");
  registration.setTaxRateSlot(2, rate.bytes());
  rate.setName("");
  registration.setTaxRateSlot(3, rate.bytes());  // set, but without a name not valid
  EXPECT_TRUE(TaxRate::anyRateSet(registration));

  const TlvList items = registration.toTlvList();
  std::vector<std::uint16_t> tags;
  for (const TlvItem& item : items) tags.push_back(item.tag());
  EXPECT_EQ(tags, (std::vector<std::uint16_t>{11037, 11018, 11048, 11187, 11009, 11041, 13107}));
  EXPECT_EQ(items[0].getText(), "0000000001");
  EXPECT_EQ(items[5].getU32(), 0x01020304u);
  EXPECT_EQ(items[6], TaxRate::fromSlot(registration, 2).toTlv(2));
}

TEST(RegData, HeaderAndFooter_PrintedOnlyWhenComplete) {
  printerSettings().setPaperWidth(60);
  RegData registration = completeRegistration();
  EXPECT_EQ(registration.headerBlock(), "");
  EXPECT_EQ(registration.footerBlock(true), "");
  EXPECT_EQ(RegData().headerBlock(), "");
  ASSERT_TRUE(registration.seal("1", kKey));

  EXPECT_EQ(registration.headerBlock(), kSmallFontPrefix + std::string(20, ' ') + "SHOP\n" + std::string(19, ' ') +
                                            "PLACE\n" + std::string(18, ' ') + "ADDRESS\n");
  const std::string footer = registration.footerBlock(false);
  EXPECT_EQ(cp866::toUtf8(footer), kSmallFontPrefix + "ИНН" + std::string(31, ' ') + "7700000000\n" + "ФН" +
                                       std::string(32, ' ') + "0000000001\n");
  EXPECT_EQ(registration.footerBlock(true), footer + "\x1B\x33\xFF\x0A\x1B\x69");
}

}  // namespace
