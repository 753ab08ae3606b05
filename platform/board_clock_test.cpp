#include "platform/board_clock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/board.h"
#include "platform/file_growth_refused.h"
#include "platform/recording_clocks.h"
#include "platform/temporary_directory.h"

namespace {

using platform::RecordingClocks;

TEST(BoardClocks, SystemClockThenHardwareClock) {
  RecordingClocks clocks;
  EXPECT_TRUE(platform::setBoardClocks(clocks, 1700000000));
  EXPECT_EQ(clocks.calls, (std::vector<std::string>{"system 1700000000", "hardware"}));
}

TEST(BoardClocks, AFailingClockFailsTheSetting) {
  RecordingClocks refusingSystem;
  refusingSystem.systemWorks = false;
  EXPECT_FALSE(platform::setBoardClocks(refusingSystem, 1700000000));
  EXPECT_EQ(refusingSystem.calls, std::vector<std::string>{"system 1700000000"})
      << "the hardware clock is not written from a clock that was not set";

  RecordingClocks refusingHardware;
  refusingHardware.hardwareWorks = false;
  EXPECT_FALSE(platform::setBoardClocks(refusingHardware, 1700000000));
  EXPECT_EQ(refusingHardware.calls.size(), 2u);
}

// Every write to a regular file fails under a file-size limit of zero, as on a full disk.
TEST(SimulatedBoardClock, ASettingThatCannotBeWrittenLeavesTheClock) {
  const platform::TemporaryDirectory root;
  auto board = platform::makeSimulatedBoard(root.path());
  ASSERT_TRUE(board->setClock(2000000000));

  const bool set = [&] {
    const platform::FileGrowthRefused refused;
    return board->setClock(1000000000);
  }();

  EXPECT_FALSE(set);
  EXPECT_NEAR(static_cast<double>(board->now()), 2000000000.0, 5.0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.path()), {}), 1) << "only clock-offset is left";
}

}  // namespace
