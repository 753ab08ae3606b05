#include "platform/board.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class SimulatedBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/frcore-board-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const std::string& relative, const std::string& content) {
    fs::create_directories(fs::path(root_ + "/" + relative).parent_path());
    std::ofstream(root_ + "/" + relative) << content;
  }

  std::string root_;
};

TEST_F(SimulatedBoardTest, Paths_AllLieUnderTheRoot) {
  auto board = platform::makeSimulatedBoard(root_ + "/");
  EXPECT_EQ(board->hostPortPath(), root_ + "/dev/ttyGS0");
  EXPECT_EQ(board->printerPortPath(), root_ + "/dev/ttyS0");
  EXPECT_EQ(board->identityMemoryPath(), root_ + "/sys/bus/i2c/devices/0-0050/eeprom");
  EXPECT_EQ(board->cardDevicePath(), root_ + "/dev/mmcblk0p1");
  EXPECT_EQ(board->cardMountPoint(), root_ + "/mnt/sd/");
  EXPECT_EQ(board->nvPath("CASHIERS"), root_ + "/nv/CASHIERS");
}

TEST_F(SimulatedBoardTest, Card_MountedOnlyWithDeviceAndDirectory) {
  auto board = platform::makeSimulatedBoard(root_);
  EXPECT_FALSE(board->cardMounted());
  fs::create_directories(root_ + "/mnt/sd");
  EXPECT_FALSE(board->cardMounted());
  write("dev/mmcblk0p1", "");
  EXPECT_TRUE(board->runMountCommand());
  EXPECT_TRUE(board->cardMounted());
}

TEST_F(SimulatedBoardTest, CardSpace_FileOverridesTheFileSystem) {
  auto board = platform::makeSimulatedBoard(root_);
  fs::create_directories(root_ + "/mnt/sd");
  ASSERT_TRUE(board->cardAvailableBytes().has_value());
  write("card-free-bytes", "123456\n");
  EXPECT_EQ(board->cardAvailableBytes(), 123456u);
  write("card-free-bytes", "garbage");
  EXPECT_FALSE(board->cardAvailableBytes().has_value());
}

TEST_F(SimulatedBoardTest, Clock_OffsetIsKeptForLaterBoardsOnTheSameRoot) {
  auto board = platform::makeSimulatedBoard(root_);
  const std::int64_t target = 2000000000;  // 2033
  ASSERT_TRUE(board->setClock(target));
  auto later = platform::makeSimulatedBoard(root_);
  EXPECT_NEAR(static_cast<double>(later->now()), static_cast<double>(target), 5.0);
  ASSERT_TRUE(board->setClock(1000000000));  // 2001: a negative offset
  EXPECT_NEAR(static_cast<double>(later->now()), 1000000000.0, 5.0);
}

TEST(BoardWrapper, ForwardsWhatItDoesNotOverride) {
  auto target = platform::makeSimulatedBoard("/x");
  struct StoppedClock : platform::BoardWrapper {
    using BoardWrapper::BoardWrapper;
    std::int64_t now() const override { return 42; }
  } board(*target);
  EXPECT_EQ(board.now(), 42);
  EXPECT_EQ(board.hostPortPath(), "/x/dev/ttyGS0");
}

}  // namespace
