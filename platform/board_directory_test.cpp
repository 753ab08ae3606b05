#include "platform/board_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class BoardDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/frcore-directory-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string read(const std::string& relative) const {
    std::ifstream in(root_ / relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const std::string& relative, const std::string& content) const {
    std::ofstream(root_ / relative, std::ios::binary) << content;
  }

  fs::path root_;
};

TEST_F(BoardDirectoryTest, Prepare_GivesAnEmptyDirectoryABlankIdentityACardAndFolders_AndKeepsAnExistingBoard) {
  platform::prepareBoardDirectory(root_);
  EXPECT_EQ(read("sys/bus/i2c/devices/0-0050/eeprom"), std::string(4096, '\xFF'));
  EXPECT_TRUE(fs::is_regular_file(platform::cardDeviceFile(root_)));
  for (const char* folder : {"dev", "mnt/sd", "nv", "paper"}) EXPECT_TRUE(fs::is_directory(root_ / folder)) << folder;

  const char* const kept[] = {"sys/bus/i2c/devices/0-0050/eeprom", "dev/mmcblk0p1", "nv/CASHIERS", "mnt/sd/archive"};
  for (const char* file : kept) write(file, file);
  platform::prepareBoardDirectory(root_);
  for (const char* file : kept) EXPECT_EQ(read(file), file);
}

TEST_F(BoardDirectoryTest, ClockOffset_ReadsBackWhatWasSetAndZeroForNoneOrGarbage) {
  EXPECT_EQ(platform::clockOffset(root_), 0);
  ASSERT_TRUE(platform::setClockOffset(root_, -1234567));
  EXPECT_EQ(platform::clockOffset(root_), -1234567);
  EXPECT_EQ(read("clock-offset"), "-1234567\n");
  write("clock-offset", "soon");
  EXPECT_EQ(platform::clockOffset(root_), 0);
  EXPECT_FALSE(platform::setClockOffset(root_ / "missing", 5)) << "no directory to write in";
}

}  // namespace
