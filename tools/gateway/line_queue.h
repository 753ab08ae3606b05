// One line, many clients: the jobs of the HTTP handlers take the line one at a time, in the
// order they arrived, each on the thread that asked for it (no hand-off to another thread and
// back: a request on a free line costs no wake-up at all).
//
// A job that has not started when its deadline passes is dropped and never runs; a job that
// has started always runs to its end, whatever happens to the client that asked for it, and
// what it throws is thrown again to its caller. When the line has not been used for the idle
// interval the idle task takes it, on a thread of the queue's own (the gateway settles requests
// whose outcome is still open there); it must not throw.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace gateway {

template <typename Result>
class LineQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Job = std::function<Result()>;

  explicit LineQueue(std::function<void()> idleTask = {}, std::chrono::milliseconds idleInterval = std::chrono::seconds(2))
      : idleTask_(std::move(idleTask)), idleInterval_(idleInterval), idler_([this] { serveIdle(); }) {}

  // Stops, then waits for the running job and every caller still inside run().
  ~LineQueue() {
    stop();
    idler_.join();
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [&] { return callers_ == 0; });
  }
  LineQueue(const LineQueue&) = delete;
  LineQueue& operator=(const LineQueue&) = delete;

  // Runs `job` once the jobs queued before it have ended, and returns its result (or throws
  // what it threw); nullopt when it was dropped: its deadline passed before it started, or the
  // queue stopped.
  std::optional<Result> run(const Job& job, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (stopping_) return std::nullopt;
    ++callers_;
    const std::uint64_t ticket = nextTicket_++;
    waiting_.push_back(ticket);
    const bool turn = turn_.wait_until(lock, deadline, [&] { return stopping_ || (!busy_ && waiting_.front() == ticket); });
    if (!turn || stopping_) {
      std::erase(waiting_, ticket);
      leave();  // the next in line may be first now
      return std::nullopt;
    }
    waiting_.pop_front();
    std::optional<Result> result;
    std::exception_ptr failure;
    take(lock, [&] {
      try {
        result = job();
      } catch (...) {
        failure = std::current_exception();
      }
    });
    leave();
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
    return result;
  }

  // Lets the running job end and drops every job still waiting; run() drops every later one.
  void stop() {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    turn_.notify_all();
    idle_.notify_all();
  }

 private:
  // Holds the line for `work`, with the lock released while it runs.
  template <typename Work>
  void take(std::unique_lock<std::mutex>& lock, Work&& work) {
    busy_ = true;
    lock.unlock();
    work();
    lock.lock();
    busy_ = false;
    lastUsed_ = Clock::now();
  }

  void leave() {
    --callers_;
    turn_.notify_all();
  }

  // Takes the line for the idle task whenever it has been unused for the idle interval. The
  // jobs never wake this thread: it looks again an interval later while the line is in use.
  void serveIdle() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      const auto now = Clock::now();
      const bool inUse = busy_ || !waiting_.empty();
      if (inUse || now < lastUsed_ + idleInterval_) {
        idle_.wait_until(lock, inUse ? now + idleInterval_ : lastUsed_ + idleInterval_);
        continue;
      }
      take(lock, [&] {
        if (idleTask_) idleTask_();
      });
      turn_.notify_all();
    }
  }

  std::function<void()> idleTask_;
  std::chrono::milliseconds idleInterval_;
  std::mutex mutex_;
  std::condition_variable turn_, idle_;
  // The tickets of the callers waiting for the line, in arrival order.
  std::deque<std::uint64_t> waiting_;
  std::uint64_t nextTicket_ = 0;
  std::size_t callers_ = 0;
  bool busy_ = false;
  bool stopping_ = false;
  Clock::time_point lastUsed_ = Clock::now();
  std::thread idler_;  // last: it starts once everything above is ready
};

}  // namespace gateway
