#include "documents/fiscalization_document.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "documents/document_factory.h"
#include "documents/document_testing.h"
#include "reference/tax_rate.h"

namespace {

using namespace document_testing;

// A tax-rate container written by hand: 13102 kind, 13103 percentage, 13104 name.
bytes::Bytes rateContainerValue(std::uint8_t kind, std::uint16_t hundredths, std::string_view name) {
  bytes::Bytes value;
  appendItem(value, 13102, bytes::Bytes{kind});
  appendU16Item(value, 13103, hundredths);
  appendItem(value, 13104, bytes::view(name));
  return value;
}

TlvItem rateItem(std::uint16_t tag, std::uint8_t kind, std::uint16_t hundredths, std::string_view name) {
  return TlvItem(tag, rateContainerValue(kind, hundredths, name));
}

TlvItem textItem(std::uint16_t tag, std::string_view text) {
  TlvItem item;
  item.setText(tag, text);
  return item;
}

bytes::Bytes finishingData(std::string_view taxpayer, std::string_view registration) {
  bytes::Bytes data(bytes::view(taxpayer).begin(), bytes::view(taxpayer).end());
  data.resize(12, 0);
  bytes::appendBytes(data, bytes::view(registration));
  data.resize(28, 0);
  return data;
}

class FiscalizationDocumentTest : public testing::Test {
 protected:
  FiscalizationDocumentTest() : model_(sealedModel()), document_(&model_, operatorCashier()) {}

  int add(const TlvItem& item) {
    std::string printText;
    return document_.addTag(item, printText);
  }

  void fillRegistration() {
    ASSERT_EQ(add(textItem(11048, "SHOP")), 0);
    ASSERT_EQ(add(textItem(11187, "PLACE")), 0);
    ASSERT_EQ(add(textItem(11009, "ADDRESS")), 0);
    ASSERT_EQ(add(rateItem(13105, 1, 2000, "VAT")), 0);
  }

