#include "platform/sleep.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

thread_local SleepRecorder* recorder = nullptr;

}  // namespace

SleepRecorder::SleepRecorder() : outer_(recorder) { recorder = this; }

SleepRecorder::~SleepRecorder() { recorder = outer_; }

void sleepFor(std::chrono::nanoseconds interval) {
  if (recorder != nullptr) {
    recorder->intervals_.push_back(interval);
    return;
  }
  if (interval.count() <= 0) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
  timespec remaining{};
  remaining.tv_sec = static_cast<time_t>(seconds.count());
  remaining.tv_nsec = static_cast<long>((interval - seconds).count());
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
