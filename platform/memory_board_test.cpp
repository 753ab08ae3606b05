#include "platform/memory_board.h"
#include "platform/temporary_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace platform {
namespace {

class MemoryBoardTest : public ::testing::Test {
 protected:
  MemoryBoardTest() : board_(directory_.path().string()) {}

  std::string archivePath() const { return board_.cardMountPoint() + "ARCHIVE"; }

  const TemporaryDirectory directory_;
  MemoryBoard board_;
};

TEST_F(MemoryBoardTest, FilesLiveInMemoryWithTheModesOfDiskFiles) {
  EXPECT_TRUE(std::filesystem::exists(board_.cardDevicePath()));
  EXPECT_TRUE(board_.cardMounted());
  EXPECT_FALSE(board_.openFile(archivePath(), FileMode::ReadWrite)) << "not there yet";
  auto file = board_.openFile(archivePath(), FileMode::CreateNew);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->writeAt(16 << 20, bytes::Bytes{1, 2, 3, 4}));
  EXPECT_EQ(file->size(), (16u << 20) + 4);
  EXPECT_EQ(file->nextData(0), 16u << 20);
  EXPECT_FALSE(std::filesystem::exists(archivePath())) << "nothing reaches the disk";
  EXPECT_EQ(board_.pathState(archivePath()), PathState::Exists);
  EXPECT_FALSE(board_.openFile(archivePath(), FileMode::CreateNew));
  auto reading = board_.openFile(archivePath(), FileMode::ReadOnly);
  ASSERT_TRUE(reading);
  EXPECT_FALSE(reading->writeAt(0, bytes::Bytes{9}));
  EXPECT_EQ(board_.changedBytes(), 4u);
}

TEST_F(MemoryBoardTest, Rollback_PutsBackFilesAndClockAsAtTheCheckpoint) {
  board_.setContents(archivePath(), bytes::Bytes{1, 2, 3});
  board_.checkpoint();
  ASSERT_TRUE(board_.replaceFile(archivePath(), bytes::Bytes{6}));
  EXPECT_EQ(board_.contents(archivePath()), bytes::Bytes{6});

  board_.openFile(archivePath(), FileMode::ReadWrite)->writeAt(1, bytes::Bytes{7, 7, 7, 7});
  board_.openFile(archivePath() + ".JNL", FileMode::OpenOrCreate)->writeAt(0, bytes::Bytes{5});
  ASSERT_TRUE(board_.replaceFile(board_.nvPath("TABLE"), bytes::Bytes{4, 4}));
  board_.advanceClock(60);
  EXPECT_EQ(board_.now(), MemoryBoard::kStartTime + 60);
  board_.rollback();

  EXPECT_EQ(board_.contents(archivePath()), (bytes::Bytes{1, 2, 3}));
  EXPECT_EQ(board_.pathState(archivePath() + ".JNL"), PathState::Missing);
  EXPECT_EQ(board_.pathState(board_.nvPath("TABLE")), PathState::Missing);
  EXPECT_EQ(board_.now(), MemoryBoard::kStartTime);
  EXPECT_EQ(board_.changedBytes(), 0u);
}

}  // namespace
}  // namespace platform
