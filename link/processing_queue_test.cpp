#include "link/processing_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/sleep.h"

namespace {

using namespace std::chrono_literals;

CoreTransaction transaction(std::uint8_t command, std::uint32_t identifier, bytes::Bytes payload = {}) {
  return CoreTransaction{command, identifier, std::move(payload)};
}

CoreApiResult resultFor(std::uint32_t identifier, std::int32_t code, bytes::Bytes data = {}) {
  CoreApiResult result(code, std::move(data));
  result.setIdentifier(identifier);
  return result;
}

// The queue state is process-wide, so every test leaves it empty: it takes the results it
// stores, and whatever it leaves pending is drained here.
class ProcessingQueueTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CoreTransaction leftover;
    while (core.pop(leftover)) {
    }
  }

  CoreQueue host;
  CoreQueue core;
};

// Plays the core loop on its own thread: takes each transaction, answers it with `answer`
// under the transaction's identifier, and sleeps briefly while nothing is pending.
class CoreLoop {
 public:
  template <typename Answer>
  explicit CoreLoop(Answer answer)
      : thread_([this, answer] {
          CoreQueue queue;
          while (!stop_.load()) {
            CoreTransaction next;
            if (!queue.pop(next)) {
              platform::sleepFor(1ms);
              continue;
            }
            CoreApiResult result = answer(queue, next);
            result.setIdentifier(next.identifier);
            queue.pushResult(result);
          }
        }) {}

