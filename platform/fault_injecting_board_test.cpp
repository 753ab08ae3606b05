#include "platform/fault_injecting_board.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/service_lock.h"
#include "platform/temporary_directory.h"

namespace {

namespace fs = std::filesystem;
using platform::FaultInjectingBoard;
using Op = FaultInjectingBoard::Operation;

class FaultInjectingBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    simulated_ = platform::makeSimulatedBoard(root_);
    board_ = std::make_unique<FaultInjectingBoard>(*simulated_);
    file_ = board_->openFile(path_, platform::FileMode::CreateNew);
    ASSERT_TRUE(file_);
  }

  const platform::TemporaryDirectory directory_;
  const std::string root_ = directory_.path().string();
  const std::string path_ = root_ + "/file";
  std::unique_ptr<platform::Board> simulated_;
  std::unique_ptr<FaultInjectingBoard> board_;
  std::unique_ptr<platform::RandomAccessFile> file_;
};

TEST_F(FaultInjectingBoardTest, PowerCut_DropsOnlyWhatWasNotSynced) {
  ASSERT_TRUE(file_->writeAt(0, bytes::Bytes(600, 1)) && file_->sync());
  ASSERT_TRUE(file_->writeAt(10, bytes::Bytes{2, 2}) && file_->writeAt(600, bytes::Bytes(100, 3)));
  EXPECT_EQ(board_->unsyncedBytes(path_), 102u);
  board_->powerCut(FaultInjectingBoard::PowerCut::DropUnsynced);
  EXPECT_EQ(board_->contents(path_), bytes::Bytes(600, 1));
  EXPECT_FALSE(fs::exists(path_)) << "the files live in memory";
}

TEST_F(FaultInjectingBoardTest, TornPowerCut_KeepsEarlierWritesAndWholeSectorsOfTheNewest) {
  ASSERT_TRUE(file_->writeAt(0, bytes::Bytes(2000, 1)) && file_->sync());
  ASSERT_TRUE(file_->writeAt(0, bytes::Bytes{9}));
  ASSERT_TRUE(file_->writeAt(300, bytes::Bytes(1000, 2)));  // sectors 0, 1, 2: only [300, 1024) stays
  board_->powerCut(FaultInjectingBoard::PowerCut::TearLastWrite);
  const bytes::Bytes after = board_->contents(path_);
  EXPECT_EQ(after[0], 9);
  EXPECT_EQ(after[1023], 2);
  EXPECT_EQ(after[1024], 1);
  EXPECT_EQ(after[1299], 1);
  EXPECT_EQ(after.size(), 2000u);

  ASSERT_TRUE(file_->sync() && file_->writeAt(2000, bytes::Bytes(40, 5)));  // grows within a sector
  board_->powerCut(FaultInjectingBoard::PowerCut::TearLastWrite);
  EXPECT_EQ(board_->contents(path_).size(), 2000u);
}

TEST_F(FaultInjectingBoardTest, Failures_OnceOrFromThenOn_ChangeNothing) {
  bytes::Bytes one(1);
  ASSERT_TRUE(file_->writeAt(0, bytes::Bytes{7}));
  for (Op kind : {Op::Read, Op::Write, Op::Sync}) {
    for (bool persistent : {false, true}) {
      board_->clearFaults();
      board_->failAt(kind, 1, persistent);
      const auto run = [&] {
        switch (kind) {
          case Op::Read: return file_->readAt(0, one);
          case Op::Write: return file_->writeAt(0, bytes::Bytes{7});
          case Op::Sync: return file_->sync();
        }
        return false;
      };
      EXPECT_TRUE(run());
      EXPECT_FALSE(run());
      EXPECT_EQ(run(), !persistent);
    }
  }
  board_->clearFaults();
  board_->shortWriteAt(0);
  EXPECT_FALSE(file_->writeAt(0, bytes::Bytes{1, 2, 3, 4}));
  EXPECT_EQ(board_->contents(path_), (bytes::Bytes{1, 2}));

  board_->failLookUps(true);
  EXPECT_EQ(board_->pathState(path_), platform::PathState::Unknown);
  board_->clearFaults();
  EXPECT_EQ(board_->pathState(path_), platform::PathState::Exists);
}

TEST_F(FaultInjectingBoardTest, Death_StopsEveryOperationAtItsPoint) {
  board_->dieAt(Op::Write, 1, /*completes=*/true);
  EXPECT_TRUE(file_->writeAt(0, bytes::Bytes{1}));
  EXPECT_FALSE(file_->writeAt(1, bytes::Bytes{2})) << "dies here, the write still made";
  EXPECT_FALSE(file_->writeAt(2, bytes::Bytes{3}));
  EXPECT_FALSE(file_->sync());
  EXPECT_FALSE(board_->openFile(path_, platform::FileMode::ReadOnly));
  EXPECT_EQ(board_->contents(path_), (bytes::Bytes{1, 2}));
  board_->powerCut(FaultInjectingBoard::PowerCut::DropUnsynced);
  EXPECT_TRUE(board_->contents(path_).empty());
  EXPECT_TRUE(board_->openFile(path_, platform::FileMode::ReadOnly)) << "a restart";
}

TEST(ServiceLockTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
  const platform::TemporaryDirectory directory;
  const std::string path = (directory.path() / "lock").string();
  auto first = platform::ServiceLock::acquire(path);
  ASSERT_TRUE(first);
  EXPECT_FALSE(platform::ServiceLock::acquire(path));
  first.reset();
  EXPECT_TRUE(platform::ServiceLock::acquire(path));
}

}  // namespace
