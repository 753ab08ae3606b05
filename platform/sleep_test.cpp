#include "platform/sleep.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Intervals = std::vector<std::chrono::nanoseconds>;

TEST(SleepUntil, RealClock_ReturnsNoSoonerThanTheDeadline) {
  for (const auto ahead : {-5ms, 0ms, 15ms}) {
    const auto deadline = platform::steadyNow() + ahead;
    platform::sleepUntil(deadline);
    EXPECT_GE(platform::steadyNow(), deadline) << ahead.count() << " ms ahead";
  }
}

// The recorder's clock moves only by what the thread slept, so a test sees the exact wait of a
// deadline however long the work before it took.
TEST(SleepRecorder, Clock_MovesByEachSleepAndDeadlinesWaitOnlyTheRest) {
  platform::SleepRecorder sleeps;
  const auto start = platform::steadyNow();
  platform::sleepFor(5ms);
  platform::sleepUntil(start + 20ms);
  platform::sleepUntil(start + 10ms);  // passed: no wait
  platform::sleepFor(0ms);
  EXPECT_EQ(sleeps.intervals(), (Intervals{5ms, 15ms, 0ms}));
  EXPECT_EQ(platform::steadyNow() - start, 20ms);

  {
    platform::SleepRecorder inner;
    platform::sleepFor(1ms);
    EXPECT_EQ(inner.intervals(), Intervals{1ms});
  }
  EXPECT_EQ(sleeps.intervals().size(), 3u) << "the inner recorder took the sleep";
}

}  // namespace