  ModelData model_;
  FiscalizationDocument document_;
  DeviceState state_;
};

TEST_F(FiscalizationDocumentTest, AddTag_TextsOf1To255Bytes) {
  EXPECT_EQ(add(textItem(11048, std::string(255, 'N'))), 0);
  EXPECT_EQ(document_.regData().text(RegData::Text::UserName), std::string(255, 'N'));
  EXPECT_EQ(add(textItem(11048, std::string(256, 'N'))), 35);
  EXPECT_EQ(add(textItem(11187, "")), 35);
  EXPECT_EQ(add(textItem(11037, "0000000001")), 34) << "the registration number comes with the finishing data";
  EXPECT_EQ(document_.regData().text(RegData::Text::UserName), std::string(255, 'N'));
}

TEST_F(FiscalizationDocumentTest, AddTag_TaxRates_UnusableSetRateRefused_UnsetSlotTaken) {
  EXPECT_EQ(add(rateItem(13107, 1, 2000, "VAT 20")), 0);
  EXPECT_EQ(bytes::Bytes(document_.regData().taxRateSlot(2).begin(), document_.regData().taxRateSlot(2).end()),
            taxRateSlot(1, 2000, "VAT 20"));

  const bytes::Bytes slotBefore(document_.regData().taxRateSlot(0).begin(), document_.regData().taxRateSlot(0).end());
  EXPECT_EQ(add(rateItem(13105, 1, 2000, std::string(31, 'V'))), 35) << "the long name would be emptied";
  EXPECT_EQ(add(rateItem(13105, 2, 10000, "TOO HIGH")), 35);
  bytes::Bytes undecodable = rateContainerValue(1, 2000, "VAT");
  appendItem(undecodable, 13101, bytes::Bytes{1});
  EXPECT_EQ(add(TlvItem(13105, undecodable)), 35);
  EXPECT_EQ(bytes::Bytes(document_.regData().taxRateSlot(0).begin(), document_.regData().taxRateSlot(0).end()),
            slotBefore);

  EXPECT_EQ(add(rateItem(13109, 3, 0, "")), 0);
  EXPECT_EQ(TaxRate::fromSlot(document_.regData(), 4).kind(), 3);
}

TEST_F(FiscalizationDocumentTest, Finish_MissingItemsInOrderThenSealed) {
  FiscalizationDocument nameless(&model_, Cashier{});
  std::uint16_t missing = 0;
  EXPECT_EQ(nameless.finish(1700000000, kKey, {}, missing, state_), 37);
  EXPECT_EQ(missing, 11021);

  const auto expectMissing = [&](const bytes::Bytes& data, std::uint16_t tag) {
    missing = 0;
    EXPECT_EQ(document_.finish(1700000000, kKey, data, missing, state_), 37);
    EXPECT_EQ(missing, tag);
  };
  const bytes::Bytes good = finishingData("1234567890", "0000000001");
  expectMissing(bytes::Bytes(good.begin(), good.end() - 1), 11018);  // 27 bytes are ignored
  expectMissing(finishingData("12345678901A", "0000000001"), 11018);
  expectMissing(finishingData("1234567890", "000000000X"), 11037);
  expectMissing(good, 11048);
  ASSERT_EQ(add(textItem(11048, "SHOP")), 0);
  expectMissing(good, 11187);
  ASSERT_EQ(add(textItem(11187, "PLACE")), 0);
  expectMissing(good, 11009);
  ASSERT_EQ(add(textItem(11009, "ADDRESS")), 0);
  expectMissing(good, 13105);
  ASSERT_EQ(add(rateItem(13106, 2, 1000, "TAX")), 0);

  EXPECT_EQ(document_.finish(0x80000000u, kKey, good, missing, state_), 36);
  ASSERT_EQ(document_.finish(1700000000, kKey, good, missing, state_), 0);
  const RegData& registration = document_.regData();
  EXPECT_EQ(registration.text(RegData::Text::TaxpayerNumber), "1234567890");
  EXPECT_EQ(registration.registrationTime(), 1700000000u);
  EXPECT_TRUE(registration.verify(kSerial, kKey));
  EXPECT_EQ(document_.dateTime(), 1700000000u);
}

// Taxpayer and registration numbers, of ten digits and of the full field widths.
class FiscalizationNumbersTest : public FiscalizationDocumentTest,
                                 public testing::WithParamInterface<std::pair<std::string_view, std::string_view>> {};

INSTANTIATE_TEST_SUITE_P(Widths, FiscalizationNumbersTest,
                         testing::Values(std::pair{"7700000000", "0000000001"},
                                         std::pair{"770000000012", "0000000000012345"}));

// A full field is stored as its text: all its bytes and one zero byte.
TEST_P(FiscalizationNumbersTest, Closed_StoredSignAndRebuild) {
  const auto [taxpayer, registration] = GetParam();
  state_.setShiftNumber(3);
  ASSERT_EQ(document_.applyOpenData({}, state_), 0);
  fillRegistration();
  std::uint16_t missing = 0;
  ASSERT_EQ(document_.finish(1700000000, kKey, finishingData(taxpayer, registration), missing, state_), 0);
  document_.setRegistrationArchiveId(0x0A0B0C0D);
  EXPECT_TRUE(document_.headerText().empty());
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document_.closeDocument(descriptor, stored, 1, 1, kKey, 16777220));

  bytes::Bytes signData;
  bytes::appendU32(signData, document_.regData().checkValue());
  bytes::appendU32(signData, 3);
  bytes::appendU32(signData, 1700000000);
  EXPECT_EQ(document_.signData(), signData);
  EXPECT_EQ(document_.fiscalSign(), expectedSign(signData));

