#include "platform/sync_switch_board.h"

#include <gtest/gtest.h>

#include "platform/fault_injecting_board.h"

namespace {

TEST(SyncSwitchBoard, SyncsLeftOutSucceedUnmade_AndOnlyWhatReachesTheFilesIsCounted) {
  auto simulated = platform::makeSimulatedBoard("/nonexistent-board");
  platform::FaultInjectingBoard memory(*simulated);
  platform::SyncSwitchBoard board(memory, /*syncsMade=*/false);
  auto file = board.openFile("/file", platform::FileMode::CreateNew);
  ASSERT_TRUE(file);
  EXPECT_FALSE(board.openFile("/missing", platform::FileMode::ReadOnly));

  ASSERT_TRUE(file->writeAt(0, bytes::Bytes{1, 2, 3}) && file->writeAt(3, bytes::Bytes{4}));
  EXPECT_TRUE(file->sync());
  EXPECT_EQ(memory.unsyncedBytes("/file"), 4u) << "the sync was left out";
  EXPECT_EQ(board.writes(), 2u);
  EXPECT_EQ(board.syncs(), 0u);

  board.makeSyncs(true);
  EXPECT_TRUE(file->sync());
  EXPECT_EQ(memory.unsyncedBytes("/file"), 0u);
  EXPECT_EQ(board.syncs(), 1u);
  memory.failAt(platform::FaultInjectingBoard::Operation::Sync, 0, false);
  EXPECT_FALSE(file->sync()) << "a sync made reports its own failure";
  board.resetCounts();
  EXPECT_EQ(board.writes() + board.syncs(), 0u);
}

}  // namespace
