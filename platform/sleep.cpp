#include "platform/sleep.h"

#include <cerrno>
#include <ctime>

namespace platform {

void sleepFor(std::chrono::nanoseconds interval) {
  if (interval.count() <= 0) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
  timespec remaining{};
  remaining.tv_sec = static_cast<time_t>(seconds.count());
  remaining.tv_nsec = static_cast<long>((interval - seconds).count());
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
