#include "tools/gateway/line_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <vector>

namespace {

using Queue = gateway::LineQueue<int>;
using namespace std::chrono_literals;

TEST(LineQueue, JobsRunInArrivalOrderOneAtATime) {
  Queue queue;
  std::vector<int> order;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  // The first job holds the line until every other one has been queued.
  auto first = std::async(std::launch::async, [&] {
    return queue.run([&] { released.wait(); order.push_back(0); return 0; }, Queue::Clock::now() + 10s);
  });
  std::this_thread::sleep_for(50ms);
  std::vector<std::future<std::optional<int>>> later;
  for (int job = 1; job <= 3; ++job) {
    later.push_back(std::async(std::launch::async, [&, job] {
      return queue.run([&, job] { order.push_back(job); return job; }, Queue::Clock::now() + 10s);
    }));
    std::this_thread::sleep_for(30ms);
  }
  release.set_value();
  EXPECT_EQ(first.get(), 0);
  for (int job = 1; job <= 3; ++job) EXPECT_EQ(later[static_cast<std::size_t>(job - 1)].get(), job);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(LineQueue, AJobNotStartedByItsDeadlineIsDroppedAStartedOneRunsToItsEnd) {
  Queue queue;
  std::atomic<bool> lateJobRan = false;
  auto slow = std::async(std::launch::async, [&] {
    return queue.run([] { std::this_thread::sleep_for(300ms); return 1; }, Queue::Clock::now() + 10ms);
  });
  std::this_thread::sleep_for(50ms);
  const auto dropped = queue.run([&] { lateJobRan = true; return 2; }, Queue::Clock::now() + 50ms);
  EXPECT_FALSE(dropped.has_value());
  EXPECT_EQ(slow.get(), 1) << "started before its deadline passed: it ran whole";
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(lateJobRan) << "a dropped job never runs";
}

TEST(LineQueue, StopLetsTheRunningJobEndAndDropsTheWaitingOnes) {
  Queue queue;
  std::promise<void> started;
  auto running = std::async(std::launch::async, [&] {
    return queue.run([&] { started.set_value(); std::this_thread::sleep_for(100ms); return 1; },
                     Queue::Clock::now() + 10s);
  });
  started.get_future().wait();
  auto waiting = std::async(std::launch::async, [&] { return queue.run([] { return 2; }, Queue::Clock::now() + 10s); });
  std::this_thread::sleep_for(20ms);
  queue.stop();
  EXPECT_EQ(running.get(), 1);
  EXPECT_FALSE(waiting.get().has_value());
  EXPECT_FALSE(queue.run([] { return 3; }, Queue::Clock::now() + 10s).has_value());
}

TEST(LineQueue, WhatAJobThrowsReachesItsCallerAndTheLineServesOn) {
  Queue queue;
  const auto deadline = [] { return Queue::Clock::now() + 10s; };
  EXPECT_THROW(queue.run([]() -> int { throw std::runtime_error("line fault"); }, deadline()), std::runtime_error);
  EXPECT_EQ(queue.run([] { return 4; }, deadline()), 4);
}

TEST(LineQueue, TheIdleTaskTakesTheLineOnlyWhenNoJobHasUsedItForTheInterval) {
  std::atomic<bool> jobRunning = false, overlapped = false;
  std::atomic<int> idleRuns = 0;
  Queue queue([&] {
    overlapped = overlapped || jobRunning;
    ++idleRuns;
  }, 50ms);
  // Jobs back to back for longer than the interval: the line is never idle for it.
  for (int job = 0; job < 8; ++job) {
    queue.run([&] { jobRunning = true; std::this_thread::sleep_for(20ms); jobRunning = false; return job; },
              Queue::Clock::now() + 10s);
  }
  const int duringJobs = idleRuns;
  for (int wait = 0; wait < 200 && idleRuns == duringJobs; ++wait) std::this_thread::sleep_for(10ms);
  EXPECT_GT(idleRuns, duringJobs) << "an idle line gets its idle task";
  EXPECT_FALSE(overlapped) << "never beside a job";
}

}  // namespace
