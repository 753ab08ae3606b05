#include "core/core_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <vector>

#include "core/command_table.h"
#include "platform/board_directory.h"
#include "platform/sleep.h"
#include "platform/temporary_directory.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const bytes::Bytes kAdministrator{20, 30, 0, 0, 0};  // cashier 20, password 30

bytes::Bytes withOperator(const bytes::Bytes& prefix, std::string_view body) {
  bytes::Bytes payload = prefix;
  bytes::appendBytes(payload, bytes::view(body));
  return payload;
}

// A core worker on a fresh simulated board.
class CoreWorkerTest : public ::testing::Test {
 protected:
  CoreWorkerTest()
      : board_(platform::makeSimulatedBoard(prepared(directory_.path()))),
        cashiers_(*board_, board_->nvPath("CASHIERS")),
        discounts_(*board_, board_->nvPath("DISCOUNTS")),
        sections_(*board_, board_->nvPath("SECTIONS")),
        worker_(state_, *board_, cashiers_, discounts_, sections_) {}

  static std::string prepared(const fs::path& root) {
    platform::prepareBoardDirectory(root);
    return root.string();
  }

  CoreApiResult run(std::uint8_t command, bytes::Bytes payload = {}) {
    return worker_.dispatch({command, 1, std::move(payload)});
  }

  platform::TemporaryDirectory directory_;
  DeviceState state_;
  std::unique_ptr<platform::Board> board_;
  CashierTable cashiers_;
  DiscountTable discounts_;
  SectionTable sections_;
  CoreWorker worker_;
  CoreQueue host_;  // the host link's handle onto the same queue
};

TEST(CommandTable, ListedCodesHaveRoutesAndEveryOtherIsUnknown) {
  const std::set<int> listed{1,    2,    3,    4,    6,    7,    8,    9,    0x11, 0x12, 0x13, 0x14,
                             0x15, 0x16, 0x18, 0x19, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3F, 0xA2, 0xA3,
                             0xA4, 0xA5, 0xB0, 0xB1, 0xB2, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5};
  for (int code = 0; code < 256; ++code) {
    const bool known = routeOf(static_cast<std::uint8_t>(code)) != CommandRoute::Unknown;
    EXPECT_EQ(known, listed.count(code) == 1) << "code " << code;
  }
  EXPECT_EQ(routeOf(0x3F), CommandRoute::SerialNumber);
  EXPECT_EQ(routeOf(0xA4), CommandRoute::Documents);
}

TEST_F(CoreWorkerTest, Dispatch_UnknownCodes_Answer10WithoutData) {
  for (std::uint8_t code : {0x00, 0x05, 0x3B, 0xFF}) {
    const CoreApiResult result = run(code);
    EXPECT_EQ(result.code(), 10);
    EXPECT_TRUE(result.data().empty());
  }
}

TEST_F(CoreWorkerTest, Dispatch_ArchiveBlocksWithoutArchive_Answer5) {
  for (std::uint8_t code : {0x36, 0x37, 0x38, 0x39}) EXPECT_EQ(run(code).code(), 5);
}

TEST_F(CoreWorkerTest, RunPass_OneTransactionPerPassInOrder_EachPassLastsItsTwentyMilliseconds) {
  platform::SleepRecorder sleeps;
  EXPECT_FALSE(worker_.runPass());
  EXPECT_TRUE(sleeps.intervals().empty()) << "an idle pass waits on the queue, not in a sleep";

  host_.push({0x05, 11, {}}, nullptr, nullptr);
  host_.push({0x36, 12, {}}, nullptr, nullptr);
  ASSERT_TRUE(worker_.runPass());
  EXPECT_TRUE(host_.hasResult(11));
  EXPECT_FALSE(host_.hasResult(12));
  ASSERT_TRUE(worker_.runPass());
  EXPECT_EQ(sleeps.intervals(), std::vector<std::chrono::nanoseconds>(2, 20ms))
      << "a pass that ran a transaction lasts 20 ms, though the next one is waiting";

  bool found = false;
  const CoreApiResult second = host_.takeResult(12, &found);
  EXPECT_TRUE(found);
  EXPECT_EQ(second.code(), 5);
  EXPECT_EQ(second.identifier(), 12u);
  EXPECT_EQ(host_.takeResult(11, &found).code(), 10);
}

