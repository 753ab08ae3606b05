#include "documents/close_cycle_doc.h"

#include <gtest/gtest.h>

#include "documents/document_factory.h"
#include "documents/document_testing.h"

namespace {

using namespace document_testing;

CounterSet sampleCounters() {
  CounterSet counters;
  counters.shiftNumber = 5;
  counters.deposits = 2;
  counters.depositSum = 30000;
  counters.receipts = 4;
  counters.drawerCash = 12345;
  counters.byKind[0].receipts = 4;
  counters.byKind[0].total = 50000;
  counters.numberKinds();
  return counters;
}

class CloseCycleDocTest : public testing::Test {
 protected:
  CloseCycleDocTest() : model_(sealedModel()), registration_(sealedRegistration()) { state_.setShiftNumber(5); }

  ModelData model_;
  RegData registration_;
  DeviceState state_;
};

TEST_F(CloseCycleDocTest, ClosesTheCurrentShift_StoredSignAndReply) {
  CloseCycleDoc document(&model_, &registration_, operatorCashier());
  std::uint16_t missing = 0;
  ASSERT_EQ(document.finish(1700000000, kKey, {}, missing, state_), 0);
  EXPECT_EQ(document.shiftNumber(), 5);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document.closeDocument(descriptor, stored, 3, 1, kKey, 0));

  bytes::Bytes signData;
  bytes::appendU32(signData, registration_.checkValue());
  bytes::appendU32(signData, 3);
  bytes::appendU16(signData, 5);
  bytes::appendU32(signData, 1700000000);
  EXPECT_EQ(document.signData(), signData);
  EXPECT_EQ(document.fiscalSign(), expectedSign(signData));

  bytes::Bytes expected = commonStoredForm(2, 3, 1, operatorCashier().name, 1700000000, document.fiscalSign());
  appendU16Item(expected, 11038, 5);
  EXPECT_EQ(stored, expected);
  const bytes::Bytes reply = document.closeReply(state_);
  ASSERT_EQ(reply.size(), 14u);
  EXPECT_EQ(bytes::loadU16(reply, 12), 5);
  EXPECT_TRUE(document.reportText().empty());
}

TEST_F(CloseCycleDocTest, ShiftCounters_StoredAfterTheShiftAndRebuilt) {
  CloseCycleDoc document(&model_, &registration_, operatorCashier());
  std::uint16_t missing = 0;
  document.finish(1700000000, kKey, {}, missing, state_);
  document.setShiftCounters(sampleCounters());
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document.closeDocument(descriptor, stored, 3, 1, kKey, 0));

  bytes::Bytes withoutCounters = commonStoredForm(2, 3, 1, operatorCashier().name, 1700000000, document.fiscalSign());
  appendU16Item(withoutCounters, 11038, 5);
  const bytes::Bytes counters = countersToTlv(sampleCounters(), true).encode();
  ASSERT_EQ(bytes::loadU16(counters, 0), 11194);
  bytes::Bytes expected = withoutCounters;
  bytes::appendBytes(expected, counters);
  EXPECT_EQ(stored, expected);
  EXPECT_FALSE(document.reportText().empty());

  const auto rebuilt =
      std::dynamic_pointer_cast<CloseCycleDoc>(rebuildDocument(*descriptor, stored, &model_, &registration_));
  ASSERT_NE(rebuilt, nullptr);
  ASSERT_TRUE(rebuilt->shiftCounters().has_value());
  EXPECT_EQ(*rebuilt->shiftCounters(), sampleCounters());
  const auto withoutBlock =
      std::dynamic_pointer_cast<CloseCycleDoc>(rebuildDocument(*descriptor, withoutCounters, &model_, &registration_));
  ASSERT_NE(withoutBlock, nullptr);
  EXPECT_FALSE(withoutBlock->shiftCounters().has_value());

  const auto copy = std::dynamic_pointer_cast<CloseCycleDoc>(document.clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->shiftCounters().has_value());
  EXPECT_EQ(copy->shiftNumber(), 5);
}

TEST_F(CloseCycleDocTest, Finish_NeedsACashierName) {
  Cashier nameless = operatorCashier();
  nameless.name.clear();
  CloseCycleDoc document(&model_, &registration_, nameless);
  std::uint16_t missing = 0;
  EXPECT_EQ(document.finish(5, kKey, {}, missing, state_), 37);
  EXPECT_EQ(missing, 11021);
}

}  // namespace
