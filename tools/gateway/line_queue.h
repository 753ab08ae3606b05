// One line, many clients: the jobs of the HTTP handlers run one at a time on the line's own
// thread, in the order they arrived.
//
// A job that has not started when its deadline passes is dropped and never runs; a job that
// has started always runs to its end, whatever happens to the client that asked for it, and
// what it throws is thrown again to the caller that waits for it, never on the line's thread.
// While no job waits the idle task runs every idle interval (the gateway settles requests whose
// outcome is still open there); it must not throw.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace gateway {

template <typename Result>
class LineQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Job = std::function<Result()>;

  explicit LineQueue(std::function<void()> idleTask = {}, std::chrono::milliseconds idleInterval = std::chrono::seconds(2))
      : idleTask_(std::move(idleTask)), idleInterval_(idleInterval), thread_([this] { serve(); }) {}

  ~LineQueue() {
    stop();
    thread_.join();
  }
  LineQueue(const LineQueue&) = delete;
  LineQueue& operator=(const LineQueue&) = delete;

  // Runs `job` on the line's thread after the jobs queued before it, and returns its result (or
  // throws what it threw); nullopt when it was dropped: its deadline passed before it started,
  // or the queue stopped.
  std::optional<Result> run(Job job, Clock::time_point deadline) {
    auto entry = std::make_shared<Entry>(std::move(job), deadline);
    std::unique_lock lock(mutex_);
    if (stopping_) return std::nullopt;
    jobs_.push_back(entry);
    wake_.notify_all();
    if (!done_.wait_until(lock, deadline, [&] { return entry->started || entry->finished; })) {
      std::erase(jobs_, entry);
      return std::nullopt;
    }
    done_.wait(lock, [&] { return entry->finished; });
    if (entry->failure) std::rethrow_exception(entry->failure);
    return std::move(entry->result);
  }

  // Lets the running job end, drops every job still waiting, and ends the thread.
  void stop() {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }

 private:
  struct Entry {
    Entry(Job j, Clock::time_point d) : job(std::move(j)), deadline(d) {}
    Job job;
    Clock::time_point deadline;
    std::optional<Result> result;
    std::exception_ptr failure;
    bool started = false;
    bool finished = false;
  };

  void serve() {
    std::unique_lock lock(mutex_);
    while (true) {
      if (!wake_.wait_for(lock, idleInterval_, [&] { return stopping_ || !jobs_.empty(); })) {
        lock.unlock();
        if (idleTask_) idleTask_();
        lock.lock();
        continue;
      }
      if (stopping_) break;
      const std::shared_ptr<Entry> entry = jobs_.front();
      jobs_.pop_front();
      if (Clock::now() < entry->deadline) {
        entry->started = true;
        done_.notify_all();
        lock.unlock();
        std::optional<Result> result;
        std::exception_ptr failure;
        try {
          result = entry->job();
        } catch (...) {
          failure = std::current_exception();
        }
        lock.lock();
        entry->result = std::move(result);
        entry->failure = failure;
      }
      entry->finished = true;
      done_.notify_all();
    }
    for (const std::shared_ptr<Entry>& entry : jobs_) entry->finished = true;
    jobs_.clear();
    done_.notify_all();
  }

  std::function<void()> idleTask_;
  std::chrono::milliseconds idleInterval_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<std::shared_ptr<Entry>> jobs_;
  bool stopping_ = false;
  std::thread thread_;  // last: it starts once everything above is ready
};

}  // namespace gateway
