#include "documents/archive_close_doc.h"

#include <gtest/gtest.h>

#include "documents/document_factory.h"
#include "documents/document_testing.h"

namespace {

using namespace document_testing;

TEST(ArchiveCloseDoc, StoredSignReplyAndBlocksInEitherOrder) {
  const ModelData model = sealedModel();
  const RegData registration = sealedRegistration();
  DeviceState state;
  state.setShiftNumber(12);
  ArchiveCloseDoc document(&model, &registration, operatorCashier());
  std::uint16_t missing = 0;
  ASSERT_EQ(document.finish(1700000000, kKey, {}, missing, state), 0);
  EXPECT_TRUE(document.reportText().empty());

  CounterSet period;
  period.shiftNumber = 12;
  period.payouts = 1;
  period.payoutSum = 500;
  period.numberKinds();
  TotalCounters totals;
  totals.shiftNumber = 12;
  totals.receipts = 40;
  totals.numberKinds();
  document.setPeriodCounters(period);
  document.setArchiveTotals(totals);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document.closeDocument(descriptor, stored, 99, 2, kKey, 0));

  bytes::Bytes signData;
  bytes::appendU32(signData, registration.checkValue());
  bytes::appendU32(signData, 99);
  bytes::appendU32(signData, 1700000000);
  EXPECT_EQ(document.signData(), signData);
  EXPECT_EQ(document.fiscalSign(), expectedSign(signData));
  EXPECT_EQ(document.closeReply(state).size(), 12u);

  const bytes::Bytes periodItem = countersToTlv(period, false).encode();
  const bytes::Bytes totalsItem = totalsToTlv(totals).encode();
  bytes::Bytes expected = commonStoredForm(4, 99, 2, operatorCashier().name, 1700000000, document.fiscalSign());
  appendU16Item(expected, 11038, 12);
  const std::size_t blocksAt = expected.size();
  bytes::appendBytes(expected, periodItem);
  bytes::appendBytes(expected, totalsItem);
  EXPECT_EQ(stored, expected);
  EXPECT_FALSE(document.reportText().empty());

  bytes::Bytes swapped(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(blocksAt));
  bytes::appendBytes(swapped, totalsItem);
  bytes::appendBytes(swapped, periodItem);
  const auto rebuilt =
      std::dynamic_pointer_cast<ArchiveCloseDoc>(rebuildDocument(*descriptor, swapped, &model, &registration));
  ASSERT_NE(rebuilt, nullptr);
  ASSERT_TRUE(rebuilt->periodCounters() && rebuilt->archiveTotals());
  EXPECT_EQ(*rebuilt->periodCounters(), period);
  EXPECT_EQ(*rebuilt->archiveTotals(), totals);
  EXPECT_EQ(rebuilt->toStored(), stored);

  const auto copy = std::dynamic_pointer_cast<ArchiveCloseDoc>(document.clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->periodCounters() || copy->archiveTotals());
}

TEST(ArchiveCloseDoc, WithoutTotals_StoredWithoutTheirItem) {
  const ModelData model = sealedModel();
  const RegData registration = sealedRegistration();
  DeviceState state;
  ArchiveCloseDoc document(&model, &registration, operatorCashier());
  std::uint16_t missing = 0;
  ASSERT_EQ(document.finish(1700000000, kKey, {}, missing, state), 0);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document.closeDocument(descriptor, stored, 5, 1, kKey, 0));
  bytes::Bytes expected = commonStoredForm(4, 5, 1, operatorCashier().name, 1700000000, document.fiscalSign());
  appendU16Item(expected, 11038, 0);
  EXPECT_EQ(stored, expected);

  Cashier nameless = operatorCashier();
  nameless.name.clear();
  ArchiveCloseDoc anonymous(&model, &registration, nameless);
  EXPECT_EQ(anonymous.finish(1, kKey, {}, missing, state), 37);
  EXPECT_EQ(missing, 11021);
}

}  // namespace
