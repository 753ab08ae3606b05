#include "core/state/device_state.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace FrStatus;

class DeviceStateTest : public ::testing::Test {
 protected:
  // A register ready for documents: card, archive, a shift opened at `openedAt`.
  void openShift(std::uint32_t openedAt) {
    state_.setStatusFlag(kCardPresent | kArchiveReady | kShiftOpen, true);
    state_.setShiftOpeningTime(openedAt);
  }

  DeviceState state_;
};

TEST_F(DeviceStateTest, Reset_AllZeroButFormatByte) {
  state_.setShiftNumber(7);
  state_.setDrawerCash(12345);
  state_.setStatusFlag(kShiftOpen, true);
  state_.resetStatus();
  bytes::Bytes expected(StatusStruct::kSize, 0);
  expected[3] = 0x32;
  EXPECT_EQ(state_.statusBytes(), expected);
  EXPECT_EQ(state_.recordBytes().cycle, bytes::Bytes(CycleStatus::kSize, 0));
}

TEST_F(DeviceStateTest, Fields_LandAtTheirOffsetsLittleEndian) {
  state_.setStatusFlag(0x4001, true);
  state_.setFiscalizationCount(3);
  state_.setShiftNumber(0x0102);
  state_.setLastDocumentNumber(0x03040506);
  state_.setLastDocumentTime(0x0708090A);
  state_.setReceiptCounter(0x0B0C);
  state_.setOpenDocumentState(5);
  state_.setDocumentCapacity(250000);
  const bytes::Bytes status = state_.statusBytes();
  EXPECT_EQ(status, (bytes::Bytes{0x01, 0x40, 3, 0x32, 0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 0x0A,
                                  0x09, 0x08, 0x07, 0x0C, 0x0B, 5, 0x90, 0xD0, 0x03, 0x00}));

  state_.setShiftOpeningNumber(1);
  state_.setShiftOpeningTime(2);
  state_.setShiftClosingNumber(3);
  state_.setShiftClosingTime(4);
  state_.setDrawerCash(0x0102030405060708ull);
  EXPECT_EQ(state_.recordBytes().cycle, (bytes::Bytes{1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0,
                                               8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(state_.drawerCash(), 0x0102030405060708ull);
}

TEST_F(DeviceStateTest, Flags_SetClearAndAnyBitOfMask) {
  state_.setStatusFlag(kShiftOpen | kPaperOut, true);
  EXPECT_TRUE(state_.hasStatusFlag(kShiftOpen | kArchiveClosed));
  state_.setStatusFlag(kShiftOpen, false);
  EXPECT_FALSE(state_.hasStatusFlag(kShiftOpen));
  EXPECT_EQ(state_.statusFlags(), kPaperOut);
}

TEST_F(DeviceStateTest, DeviceFault_FirstRuleWins) {
  EXPECT_EQ(state_.deviceFault(false), 15);
  state_.setStatusFlag(kForeignArchive, true);
  EXPECT_EQ(state_.deviceFault(false), 32);
  state_.setStatusFlag(kForeignArchive, false);
  state_.setStatusFlag(kCardPresent, true);
  EXPECT_EQ(state_.deviceFault(false), 5);
  state_.setStatusFlag(kArchiveReady | kArchiveClosed | kIdentityFault, true);
  EXPECT_EQ(state_.deviceFault(false), 31);
  state_.setStatusFlag(kArchiveClosed, false);
  EXPECT_EQ(state_.deviceFault(false), 25);
  state_.setStatusFlag(kIdentityFault, false);
  state_.setStatusFlag(kPrinterNotAnswering | kPaperOut, true);
  EXPECT_EQ(state_.deviceFault(false), 0);
  EXPECT_EQ(state_.deviceFault(true), 53);
  state_.setStatusFlag(kPrinterNotAnswering, false);
  EXPECT_EQ(state_.deviceFault(true), 54);
  EXPECT_FALSE(state_.deviceReady());
}

TEST_F(DeviceStateTest, ReadyForReceipt_CapacityAgeAndCounterInOrder) {
  const std::int64_t now = 1'800'000'000;
  openShift(static_cast<std::uint32_t>(now - 86401));
  state_.setDocumentCapacity(9);
  state_.setReceiptCounter(3000);
  EXPECT_EQ(state_.readyForType3(now), 6);
  state_.setDocumentCapacity(10);
  EXPECT_EQ(state_.readyForType3(now), 51);
  state_.setShiftOpeningTime(static_cast<std::uint32_t>(now - 86400));
  EXPECT_EQ(state_.readyForType3(now), 50);
  state_.setReceiptCounter(2999);
  EXPECT_EQ(state_.readyForType3(now), 0);
  state_.setStatusFlag(kShiftOpen, false);
  EXPECT_EQ(state_.readyForType3(now), 27);
}

TEST_F(DeviceStateTest, ReadyChecks_ShiftAndDrawerRules) {
  const std::int64_t now = 1'800'000'000;
  openShift(static_cast<std::uint32_t>(now));
  state_.setDocumentCapacity(5);
  EXPECT_EQ(state_.readyForType6(), 40);  // capacity 5 is enough for a payout
  state_.setDrawerCash(1);
  EXPECT_EQ(state_.readyForType6(), 0);
  EXPECT_EQ(state_.readyForType2(), 52);
  EXPECT_EQ(state_.readyForType5(now), 6);
  EXPECT_EQ(state_.readyForType1(), 26);
  EXPECT_EQ(state_.readyForType4(), 26);
  EXPECT_EQ(state_.readyForType7(), 26);
  EXPECT_EQ(state_.readyForReport(), 0);

  state_.setStatusFlag(kShiftOpen, false);
  EXPECT_EQ(state_.readyForType2(), 27);
  EXPECT_EQ(state_.readyForType5(now), 27);
  EXPECT_EQ(state_.readyForReport(), 27);
  EXPECT_EQ(state_.readyForType7(), 6);
  EXPECT_EQ(state_.readyForType4(), 0);
  state_.setDocumentCapacity(10);
  state_.setFiscalizationCount(50);
  EXPECT_EQ(state_.readyForType1(), 33);
  state_.setFiscalizationCount(49);
  EXPECT_EQ(state_.readyForType1(), 0);
  state_.setStatusFlag(kPaperOut, true);
  EXPECT_EQ(state_.readyForType1(), 54);  // the fault check comes last
}

TEST_F(DeviceStateTest, AfterLastDocument_ComparesWithTheLaterOfDocumentAndBuild) {
  const std::int64_t build = DeviceState::buildMoment();
  state_.setLastDocumentTime(static_cast<std::uint32_t>(build - 1000));
  EXPECT_FALSE(state_.isAfterLastDocument(build));
  EXPECT_TRUE(state_.isAfterLastDocument(build + 1));
  state_.setLastDocumentTime(static_cast<std::uint32_t>(build + 1000));
  EXPECT_FALSE(state_.isAfterLastDocument(build + 1000));
  EXPECT_TRUE(state_.isAfterLastDocument(build + 1001));
}

TEST_F(DeviceStateTest, Identity_PublishedRecordIsASnapshot) {
  auto before = state_.currentModelData();
  ModelData changed = *before;
  ASSERT_TRUE(changed.setSerialNumber("0000000001"));
  state_.publishModelData(changed);
  EXPECT_EQ(before->serialNumber(), "");
  EXPECT_EQ(state_.currentModelData()->serialNumber(), "0000000001");
  EXPECT_TRUE(state_.deviceKey().empty());
  state_.setDeviceKey(bytes::Bytes(16, 0xAB));
  EXPECT_EQ(state_.deviceKey(), bytes::Bytes(16, 0xAB));
}

// Readers on another thread always see whole records while the core publishes and updates.
TEST_F(DeviceStateTest, Concurrent_ReadersSeeConsistentRecords) {
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      const bytes::Bytes status = state_.statusBytes();
      ASSERT_EQ(status.size(), StatusStruct::kSize);
      ASSERT_EQ(status[4], status[5]);  // both bytes of the shift number are written together
      const auto model = state_.currentModelData();
      ASSERT_EQ(model->modelCode(), ModelData::kModelCode);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    state_.setShiftNumber(static_cast<std::uint16_t>((i & 0xFF) * 0x0101));
    if (i % 100 == 0) state_.publishModelData(ModelData());
  }
  stop = true;
  reader.join();
}

}  // namespace
