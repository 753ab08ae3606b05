#include "platform/board.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/board_directory.h"
#include "platform/temporary_directory.h"

namespace {

namespace fs = std::filesystem;

class SimulatedBoardTest : public ::testing::Test {
 protected:
  void write(const std::string& relative, const std::string& content) {
    fs::create_directories(fs::path(root_ + "/" + relative).parent_path());
    std::ofstream(root_ + "/" + relative) << content;
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(root_ + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  const platform::TemporaryDirectory directory_;
  const std::string root_ = directory_.path().string();
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

// The directory the simulated board runs on (board_directory.h).
TEST_F(SimulatedBoardTest, PreparedDirectory_HasABlankIdentityACardAndFolders_AndAnExistingBoardKeepsItsFiles) {
  platform::prepareBoardDirectory(root_);
  EXPECT_EQ(read("sys/bus/i2c/devices/0-0050/eeprom"), std::string(4096, '\xFF'));
  EXPECT_TRUE(fs::is_regular_file(platform::cardDeviceFile(root_)));
  for (const char* folder : {"dev", "mnt/sd", "nv", "paper"}) EXPECT_TRUE(fs::is_directory(root_ + "/" + folder)) << folder;

  const char* const kept[] = {"sys/bus/i2c/devices/0-0050/eeprom", "dev/mmcblk0p1", "nv/CASHIERS", "mnt/sd/archive"};
  for (const char* file : kept) write(file, file);
  platform::prepareBoardDirectory(root_);
  for (const char* file : kept) EXPECT_EQ(read(file), file);
}

TEST_F(SimulatedBoardTest, ClockOffsetFile_ReadsBackWhatWasSetAndZeroForNoneOrGarbage) {
  EXPECT_EQ(platform::clockOffset(root_), 0);
  ASSERT_TRUE(platform::setClockOffset(root_, -1234567));
  EXPECT_EQ(platform::clockOffset(root_), -1234567);
  EXPECT_EQ(read("clock-offset"), "-1234567\n");
  write("clock-offset", "soon");
  EXPECT_EQ(platform::clockOffset(root_), 0);
  EXPECT_FALSE(platform::setClockOffset(root_ + "/missing", 5)) << "no directory to write in";
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
