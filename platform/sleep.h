// Sleeping for a whole interval or until a deadline of the monotonic clock.
#pragma once

#include <chrono>
#include <vector>

namespace platform {

using SteadyClock = std::chrono::steady_clock;

// The monotonic clock, which never jumps when the register's clock is set. While a
// SleepRecorder lives on the calling thread, the recorder's clock instead.
SteadyClock::time_point steadyNow();

// Sleeps for the whole interval: a nanosleep interrupted by a signal sleeps again for the rest.
void sleepFor(std::chrono::nanoseconds interval);
// Sleeps until the monotonic clock reaches `deadline`, at once when it has. The wait is
// measured to the deadline, not as a length, so the time spent before the call (the work of a
// pass, the lateness of a wake-up) does not add to it.
void sleepUntil(SteadyClock::time_point deadline);

// For tests: while one lives, the sleeps of the thread that made it take no time. Each records
// the interval it would have slept and moves the recorder's clock, which steadyNow reads, on
// by it; a sleepUntil whose deadline has passed records nothing. The recorder's clock starts
// at the monotonic clock's reading. Recorders nest; the innermost records.
class SleepRecorder {
 public:
  SleepRecorder();
  ~SleepRecorder();
  SleepRecorder(const SleepRecorder&) = delete;
  SleepRecorder& operator=(const SleepRecorder&) = delete;

  const std::vector<std::chrono::nanoseconds>& intervals() const { return intervals_; }

 private:
  friend SteadyClock::time_point steadyNow();
  friend void sleepFor(std::chrono::nanoseconds interval);
  friend void sleepUntil(SteadyClock::time_point deadline);

  SleepRecorder* outer_;
  SteadyClock::time_point now_;
  std::vector<std::chrono::nanoseconds> intervals_;
};

}  // namespace platform
