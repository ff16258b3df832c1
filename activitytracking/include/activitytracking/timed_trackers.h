// Timed trackers: states that decay on their own.
//
// EventActivityTracker follows discrete events: an event makes the activity
// Active, and `idleTimeout` seconds without a further event make it Idle.
// IntervalActivityTracker follows activities with a start and an end: Active
// while an interval is open, Busy once the open interval has lasted
// `busyTimeout` seconds, Active again at its end and Idle `idleTimeout`
// seconds after that. A time-out of 0 disables its timer.
//
//   from                 input                    to
//   Idle/Active          recordEvent              Active (idle wait restarted)
//   Active               idle wait ends           Idle
//   any, closed          recordIntervalStart      Active, open (busy wait)
//   Active, open         busy wait ends           Busy
//   Active/Busy, open    recordIntervalEnd        Active, closed (idle wait)
//   anything else                                 unchanged
//
// Threading: the timers run on the library's timer thread, whose completion
// handlers only queue the resulting state change for the dispatcher thread;
// a change is applied only if no newer activity has re-armed or cancelled
// that wait in the meantime. The record... and set...Timeout operations are
// meant for the dispatcher thread, which calls them for the process-wide
// functions; the time-outs themselves may be read from any thread.
//
// Lifetime: destroying a tracker on any other thread than the dispatcher
// thread waits until the dispatcher has finished the request it is handling,
// after which no queued request reaches the tracker any more. So do not
// destroy a tracker while holding a lock that one of its listeners takes.
#pragma once

#include <atomic>
#include <boost/asio/deadline_timer.hpp>
#include <memory>
#include <vector>

#include "activitytracking/activity_tracker.h"
#include "activitytracking/export.h"

namespace activitytracking {

namespace detail {
struct TrackerLink;
}

class ACTIVITYTRACK_EXPORT EventActivityTracker : public ActivityTracker {
 public:
  // Idle, no wait pending; obtains the timer service.
  EventActivityTracker(Activity activity, unsigned int idleTimeout);
  ~EventActivityTracker() override;

  // An event of this activity happened now: Active, and the idle wait ends
  // idleTimeout seconds from now (none when 0).
  virtual void recordEvent();

  // (Re)starts the idle wait to end `seconds` from now.
  void startIdleTimer(unsigned int seconds);

  // Changes the idle time-out for every later wait. A wait pending now is
  // moved to end `seconds` after the moment it started (at once when that
  // has passed); 0 cancels it. Nothing happens for the current value.
  void setIdleTimeout(unsigned int seconds);

 protected:
  // Joins this tracker to `registry`: queues its registration.
  void enlist(std::vector<ActivityTracker*>* registry);
  // Takes this tracker out of the dispatcher's reach: off its registry, and
  // no queued request acts on it any more. Idempotent; every destructor of
  // the library's tracker classes calls it first.
  void retire();

  // Seconds from the last event (or interval end) to Idle. Written on the
  // dispatcher thread; read from any thread.
  std::atomic<unsigned int> idleTimeout;
  // The idle wait, on the timer service's io_context.
  boost::asio::deadline_timer idleTimer;
  // What queued requests and timer handlers hold of this tracker; outlives
  // it.
  const std::shared_ptr<detail::TrackerLink> link;

 private:
  friend struct detail::TrackerAccess;
};

class ACTIVITYTRACK_EXPORT IntervalActivityTracker
    : public EventActivityTracker {
 public:
  IntervalActivityTracker(Activity activity, unsigned int idleTimeout,
                          unsigned int busyTimeout);
  ~IntervalActivityTracker() override;

  // Plain events do not concern interval trackers: does nothing.
  void recordEvent() override;

  // An interval starts now. Ignored while one is open (starts do not nest).
  void recordIntervalStart();
  // The open interval ends now. Ignored when none is open.
  void recordIntervalEnd();

  // (Re)starts the busy wait to end `seconds` from now.
  void startBusyTimer(unsigned int seconds);

  // As setIdleTimeout, for the busy time-out and the busy wait.
  void setBusyTimeout(unsigned int seconds);

 protected:
  // Seconds an interval may stay open before the activity is Busy. Written
  // on the dispatcher thread; read from any thread.
  std::atomic<unsigned int> busyTimeout;
  // The busy wait, on the timer service's io_context.
  boost::asio::deadline_timer busyTimer;
  // An interval is open. Used on the dispatcher thread only.
  bool inInterval = false;

 private:
  friend struct detail::TrackerAccess;
};

}  // namespace activitytracking