TEST_F(CoreWorkerTest, Init_BlankBoardWithCard) {
  fs::remove_all(directory_.path() / "nv");  // the service makes its reference store
  state_.setStatusFlag(FrStatus::kShiftOpen, true);
  worker_.init();
  EXPECT_EQ(state_.statusFlags(),
            FrStatus::kCardPresent | FrStatus::kArchiveReady | FrStatus::kPrinterNotAnswering)
      << "this board has no printer";
  EXPECT_EQ(state_.deviceKey().size(), 16u);
  EXPECT_FALSE(state_.currentModelData()->isValid());
  EXPECT_EQ(fs::file_size(board_->nvPath("CASHIERS")), CashierTable::kFileSize);
  EXPECT_EQ(fs::file_size(board_->nvPath("SECTIONS")), SectionTable::kFileSize);
  EXPECT_EQ(fs::file_size(board_->nvPath("DISCOUNTS")), DiscountTable::kFileSize);
  EXPECT_TRUE(fs::is_directory(board_->cardMountPoint()));
}

TEST_F(CoreWorkerTest, Init_WithoutCardOrIdentityMemory_RecordsTheFaults) {
  fs::remove(board_->cardDevicePath());
  fs::remove(board_->identityMemoryPath());
  worker_.init();
  EXPECT_EQ(state_.statusFlags(), FrStatus::kIdentityFault | FrStatus::kPrinterNotAnswering);
  EXPECT_TRUE(state_.deviceKey().empty());
}

TEST_F(CoreWorkerTest, SerialNumber_ChecksInOrder) {
  worker_.init();
  EXPECT_EQ(run(0x3F, {20, 30, 0, 0}).code(), 19);
  EXPECT_EQ(run(0x3F, withOperator({21, 30, 0, 0, 0}, "0000000001")).code(), 19);
  EXPECT_EQ(run(0x3F, withOperator({20, 31, 0, 0, 0}, "0000000001")).code(), 18);
  EXPECT_EQ(run(0x3F, withOperator({1, 0, 0, 0, 0}, "0000000001")).code(), 18);  // an empty slot
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "000000001")).code(), 22);
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "00000000012")).code(), 22);
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "000000000A")).code(), 22);

  Cashier clerk{3, CashierRights::kReceipts, 1234, "CLERK"};
  ASSERT_TRUE(cashiers_.saveCashier(clerk));
  EXPECT_EQ(run(0x3F, withOperator({3, 0xD2, 0x04, 0, 0}, "0000000001")).code(), 16);
  EXPECT_EQ(run(0x3F, withOperator({3, 0xD2, 0x04, 0, 0}, "000000000A")).code(), 16)
      << "the permission is checked before the digits";

  ASSERT_EQ(run(0x3F, withOperator(kAdministrator, "0123456789")).code(), 0);
  const auto model = state_.currentModelData();
  EXPECT_EQ(model->serialNumber(), "0123456789");
  EXPECT_TRUE(model->verify(state_.deviceKey()));
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "1111111111")).code(), 24);
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "1")).code(), 24) << "24 comes before the length";

  // Kept in the identity memory: a restarted register has the same identity.
  DeviceState restarted;
  IdentityMemory(*board_).loadIdentity(restarted);
  EXPECT_EQ(*restarted.currentModelData(), *model);
}

TEST_F(CoreWorkerTest, SerialNumber_NotStored_IsNotPublished) {
  worker_.init();
  fs::remove(board_->identityMemoryPath());
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "0123456789")).code(), 25);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kIdentityFault));
  EXPECT_FALSE(state_.currentModelData()->isValid());

  // Once the memory is back, a retry succeeds instead of answering 24.
  platform::prepareBoardDirectory(directory_.path());  // a blank memory where there was none
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "0123456789")).code(), 0);
}

TEST_F(CoreWorkerTest, SerialNumber_WithoutDeviceKey_Answers25) {
  fs::remove(board_->identityMemoryPath());
  worker_.init();
  EXPECT_EQ(run(0x3F, withOperator(kAdministrator, "0123456789")).code(), 25);
  EXPECT_FALSE(state_.currentModelData()->isValid());
}

}  // namespace
