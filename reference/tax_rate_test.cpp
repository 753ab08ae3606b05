#include "reference/tax_rate.h"

#include <gtest/gtest.h>

#include "values/cp866.h"

namespace {

TEST(TaxRate, Validity_KindPercentageAndName) {
  TaxRate rate;
  EXPECT_EQ(rate.rateWord(), 0xC000);
  rate.setKind(1);
  rate.setPercentage(2000);
  EXPECT_EQ(rate.rateWord(), 0x4000 + 2000);
  EXPECT_FALSE(rate.isValid()) << "no name";
  rate.setName("НДС 20%"_cp866);
  EXPECT_TRUE(rate.isValid());
  rate.setPercentage(10000);
  EXPECT_FALSE(rate.isValid());
  rate.setPercentage(9999);
  rate.setKind(3);
  EXPECT_FALSE(rate.isValid());
}

TEST(TaxRate, SetName_EmptyOrLongerThan30LeavesNoName) {
  TaxRate rate;
  rate.setName(std::string(30, 'N'));
  EXPECT_EQ(rate.name(), std::string(30, 'N'));
  rate.setName(std::string(31, 'N'));
  EXPECT_EQ(rate.name(), "");
}

TEST(TaxRate, FromSlot_ForcesTheLastByteToZeroAndUnknownSlotIsZero) {
  RegData registration;
  bytes::Bytes slot(32, 'A');
  bytes::storeU16(slot, 0, 0x0000 + 1000);
  registration.setTaxRateSlot(2, slot);
  const TaxRate rate = TaxRate::fromSlot(registration, 2);
  EXPECT_EQ(rate.name(), std::string(29, 'A'));
  EXPECT_EQ(rate.bytes()[31], 0);
  EXPECT_EQ(rate.percentageHundredths(), 1000);
  const TaxRate none = TaxRate::fromSlot(registration, 5);
  EXPECT_EQ(bytes::Bytes(none.bytes().begin(), none.bytes().end()), bytes::Bytes(32, 0));
  EXPECT_FALSE(TaxRate::fromSlot(registration, 5).isValid());
}

TEST(TaxRate, ToTlv_ContainerOfKindPercentageAndName) {
  TaxRate rate;
  rate.setKind(2);
  rate.setPercentage(1000);
  rate.setName("VAT");
  EXPECT_EQ(rate.toTlv(4).encode(), (bytes::Bytes{0x35, 0x33, 18, 0,     // 13109
                                                   0x2E, 0x33, 1, 0, 2,  // kind
                                                   0x2F, 0x33, 2, 0, 0xE8, 0x03,
                                                   0x30, 0x33, 3, 0, 'V', 'A', 'T'}));
  EXPECT_FALSE(rate.toTlv(5).isValid());
}

}  // namespace
