#include "documents/cycle_open_document.h"

#include <gtest/gtest.h>

#include "documents/document_testing.h"

namespace {

using namespace document_testing;

TEST(CycleOpenDocument, ClosesShiftCurrentPlusOne_StoredSignAndReply) {
  const ModelData model = sealedModel();
  const RegData registration = sealedRegistration();
  DeviceState state;
  CycleOpenDocument document(&model, &registration, operatorCashier());
  ASSERT_EQ(document.applyOpenData({}, state), 0);
  EXPECT_EQ(document.shiftNumber(), 1);
  std::uint16_t missing = 0;
  ASSERT_EQ(document.finish(1700000000, kKey, {}, missing, state), 0);

  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document.closeDocument(descriptor, stored, 3, 1, kKey, 0));

  bytes::Bytes signData;
  bytes::appendU32(signData, registration.checkValue());
  bytes::appendU16(signData, 1);
  bytes::appendU32(signData, 3);
  bytes::appendU32(signData, 1700000000);
  EXPECT_EQ(document.signData(), signData);
  const std::uint32_t sign = expectedSign(signData);
  EXPECT_EQ(document.fiscalSign(), sign);

  bytes::Bytes expected = commonStoredForm(7, 3, 1, operatorCashier().name, 1700000000, sign);
  appendU16Item(expected, 11038, 1);
  EXPECT_EQ(stored, expected);

  const bytes::Bytes reply = document.closeReply(state);
  ASSERT_EQ(reply.size(), 14u);
  EXPECT_EQ(bytes::loadU32(reply, 0), 3u);
  EXPECT_EQ(bytes::loadU32(reply, 4), sign);
  EXPECT_EQ(bytes::loadU32(reply, 8), 1700000000u);
  EXPECT_EQ(reply[12], 0x01);
  EXPECT_EQ(reply[13], 0x00);
}

TEST(CycleOpenDocument, Finish_TakesTheShiftCurrentThen_AndNeedsACashierName) {
  DeviceState state;
  Cashier nameless = operatorCashier();
  nameless.name.clear();
  CycleOpenDocument document(nullptr, nullptr, nameless);
  ASSERT_EQ(document.applyOpenData({}, state), 0);
  state.setShiftNumber(8);
  std::uint16_t missing = 0;
  EXPECT_EQ(document.finish(5, kKey, {}, missing, state), 37);
  EXPECT_EQ(missing, 11021);
  EXPECT_EQ(document.shiftNumber(), 9);
}

}  // namespace
