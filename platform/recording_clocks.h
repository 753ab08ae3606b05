// A double of the board's two clocks for tests: it records each call made to it, and either
// clock may be made to refuse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/board_clock.h"

namespace platform {

struct RecordingClocks : BoardClocks {
  bool systemWorks = true;
  bool hardwareWorks = true;
  // "system SECONDS" and "hardware", in the order they were made.
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

}  // namespace platform
