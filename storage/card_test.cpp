#include "storage/card.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/board_directory.h"
#include "platform/temporary_directory.h"

namespace {

namespace fs = std::filesystem;

class CardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ + "/dev");
    board_ = platform::makeSimulatedBoard(root_);
  }

  void insertCard() { std::ofstream(platform::cardDeviceFile(root_)).put(0); }

  const platform::TemporaryDirectory directory_;
  const std::string root_ = directory_.path().string();
  std::unique_ptr<platform::Board> board_;
};

TEST_F(CardTest, NoCard_NoMountAndNoArchivePath) {
  EXPECT_FALSE(card::mountCard(*board_));
  EXPECT_FALSE(card::cardMounted(*board_));
  EXPECT_EQ(card::archivePath(*board_), "");
  EXPECT_EQ(card::cardSpace(*board_), 0u);
}

TEST_F(CardTest, CardInserted_MountPointIsMadeAndArchiveLiesOnIt) {
  insertCard();
  EXPECT_TRUE(card::mountCard(*board_));
  EXPECT_TRUE(fs::is_directory(root_ + "/mnt/sd"));
  EXPECT_EQ(card::archivePath(*board_), root_ + "/mnt/sd/V0XD24TX");
  EXPECT_TRUE(card::mountCard(*board_)) << "mounting again finds it mounted";
}

TEST_F(CardTest, CardSpace_IsEightTenthsOfWhatIsAvailable) {
  insertCard();
  ASSERT_TRUE(card::mountCard(*board_));
  std::ofstream(platform::cardFreeBytesFile(root_)) << 1000009;
  EXPECT_EQ(card::cardSpace(*board_), 800000u);  // 1000009 / 10 * 8
}

// A board whose mount command never takes.
TEST_F(CardTest, FailedMount_IsReported) {
  struct NeverMounts : platform::BoardWrapper {
    using BoardWrapper::BoardWrapper;
    bool cardMounted() const override { return false; }
    bool runMountCommand() override {
      ++mountCommands;
      return true;
    }
    int mountCommands = 0;
  } board(*board_);
  insertCard();
  EXPECT_FALSE(card::mountCard(board));
  EXPECT_EQ(board.mountCommands, 1);
}

}  // namespace