  bytes::Bytes expected = commonStoredForm(1, 1, 1, operatorCashier().name, 1700000000, document_.fiscalSign());
  const auto textForm = [](std::string_view number, std::size_t field) {
    std::string text(number);
    if (text.size() == field) text.push_back('\0');
    return text;
  };
  appendItem(expected, 11037, bytes::view(textForm(registration, 16)));
  appendItem(expected, 11018, bytes::view(textForm(taxpayer, 12)));
  appendItem(expected, 11048, bytes::view("SHOP"));
  appendItem(expected, 11187, bytes::view("PLACE"));
  appendItem(expected, 11009, bytes::view("ADDRESS"));
  appendU32Item(expected, 11041, 0x0A0B0C0D);
  appendItem(expected, 13105, rateContainerValue(1, 2000, "VAT"));
  EXPECT_EQ(stored, expected);

  const auto rebuilt =
      std::dynamic_pointer_cast<FiscalizationDocument>(rebuildDocument(*descriptor, stored, &model_, nullptr));
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(rebuilt->toStored(), stored);
  EXPECT_EQ(crc::crc16(rebuilt->toStored()), descriptor->dataCheckValue());
  const RegData& restored = rebuilt->regData();
  EXPECT_EQ(restored.text(RegData::Text::RegistrationNumber), textForm(registration, 16));
  for (const auto field : {RegData::Text::RegistrationNumber, RegData::Text::TaxpayerNumber, RegData::Text::UserName,
                           RegData::Text::Place, RegData::Text::Address}) {
    EXPECT_EQ(restored.text(field), document_.regData().text(field));
  }
  EXPECT_EQ(restored.registrationTime(), 1700000000u);
  EXPECT_EQ(restored.archiveId(), 0x0A0B0C0Du);
  for (std::size_t slot = 0; slot < RegData::kTaxRateSlots; ++slot) {
    EXPECT_TRUE(std::ranges::equal(restored.taxRateSlot(slot), document_.regData().taxRateSlot(slot))) << slot;
  }
  EXPECT_FALSE(rebuilt->periodCounters().has_value());
}

TEST_F(FiscalizationDocumentTest, ReRegistration_CarriesPeriodCounters) {
  fillRegistration();
  std::uint16_t missing = 0;
  ASSERT_EQ(document_.finish(1700000000, kKey, finishingData("7700000000", "0000000001"), missing, state_), 0);
  CounterSet period;
  period.shiftNumber = 40;
  period.receipts = 1000;
  period.numberKinds();
  document_.setPeriodCounters(period);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document_.closeDocument(descriptor, stored, 2000, 2000, kKey, 0));
  const bytes::Bytes counters = countersToTlv(period, false).encode();
  ASSERT_GT(stored.size(), counters.size());
  EXPECT_TRUE(std::equal(counters.rbegin(), counters.rend(), stored.rbegin()));
  EXPECT_FALSE(document_.reportText().empty());
  EXPECT_NE(document_.reportHeaderText().find("Отчет о фискализации/перерегистрации"_cp866), std::string::npos);

  const auto rebuilt =
      std::dynamic_pointer_cast<FiscalizationDocument>(rebuildDocument(*descriptor, stored, &model_, nullptr));
  ASSERT_NE(rebuilt, nullptr);
  ASSERT_TRUE(rebuilt->periodCounters().has_value());
  EXPECT_EQ(*rebuilt->periodCounters(), period);
  EXPECT_FALSE(std::dynamic_pointer_cast<FiscalizationDocument>(document_.clone())->periodCounters().has_value());
}

TEST_F(FiscalizationDocumentTest, Sign_NeedsOnlyTheModelRecordOfTheKey) {
  EXPECT_TRUE(document_.sign(kKey, kSerial)) << "the registration is not made yet";
  bytes::Bytes otherKey = kKey;
  otherKey[1] ^= 1;
  const std::uint32_t sign = document_.fiscalSign();
  EXPECT_FALSE(document_.sign(otherKey, kSerial));
  EXPECT_EQ(document_.fiscalSign(), sign);
}

}  // namespace
