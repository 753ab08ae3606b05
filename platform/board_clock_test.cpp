#include "platform/board_clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records the calls the real board's clock path makes; either clock may be made to refuse.
struct RecordingClocks : platform::BoardClocks {
  bool systemWorks = true;
  bool hardwareWorks = true;
  std::vector<std::string> calls;

  bool setSystemClock(std::int64_t seconds) override {
    calls.push_back("system " + std::to_string(seconds));
    return systemWorks;
  }
  bool writeHardwareClock() override {
    calls.push_back("hardware");
    return hardwareWorks;
  }
};

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

}  // namespace
