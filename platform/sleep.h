// Sleeping for a whole interval.
#pragma once

#include <chrono>
#include <vector>

namespace platform {

// Sleeps for the whole interval: a nanosleep interrupted by a signal sleeps again for the rest.
void sleepFor(std::chrono::nanoseconds interval);

// For tests: while one lives, sleepFor on the thread that made it sleeps not at all and records
// the interval instead. Recorders nest; the innermost records.
class SleepRecorder {
 public:
  SleepRecorder();
  ~SleepRecorder();
  SleepRecorder(const SleepRecorder&) = delete;
  SleepRecorder& operator=(const SleepRecorder&) = delete;

  const std::vector<std::chrono::nanoseconds>& intervals() const { return intervals_; }

 private:
  friend void sleepFor(std::chrono::nanoseconds interval);

  SleepRecorder* outer_;
  std::vector<std::chrono::nanoseconds> intervals_;
};

}  // namespace platform
