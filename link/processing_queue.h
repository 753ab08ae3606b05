// The processing queue: the only path for commands from the host link thread to the core
// thread and for their results back.
//
// Every queue object is a handle onto one process-wide state: a first-in first-out queue of
// pending transactions, a map of results by transaction identifier, and the completion and
// notification callbacks registered per identifier. The host link submits through its handle
// with `exec`, which blocks until the core has answered; the core loop takes transactions
// with `popWithin` (woken by the push) and answers with `pushResult`. Results are matched to
// requests by identifier, so an identifier must be non-zero and must not be reused while its
// transaction is in flight.
//
// Two plain mutexes guard the state, each held for one operation and never together: the
// queue lock guards the pending transactions, the results lock guards the results and both
// callback maps.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>

#include "link/queue_records.h"

class IProcessingQueue {
 public:
  using DoneCallback = std::function<void()>;
  using NotifyCallback = std::function<void(const CoreApiNotification&)>;

  virtual ~IProcessingQueue() = default;

  // Queues the transaction and waits until the core has pushed its result, which is moved
  // into `result`. Pushing the result ends the wait at once: nothing polls. False, with
  // `result` untouched, when the transaction could not be queued or its result was gone
  // (taken through another handle) by the time the wait ended. There is no time limit: the
  // wait lasts as long as the core takes.
  virtual bool exec(const CoreTransaction& transaction, CoreApiResult& result) = 0;
  // As above; `onNotify` receives the notifications for the transaction while it waits.
  virtual bool exec(const CoreTransaction& transaction, CoreApiResult& result, NotifyCallback onNotify) = 0;

  // Registers the callbacks that are set under the transaction's identifier (a registration
  // that already exists for it is kept), then appends a copy of the transaction to the
  // pending queue. The callbacks are registered before the transaction can be popped, so a
  // result never arrives before its completion callback. False, and nothing is queued, for
  // identifier 0: no result could ever be delivered for it.
  virtual bool push(const CoreTransaction& transaction, DoneCallback onDone, NotifyCallback onNotify) = 0;

  // Takes the oldest pending transaction into `out`; false, with `out` untouched, when none.
  virtual bool pop(CoreTransaction& out) = 0;
  // Takes the oldest pending transaction, or returns a default one when none is pending;
  // `found` (when not null) tells which.
  virtual CoreTransaction pop(bool* found) = 0;
  // As pop(out), but waits up to `wait` for a transaction while none is pending; a push ends
  // the wait at once.
  virtual bool popWithin(CoreTransaction& out, std::chrono::nanoseconds wait) = 0;

  // Stores the result under its identifier (replacing an earlier one), then runs the
  // completion callback registered for it, outside the lock and on the caller's thread.
  // False, and nothing stored, for identifier 0.
  virtual bool pushResult(const CoreApiResult& result) = 0;
  virtual bool hasResult(std::uint32_t identifier) const = 0;
  // Removes and returns the result stored for `identifier` (a default result, code 255, when
  // there is none; `found`, when not null, tells which) and unregisters both callbacks of the
  // identifier.
  virtual CoreApiResult takeResult(std::uint32_t identifier, bool* found) = 0;

  // Number of pending transactions.
  virtual std::size_t size() const = 0;

  // Calls the notification callback registered for the notification's identifier and returns
  // true; false when none is registered or the identifier is 0. The callback runs under the
  // results lock, so once `takeResult` or a handle's destructor has unregistered it, it is
  // not running and never runs again; in exchange it must not call into the queue.
  virtual bool notify(const CoreApiNotification& notification) = 0;
};

// A handle onto the process-wide state of queue `Channel`. Only `ProcessingQueue<1>` exists.
template <int Channel>
class ProcessingQueue : public IProcessingQueue {
 public:
  ProcessingQueue();
  // Unregisters the callbacks this handle registered; pending transactions and stored results
  // stay for other handles.
  ~ProcessingQueue() override;

  ProcessingQueue(const ProcessingQueue&) = delete;
  ProcessingQueue& operator=(const ProcessingQueue&) = delete;

  bool exec(const CoreTransaction& transaction, CoreApiResult& result) override;
  bool exec(const CoreTransaction& transaction, CoreApiResult& result, NotifyCallback onNotify) override;
  bool push(const CoreTransaction& transaction, DoneCallback onDone, NotifyCallback onNotify) override;
  bool pop(CoreTransaction& out) override;
  CoreTransaction pop(bool* found) override;
  bool popWithin(CoreTransaction& out, std::chrono::nanoseconds wait) override;
  bool pushResult(const CoreApiResult& result) override;
  bool hasResult(std::uint32_t identifier) const override;
  CoreApiResult takeResult(std::uint32_t identifier, bool* found) override;
  std::size_t size() const override;
  bool notify(const CoreApiNotification& notification) override;

 private:
  struct SharedState;
  static SharedState& shared();

  // Identifiers this handle registered callbacks for, so its destructor can unregister them.
  // Only the submitting side (push, takeResult, the destructor) touches the set, and a handle
  // is used by one thread, so the set needs no lock.
  std::set<std::uint32_t> registeredIdentifiers_;
};

extern template class ProcessingQueue<1>;

// The handle type that the host link and the core worker each own.
class CoreQueue : public ProcessingQueue<1> {
 public:
  using ProcessingQueue<1>::ProcessingQueue;
};
