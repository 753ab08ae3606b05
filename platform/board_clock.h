// Setting the real board's clocks: the system clock first, then the battery-backed hardware
// clock from it, so that the time set also holds after a power cut.
#pragma once

#include <cstdint>

namespace platform {

// The two clocks of the board; tests stand in for them.
class BoardClocks {
 public:
  virtual ~BoardClocks() = default;

  // Sets the system clock to `seconds` since the epoch; false when the system refused.
  virtual bool setSystemClock(std::int64_t seconds) = 0;
  // Copies the system clock into the hardware clock; false when that failed.
  virtual bool writeHardwareClock() = 0;
};

// The machine's clocks: clock_settime on the real-time clock, then "hwclock -w" with its exit
// status examined.
BoardClocks& machineClocks();

// Sets both clocks to `seconds`; the hardware clock is written only once the system clock is
// set. False when a clock could not be set or the time does not fit the system's time type.
bool setBoardClocks(BoardClocks& clocks, std::int64_t seconds);

}  // namespace platform
