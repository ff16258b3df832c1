// Gate: threads wait here until another thread lets them through.
//
//   permits -1: open, every waiter passes and nothing is consumed
//   permits  0: closed, waiters block
//   permits  n: the next n waiters pass, each consuming one permit
//
// A blocked waiter passes only when it is let through by open(), open(n),
// wakeOne() or wakeAll(); it then consumes no permit. Spurious wake-ups of the
// underlying condition variable never let a waiter pass: each of those
// operations hands out wake-up grants, one per waiter it releases, and a
// woken waiter passes only by taking one.
//
// Thread-safety: every operation may be called from any thread.
// Memory: writes made before open()/open(n)/wakeOne()/wakeAll() are visible to
// the waiters they release.
#pragma once

#include <condition_variable>
#include <mutex>

#include "tolb/export.h"
#include "tolb/thread_annotations.h"

namespace TOLB {

class VESK_EXPORT Gate {
 public:
  explicit Gate(int initialPermits = 0);
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;
  ~Gate();

  // Blocks until the gate lets the caller pass.
  void wait();
  // As wait(), for at most `milliseconds`. Returns true when the wait timed
  // out (nothing consumed), false when the caller passed.
  bool wait(unsigned long milliseconds);

  // Opens the gate for every current and later waiter.
  void open();
  // Lets n callers pass: up to n current waiters are released and the rest
  // of the n passes stay as permits. n <= 0 closes the gate.
  void open(int n);
  // Closes the gate; threads already waiting stay waiting.
  void close();
  // Release one / all current waiters without changing the permits.
  void wakeOne();
  void wakeAll();

  // Threads blocked in wait() right now (for diagnostics and tests).
  int waitingThreads() const;

 private:
  // Takes a permit if the gate is not closed. Requires mutex_.
  bool tryPassAtEntry();
  // Grants up to `count` blocked waiters a wake-up; returns how many it
  // granted. Requires mutex_.
  int grantWakeUps(int count);
  void notify(int granted);

  mutable std::mutex mutex_;
  std::condition_variable condition_;
  int waiters_ = 0;     // blocked waiters; guarded by mutex_
  int permits_ = 0;     // -1 open, 0 closed, n > 0 counting; guarded by mutex_
  int wakeGrants_ = 0;  // grants not yet taken, <= waiters_; guarded by mutex_
};

}  // namespace TOLB
