#include "platform/sleep.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

thread_local SleepRecorder* recorder = nullptr;

timespec timespecOf(std::chrono::nanoseconds interval) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
  timespec out{};
  out.tv_sec = static_cast<time_t>(seconds.count());
  out.tv_nsec = static_cast<long>((interval - seconds).count());
  return out;
}

}  // namespace

SleepRecorder::SleepRecorder() : outer_(recorder), now_(steadyNow()) { recorder = this; }

SleepRecorder::~SleepRecorder() { recorder = outer_; }

SteadyClock::time_point steadyNow() { return recorder != nullptr ? recorder->now_ : SteadyClock::now(); }

void sleepFor(std::chrono::nanoseconds interval) {
  if (recorder != nullptr) {
    recorder->intervals_.push_back(interval);
    if (interval.count() > 0) recorder->now_ += interval;
    return;
  }
  if (interval.count() <= 0) return;
  timespec remaining = timespecOf(interval);
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

// The steady clock reads CLOCK_MONOTONIC, so its time points are that clock's readings.
void sleepUntil(SteadyClock::time_point deadline) {
  if (recorder != nullptr) {
    if (deadline > recorder->now_) {
      recorder->intervals_.push_back(deadline - recorder->now_);
      recorder->now_ = deadline;
    }
    return;
  }
  const timespec until = timespecOf(deadline.time_since_epoch());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace platform