  ~CoreLoop() {
    stop_.store(true);
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(CoreApiResult, Constructors_DefaultToEmptyCodeAndNoIdentifier) {
  EXPECT_EQ(CoreApiResult().code(), 255);
  EXPECT_FALSE(CoreApiResult().isOk());
  EXPECT_TRUE(CoreApiResult(0).isOk());
  for (const int code : {0, 253, 254, 255}) EXPECT_EQ(CoreApiResult(code).isPending(), code == 254) << code;

  const CoreApiResult withData(22, {1, 2});
  EXPECT_EQ(withData.code(), 22);
  EXPECT_EQ(withData.identifier(), 0u);
  EXPECT_EQ(withData.data(), (bytes::Bytes{1, 2}));
  EXPECT_NE(withData, resultFor(7, 22, {1, 2}));
}

TEST_F(ProcessingQueueTest, Pop_EmptyQueue_ReportsNothingAndLeavesOutUnchanged) {
  CoreTransaction out = transaction(9, 99, {1});
  EXPECT_FALSE(core.pop(out));
  EXPECT_EQ(out, transaction(9, 99, {1}));

  bool found = true;
  EXPECT_EQ(core.pop(&found), CoreTransaction{});
  EXPECT_FALSE(found);
  EXPECT_EQ(core.pop(nullptr), CoreTransaction{});
}

TEST_F(ProcessingQueueTest, PopWithin_NothingPushed_ReportsNothingAfterTheWait) {
  CoreTransaction out = transaction(9, 99, {1});
  EXPECT_FALSE(core.popWithin(out, 5ms));
  EXPECT_EQ(out, transaction(9, 99, {1}));
}

// The core waits far longer than the test may take: only the push can end its wait in time.
TEST_F(ProcessingQueueTest, PopWithin_PushWakesTheWaitingCore) {
  constexpr auto kLongWait = 60s;
  const auto start = std::chrono::steady_clock::now();
  CoreTransaction taken;
  bool popped = false;
  std::atomic<bool> waiting{false};
  std::thread coreThread([&] {
    CoreQueue queue;
    waiting = true;
    popped = queue.popWithin(taken, kLongWait);
  });
  // Pushed once the core is (as good as certainly) inside its wait.
  while (!waiting) platform::sleepFor(1ms);
  platform::sleepFor(50ms);
  ASSERT_TRUE(host.push(transaction(21, 901, {1, 2}), {}, {}));
  coreThread.join();

  EXPECT_TRUE(popped);
  EXPECT_EQ(taken, transaction(21, 901, {1, 2}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kLongWait / 2) << "the push did not wake the core";
}

TEST_F(ProcessingQueueTest, Pop_TransactionsFromSeveralHandles_ComeOutInPushOrder) {
  CoreQueue other;
  ASSERT_TRUE(host.push(transaction(1, 101, {0xA}), {}, {}));
  ASSERT_TRUE(other.push(transaction(2, 102), {}, {}));
  ASSERT_TRUE(host.push(transaction(3, 103, {0xB, 0xC}), {}, {}));
  EXPECT_EQ(core.size(), 3u);

  CoreTransaction first;
  ASSERT_TRUE(core.pop(first));
  EXPECT_EQ(first, transaction(1, 101, {0xA}));
  bool found = false;
  EXPECT_EQ(core.pop(&found), transaction(2, 102));
  EXPECT_TRUE(found);
  EXPECT_EQ(core.pop(&found), transaction(3, 103, {0xB, 0xC}));
  EXPECT_EQ(core.size(), 0u);
}

TEST_F(ProcessingQueueTest, Push_IdentifierZero_IsRefusedAndQueuesNothing) {
  bool called = false;
  EXPECT_FALSE(host.push(transaction(1, 0), [&] { called = true; }, {}));
  EXPECT_EQ(core.size(), 0u);

  CoreApiResult result(5);
  EXPECT_FALSE(host.exec(transaction(1, 0), result));
  EXPECT_EQ(result, CoreApiResult(5));
  EXPECT_EQ(core.size(), 0u);
  EXPECT_FALSE(called);
}

TEST_F(ProcessingQueueTest, PushResult_IdentifierZero_IsRefusedAndStoresNothing) {
  EXPECT_FALSE(core.pushResult(CoreApiResult(0)));
  EXPECT_FALSE(host.hasResult(0));
  bool found = true;
  host.takeResult(0, &found);
  EXPECT_FALSE(found);
}

TEST_F(ProcessingQueueTest, TakeResult_UnknownIdentifier_ReturnsEmptyResultNotFound) {
  bool found = true;
  EXPECT_EQ(host.takeResult(201, &found), CoreApiResult());
  EXPECT_FALSE(found);
  EXPECT_EQ(host.takeResult(201, nullptr).code(), 255);
}

TEST_F(ProcessingQueueTest, PushResult_SameIdentifierTwice_SecondReplacesFirstAndTakeRemovesIt) {
  ASSERT_TRUE(core.pushResult(resultFor(301, 0, {1})));
  ASSERT_TRUE(core.pushResult(resultFor(301, 22, {2})));
  EXPECT_TRUE(host.hasResult(301));

  bool found = false;
  EXPECT_EQ(host.takeResult(301, &found), resultFor(301, 22, {2}));
  EXPECT_TRUE(found);
  EXPECT_FALSE(host.hasResult(301));
  host.takeResult(301, &found);
  EXPECT_FALSE(found);
}

TEST_F(ProcessingQueueTest, PushResult_CompletionCallback_RunsOutsideLockAfterResultIsStored) {
  int calls = 0;
  bool resultVisible = false;
  // The callback calls back into the queue: under the results lock this would deadlock.
  ASSERT_TRUE(host.push(transaction(1, 401), [&] {
    ++calls;
    resultVisible = core.hasResult(401);
  }, {}));
  ASSERT_TRUE(core.pushResult(resultFor(401, 0)));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(resultVisible);

  host.takeResult(401, nullptr);
  ASSERT_TRUE(core.pushResult(resultFor(401, 0)));
  EXPECT_EQ(calls, 1) << "taking the result unregisters the completion callback";
  host.takeResult(401, nullptr);
}

TEST_F(ProcessingQueueTest, Push_IdentifierAlreadyRegistered_KeepsFirstCallbacks) {
  int firstCalls = 0;
  int secondCalls = 0;
  ASSERT_TRUE(host.push(transaction(1, 501), [&] { ++firstCalls; }, [&](const CoreApiNotification&) { ++firstCalls; }));
  ASSERT_TRUE(host.push(transaction(1, 501), [&] { ++secondCalls; }, [&](const CoreApiNotification&) { ++secondCalls; }));

  EXPECT_TRUE(core.notify(CoreApiNotification{1, 501, {}}));
  core.pushResult(resultFor(501, 0));
  EXPECT_EQ(firstCalls, 2);
  EXPECT_EQ(secondCalls, 0);
  host.takeResult(501, nullptr);
}

TEST_F(ProcessingQueueTest, Notify_DeliversOnlyToRegisteredIdentifier) {
  std::vector<CoreApiNotification> received;
  ASSERT_TRUE(host.push(transaction(1, 601), {}, [&](const CoreApiNotification& n) { received.push_back(n); }));

  EXPECT_TRUE(core.notify(CoreApiNotification{3, 601, {7}}));
  EXPECT_FALSE(core.notify(CoreApiNotification{3, 602, {}}));
  EXPECT_FALSE(core.notify(CoreApiNotification{3, 0, {}}));
  EXPECT_EQ(received, (std::vector{CoreApiNotification{3, 601, {7}}}));

  host.takeResult(601, nullptr);
  EXPECT_FALSE(core.notify(CoreApiNotification{3, 601, {}}));
}

TEST_F(ProcessingQueueTest, HandleDestroyed_RemovesOnlyItsCallbacks_KeepsPendingAndResults) {
  int doneCalls = 0;
  int notifyCalls = 0;
  ASSERT_TRUE(host.push(transaction(2, 702), {}, [&](const CoreApiNotification&) { ++notifyCalls; }));
  {
    CoreQueue owner;
    ASSERT_TRUE(owner.push(transaction(1, 701), [&] { ++doneCalls; }, [&](const CoreApiNotification&) { ++notifyCalls; }));
    ASSERT_TRUE(core.pushResult(resultFor(701, 0, {1})));
    EXPECT_EQ(doneCalls, 1);
  }

  EXPECT_FALSE(core.notify(CoreApiNotification{0, 701, {}}));
  ASSERT_TRUE(core.pushResult(resultFor(701, 0, {2})));
  EXPECT_EQ(doneCalls, 1);
  EXPECT_TRUE(core.notify(CoreApiNotification{0, 702, {}}));
  EXPECT_EQ(notifyCalls, 1);

  EXPECT_EQ(core.size(), 2u);
  EXPECT_EQ(host.takeResult(701, nullptr), resultFor(701, 0, {2}));
  host.takeResult(702, nullptr);
}

TEST_F(ProcessingQueueTest, Exec_CoreAnswers_ReturnsTheResultAndLeavesNothingBehind) {
  CoreQueue link;
  CoreLoop loop([](IProcessingQueue& queue, const CoreTransaction& request) {
    queue.notify(CoreApiNotification{1, request.identifier, request.payload});
    return CoreApiResult(request.command, {0x42});
  });

  std::vector<CoreApiNotification> received;
  CoreApiResult result;
  ASSERT_TRUE(link.exec(transaction(21, 801, {5, 6}), result,
                        [&](const CoreApiNotification& n) { received.push_back(n); }));
  EXPECT_EQ(result, resultFor(801, 21, {0x42}));
  EXPECT_EQ(received, (std::vector{CoreApiNotification{1, 801, {5, 6}}}));

  ASSERT_TRUE(link.exec(transaction(7, 802), result));
  EXPECT_EQ(result, resultFor(802, 7, {0x42}));

  EXPECT_FALSE(link.hasResult(801));
  EXPECT_FALSE(link.hasResult(802));
  EXPECT_FALSE(link.notify(CoreApiNotification{1, 801, {}}));
}

// The result's push ends the wait, however soon or late it comes: exec never sleeps.
TEST_F(ProcessingQueueTest, Exec_EndsAsTheResultIsPushedWithoutPolling) {
  for (const auto answerAfter : {0ms, 60ms}) {
    CoreLoop loop([answerAfter](IProcessingQueue&, const CoreTransaction& request) {
      platform::sleepFor(answerAfter);
      return CoreApiResult(0, request.payload);
    });
    CoreQueue link;
    CoreApiResult result;
    platform::SleepRecorder sleeps;
    ASSERT_TRUE(link.exec(transaction(7, 811, {3}), result));
    EXPECT_EQ(result, resultFor(811, 0, {3}));
    EXPECT_TRUE(sleeps.intervals().empty()) << "core answering after " << answerAfter.count() << " ms";
  }
}

// The host link and the core loop on two threads, thousands of transactions with distinct
// identifiers; every answer must reach the request it belongs to.
TEST_F(ProcessingQueueTest, Exec_ThousandsAcrossTwoThreads_EveryResultMatchesItsRequest) {
  constexpr std::uint32_t kTransactions = 3000;
  constexpr std::uint32_t kFirstIdentifier = 0x10000;
  const auto answerOf = [](const CoreTransaction& request) {
    bytes::Bytes data(request.payload.rbegin(), request.payload.rend());
    bytes::appendU32(data, request.identifier);
    return CoreApiResult(request.command, std::move(data));
  };

  std::uint32_t mismatches = 0;
  {
    CoreLoop loop([&](IProcessingQueue&, const CoreTransaction& request) { return answerOf(request); });
    CoreQueue link;
    for (std::uint32_t i = 0; i < kTransactions; ++i) {
      bytes::Bytes payload;
      bytes::appendU32(payload, i * 2654435761u);
      payload.resize(4 + i % 17, static_cast<std::uint8_t>(i));
      const CoreTransaction request = transaction(static_cast<std::uint8_t>(i), kFirstIdentifier + i, payload);

      CoreApiResult result;
      CoreApiResult expected = answerOf(request);
      expected.setIdentifier(request.identifier);
      if (!link.exec(request, result) || result != expected) ++mismatches;
    }
  }

  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(core.size(), 0u);
  for (std::uint32_t i = 0; i < kTransactions; ++i) {
    ASSERT_FALSE(core.hasResult(kFirstIdentifier + i)) << "result left behind for " << i;
  }
}

}  // namespace
