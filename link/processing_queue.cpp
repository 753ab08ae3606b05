#include "link/processing_queue.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <utility>

template <int Channel>
struct ProcessingQueue<Channel>::SharedState {
  mutable std::mutex queueLock;
  std::queue<CoreTransaction> pending;  // guarded by queueLock
  std::condition_variable pushed;       // with queueLock: a transaction was appended

  mutable std::mutex resultsLock;  // guards the three maps
  std::map<std::uint32_t, CoreApiResult> results;
  std::map<std::uint32_t, DoneCallback> doneCallbacks;
  std::map<std::uint32_t, NotifyCallback> notifyCallbacks;
};

// Created by the first handle of the channel and deliberately never destroyed: the host link
// runs on a detached thread that may still be using its handle while static objects are
// destroyed at process exit, so the state must outlive every static destructor.
template <int Channel>
typename ProcessingQueue<Channel>::SharedState& ProcessingQueue<Channel>::shared() {
  static SharedState* const state = new SharedState;
  return *state;
}

template <int Channel>
ProcessingQueue<Channel>::ProcessingQueue() {
  shared();  // the state exists from the first handle on
}

template <int Channel>
ProcessingQueue<Channel>::~ProcessingQueue() {
  SharedState& state = shared();
  std::lock_guard lock(state.resultsLock);
  for (std::uint32_t identifier : registeredIdentifiers_) {
    state.doneCallbacks.erase(identifier);
    state.notifyCallbacks.erase(identifier);
  }
}

template <int Channel>
bool ProcessingQueue<Channel>::exec(const CoreTransaction& transaction, CoreApiResult& result) {
  return exec(transaction, result, NotifyCallback{});
}

template <int Channel>
bool ProcessingQueue<Channel>::exec(const CoreTransaction& transaction, CoreApiResult& result,
                                    NotifyCallback onNotify) {
  // The completion callback is copied out of the map and may run after this call has
  // returned, so it owns the flag rather than pointing into this frame.
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto markDone = [done] {
    done->store(true, std::memory_order_release);
    done->notify_all();
  };
  if (!push(transaction, markDone, std::move(onNotify))) return false;

  done->wait(false, std::memory_order_acquire);

  // Taking the result also unregisters the callbacks, whether or not a result is still there.
  bool found = false;
  CoreApiResult answer = takeResult(transaction.identifier, &found);
  if (found) result = std::move(answer);
  return found;
}

template <int Channel>
bool ProcessingQueue<Channel>::push(const CoreTransaction& transaction, DoneCallback onDone,
                                    NotifyCallback onNotify) {
  if (transaction.identifier == 0) return false;
  SharedState& state = shared();
  if (onDone || onNotify) {
    registeredIdentifiers_.insert(transaction.identifier);
    std::lock_guard lock(state.resultsLock);
    if (onDone) state.doneCallbacks.try_emplace(transaction.identifier, std::move(onDone));
    if (onNotify) state.notifyCallbacks.try_emplace(transaction.identifier, std::move(onNotify));
  }
  {
    std::lock_guard lock(state.queueLock);
    state.pending.push(transaction);
  }
  state.pushed.notify_all();
  return true;
}

template <int Channel>
bool ProcessingQueue<Channel>::pop(CoreTransaction& out) {
  return popWithin(out, std::chrono::nanoseconds(0));
}

template <int Channel>
bool ProcessingQueue<Channel>::popWithin(CoreTransaction& out, std::chrono::nanoseconds wait) {
  SharedState& state = shared();
  std::unique_lock lock(state.queueLock);
  if (!state.pushed.wait_for(lock, wait, [&] { return !state.pending.empty(); })) return false;
  out = std::move(state.pending.front());
  state.pending.pop();
  return true;
}

template <int Channel>
CoreTransaction ProcessingQueue<Channel>::pop(bool* found) {
  CoreTransaction transaction;
  const bool popped = pop(transaction);
  if (found != nullptr) *found = popped;
  return transaction;
}

template <int Channel>
bool ProcessingQueue<Channel>::pushResult(const CoreApiResult& result) {
  if (result.identifier() == 0) return false;
  SharedState& state = shared();
  DoneCallback onDone;
  {
    std::lock_guard lock(state.resultsLock);
    state.results.insert_or_assign(result.identifier(), result);
    if (auto registered = state.doneCallbacks.find(result.identifier()); registered != state.doneCallbacks.end()) {
      onDone = registered->second;
    }
  }
  if (onDone) onDone();
  return true;
}

template <int Channel>
bool ProcessingQueue<Channel>::hasResult(std::uint32_t identifier) const {
  SharedState& state = shared();
  std::lock_guard lock(state.resultsLock);
  return state.results.contains(identifier);
}

template <int Channel>
CoreApiResult ProcessingQueue<Channel>::takeResult(std::uint32_t identifier, bool* found) {
  registeredIdentifiers_.erase(identifier);
  SharedState& state = shared();
  CoreApiResult taken;
  bool present = false;
  {
    std::lock_guard lock(state.resultsLock);
    if (auto stored = state.results.find(identifier); identifier != 0 && stored != state.results.end()) {
      taken = std::move(stored->second);
      present = true;
    }
    state.results.erase(identifier);
    state.doneCallbacks.erase(identifier);
    state.notifyCallbacks.erase(identifier);
  }
  if (found != nullptr) *found = present;
  return taken;
}

template <int Channel>
std::size_t ProcessingQueue<Channel>::size() const {
  SharedState& state = shared();
  std::lock_guard lock(state.queueLock);
  return state.pending.size();
}

template <int Channel>
bool ProcessingQueue<Channel>::notify(const CoreApiNotification& notification) {
  if (notification.identifier == 0) return false;
  SharedState& state = shared();
  std::lock_guard lock(state.resultsLock);
  auto registered = state.notifyCallbacks.find(notification.identifier);
  if (registered == state.notifyCallbacks.end()) return false;
  registered->second(notification);
  return true;
}

template class ProcessingQueue<1>;
