#include "platform/board_clock.h"

#include <sys/wait.h>

#include <cstdlib>
#include <ctime>
#include <limits>

namespace platform {
namespace {

class MachineClocks final : public BoardClocks {
 public:
  bool setSystemClock(std::int64_t seconds) override {
    const timespec moment{.tv_sec = static_cast<std::time_t>(seconds), .tv_nsec = 0};
    return clock_settime(CLOCK_REALTIME, &moment) == 0;
  }

  bool writeHardwareClock() override {
    const int status = std::system("hwclock -w");
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

}  // namespace

BoardClocks& machineClocks() {
  static MachineClocks clocks;
  return clocks;
}

bool setBoardClocks(BoardClocks& clocks, std::int64_t seconds) {
  using Limits = std::numeric_limits<std::time_t>;
  if (seconds < std::int64_t{Limits::min()} || seconds > std::int64_t{Limits::max()}) return false;
  return clocks.setSystemClock(seconds) && clocks.writeHardwareClock();
}

}  // namespace platform
