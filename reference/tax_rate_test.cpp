#include "reference/tax_rate.h"

#include <gtest/gtest.h>

#include "documents/reg_data.h"
#include "values/cp866.h"

namespace {

TaxRate rateOf(std::uint8_t kind, std::uint16_t hundredths, std::string_view name = "VAT") {
  TaxRate rate;
  rate.setKind(kind);
  rate.setPercentage(hundredths);
  rate.setName(name);
  return rate;
}

Decimal money(std::int64_t hundredths) { return Decimal(Decimal::kMoneyScale, hundredths); }

TlvItem u16Item(std::uint16_t tag, std::uint16_t value) {
  TlvItem item;
  item.setU16(tag, value);
  return item;
}

TlvItem containerOf(std::uint16_t tag, const TlvList& items) {
  TlvItem item;
  item.setList(tag, items);
  return item;
}

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

TEST(TaxRate, TaxAmountFor_RoundsTheIncludedFactorToFourDecimals) {
  const TaxRate included20 = rateOf(1, 2000);
  EXPECT_EQ(included20.taxAmountFor(money(12000)).mantissa(), 2000);
  EXPECT_EQ(included20.taxAmountFor(money(10000)).mantissa(), 1667);
  EXPECT_EQ(included20.taxAmountFor(money(9100)).mantissa(), 1517);  // 91.00 x 0.1667 = 15.1697
  EXPECT_EQ(rateOf(1, 1000).taxAmountFor(money(11000)).mantissa(), 1000);  // 110.00 x 0.0909 = 9.999
  EXPECT_EQ(rateOf(2, 2000).taxAmountFor(money(10000)).mantissa(), 2000);
  const Decimal finer = rateOf(2, 1000).taxAmountFor(Decimal(1000, 1234));
  EXPECT_EQ(finer.scale(), 1000u) << "the result keeps the total's scale";
  EXPECT_EQ(finer.mantissa(), 123);
}

TEST(TaxRate, TaxAmountFor_WithoutTaxGivesTheTotal_InvalidOrNonPositiveGivesZero) {
  const TaxRate withoutTax = rateOf(0, 0);
  EXPECT_TRUE(withoutTax.hasNoTaxAmount());
  EXPECT_EQ(withoutTax.taxAmountFor(money(5000)).mantissa(), 5000);
  EXPECT_TRUE(rateOf(2, 0).hasNoTaxAmount());
  EXPECT_EQ(rateOf(2, 0).taxAmountFor(money(5000)).mantissa(), 5000);
  EXPECT_FALSE(rateOf(1, 2000).hasNoTaxAmount());
  EXPECT_EQ(rateOf(2, 2000).taxAmountFor(money(0)).mantissa(), 0);
  EXPECT_EQ(rateOf(2, 2000).taxAmountFor(money(-10000)).mantissa(), 0);
  EXPECT_EQ(rateOf(2, 2000, "").taxAmountFor(money(10000)).mantissa(), 0);
  EXPECT_EQ(rateOf(3, 2000).taxAmountFor(money(10000)).mantissa(), 0);
}

TEST(TaxRate, PercentageAndDisplayName) {
  EXPECT_EQ(rateOf(1, 2000).percentage().toString(), "20.00");
  EXPECT_EQ(rateOf(1, 5).percentage().toString(), "0.05");
  EXPECT_EQ(rateOf(1, 2000, "НДС 20%"_cp866).displayName(), "НДС 20%"_cp866);
  EXPECT_EQ(rateOf(1, 10000, "НДС 20%"_cp866).displayName(), "");
}

TEST(TaxRate, ReceiptForm_CarriesTheAmountAndReadsBack) {
  const TaxRate rate = rateOf(1, 1800, "НДС 18%"_cp866);
  const TlvItem item = rate.toTlv(3, money(12345));
  EXPECT_EQ(item.tag(), 13108);
  const TlvList items = parseList(item);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[3].tag(), 11102);
  EXPECT_EQ(items[3].value(), (bytes::Bytes{0x39, 0x30}));

  TaxRate back;
  std::size_t slot = 9;
  Decimal amount;
  ASSERT_TRUE(back.fromTlv(item, slot, amount));
  EXPECT_EQ(slot, 3u);
  EXPECT_EQ(amount.mantissa(), 12345);
  EXPECT_EQ(amount.scale(), 100u);
  EXPECT_EQ(bytes::Bytes(back.bytes().begin(), back.bytes().end()), bytes::Bytes(rate.bytes().begin(), rate.bytes().end()));
  EXPECT_FALSE(back.fromTlv(item, slot)) << "the registration's form has no amount";
  EXPECT_FALSE(rate.toTlv(7, money(1)).isValid());
}

TEST(TaxRate, FromTlv_TagAndChildrenDecideSuccessNotValidity) {
  TaxRate rate;
  std::size_t slot = 9;
  EXPECT_FALSE(rate.fromTlv(containerOf(13110, {u16Item(13103, 1000)}), slot));
  EXPECT_EQ(slot, 9u);
  EXPECT_FALSE(rate.fromTlv(containerOf(13107, {u16Item(13101, 1)}), slot));

  rate = rateOf(1, 2000);
  ASSERT_TRUE(rate.fromTlv(containerOf(13107, {u16Item(13103, 1000)}), slot));
  EXPECT_EQ(slot, 2u);
  EXPECT_EQ(rate.kind(), 3) << "reset to not set first";
  EXPECT_EQ(rate.percentage().toString(), "10.00");
  EXPECT_EQ(rate.name(), "");
  EXPECT_FALSE(rate.isValid());

  TlvItem longName;
  longName.setText(13104, std::string(31, 'N'));
  ASSERT_TRUE(rate.fromTlv(containerOf(13105, {longName}), slot));
  EXPECT_EQ(rate.name(), "");
}

TEST(TaxRate, FromTlv_DamagedContainersFail) {
  TaxRate rate = rateOf(1, 2000);
  std::size_t slot = 9;
  EXPECT_FALSE(rate.fromTlv(TlvItem(13106, {0x2E, 0x33, 0x05, 0x00, 0x01}), slot)) << "truncated item";
  EXPECT_EQ(slot, 1u);
  EXPECT_EQ(rate.rateWord(), TaxRate::kNotSet);
  EXPECT_FALSE(rate.fromTlv(TlvItem(13106, {}), slot)) << "no items";
  // A kind or percentage of the wrong width must not pass for "without tax" or 0 %.
  EXPECT_FALSE(rate.fromTlv(containerOf(13106, {TlvItem(13102, {1, 0})}), slot));
  EXPECT_FALSE(rate.fromTlv(containerOf(13106, {TlvItem(13103, {0xD0})}), slot));
  // Nested garbage: a container where the name should be is just a name, up to its first zero.
  ASSERT_TRUE(rate.fromTlv(containerOf(13106, {containerOf(13104, {u16Item(13103, 1)})}), slot));
  EXPECT_EQ(rate.name(), "\x2F\x33\x02");
}

TEST(TaxRate, AnyRateSet_NeedsARateWordBelowNotSetWithAPlausiblePercentage) {
  RegData registration;
  EXPECT_FALSE(TaxRate::anyRateSet(registration));
  registration.setTaxRateSlot(4, rateOf(2, 10000, "").bytes());
  EXPECT_FALSE(TaxRate::anyRateSet(registration));
  registration.setTaxRateSlot(2, rateOf(0, 0, "").bytes());
  EXPECT_TRUE(TaxRate::anyRateSet(registration)) << "a rate without name still counts as set";
}

}  // namespace
