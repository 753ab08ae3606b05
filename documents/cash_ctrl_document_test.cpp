#include "documents/cash_ctrl_document.h"

#include <gtest/gtest.h>

#include "documents/document_factory.h"
#include "documents/document_testing.h"

namespace {

using namespace document_testing;

bytes::Bytes amountData(std::int64_t kopecks) {
  bytes::Bytes data;
  bytes::appendI64(data, kopecks);
  return data;
}

class CashCtrlDocumentTest : public testing::Test {
 protected:
  CashCtrlDocumentTest() : model_(sealedModel()), registration_(sealedRegistration()) {
    state_.setShiftNumber(5);
    state_.setDrawerCash(20000);
  }

  CashCtrlDocument make(bool deposit) const {
    return CashCtrlDocument(deposit, &model_, &registration_, operatorCashier());
  }

  ModelData model_;
  RegData registration_;
  DeviceState state_;
};

TEST_F(CashCtrlDocumentTest, Finish_PayoutUpToTheDrawer) {
  CashCtrlDocument payout = make(false);
  std::uint16_t missing = 0;
  EXPECT_EQ(payout.finish(1, kKey, amountData(20001), missing, state_), 40);
  EXPECT_EQ(payout.amount().mantissa(), 0) << "a failed finish leaves the amount";
  EXPECT_EQ(payout.finish(1, kKey, amountData(20000), missing, state_), 0);
  EXPECT_EQ(payout.amount(), Decimal(100, 20000));
}

TEST_F(CashCtrlDocumentTest, Finish_DepositLimitAndBadAmounts) {
  CashCtrlDocument deposit = make(true);
  std::uint16_t missing = 0;
  EXPECT_EQ(deposit.finish(1, kKey, amountData(100000000001), missing, state_), 41);
  EXPECT_EQ(deposit.finish(1, kKey, amountData(0), missing, state_), 40);
  EXPECT_EQ(deposit.finish(1, kKey, amountData(-5), missing, state_), 40);
  bytes::Bytes nineBytes = amountData(100);
  nineBytes.push_back(0);
  EXPECT_EQ(deposit.finish(1, kKey, nineBytes, missing, state_), 37);
  EXPECT_EQ(missing, 11031);
  EXPECT_EQ(deposit.amount().mantissa(), 0);
  EXPECT_EQ(deposit.finish(1, kKey, amountData(100000000000), missing, state_), 0);

  Cashier nameless = operatorCashier();
  nameless.name.clear();
  CashCtrlDocument anonymous(true, &model_, &registration_, nameless);
  EXPECT_EQ(anonymous.finish(1, kKey, amountData(100), missing, state_), 37);
  EXPECT_EQ(missing, 11021);
}

TEST_F(CashCtrlDocumentTest, Deposit_StoredSignReplyAndRebuild) {
  CashCtrlDocument deposit = make(true);
  ASSERT_EQ(deposit.applyOpenData({}, state_), 0);
  std::uint16_t missing = 0;
  ASSERT_EQ(deposit.finish(1700000000, kKey, amountData(15000), missing, state_), 0);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(deposit.closeDocument(descriptor, stored, 8, 1, kKey, 0));

  bytes::Bytes signData;
  bytes::appendU32(signData, registration_.checkValue());
  bytes::appendU16(signData, 5);
  bytes::appendU32(signData, 8);
  bytes::appendU32(signData, 1700000000);
  bytes::appendBytes(signData, bytes::view("150.00"));
  EXPECT_EQ(deposit.signData(), signData);
  EXPECT_EQ(deposit.fiscalSign(), expectedSign(signData));

  bytes::Bytes expected = commonStoredForm(5, 8, 1, operatorCashier().name, 1700000000, deposit.fiscalSign());
  appendItem(expected, 11031, bytes::Bytes{0x98, 0x3A});  // 15000 as a variable integer
  appendU16Item(expected, 11038, 5);
  EXPECT_EQ(stored, expected);

  const bytes::Bytes reply = deposit.closeReply(state_);
  ASSERT_EQ(reply.size(), 22u);
  EXPECT_EQ(bytes::loadU16(reply, 12), 5);
  EXPECT_EQ(bytes::loadU64(reply, 14), 20000u);

  const std::string footer = deposit.footerText(true);
  EXPECT_NE(footer.find("150.00"), std::string::npos);
  EXPECT_TRUE(footer.ends_with(deposit.BaseWorkDocument::footerText(true)));

  const auto rebuilt =
      std::dynamic_pointer_cast<CashCtrlDocument>(rebuildDocument(*descriptor, stored, &model_, &registration_));
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_TRUE(rebuilt->isDeposit());
  EXPECT_EQ(rebuilt->amount().mantissa(), 15000);
  EXPECT_EQ(rebuilt->toStored(), stored);
}

TEST_F(CashCtrlDocumentTest, CompleteOnlyWithAnAmount_CloneKeepsTypeAndAmount) {
  CashCtrlDocument payout = make(false);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  EXPECT_FALSE(payout.closeDocument(descriptor, stored, 1, 1, kKey, 0));
  std::uint16_t missing = 0;
  ASSERT_EQ(payout.finish(1, kKey, amountData(700), missing, state_), 0);
  EXPECT_TRUE(payout.closeDocument(descriptor, stored, 1, 1, kKey, 0));

  const auto copy = std::dynamic_pointer_cast<CashCtrlDocument>(payout.clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->isPayout());
  EXPECT_EQ(copy->toStored(), payout.toStored());
  CashCtrlDocument deposit = make(true);
  EXPECT_EQ(payout.copyTo(&deposit), &deposit);
  EXPECT_EQ(deposit.amount().mantissa(), 0);
}

}  // namespace
