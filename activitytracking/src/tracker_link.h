// What queued requests and timer handlers know of a timed tracker.
//
// A TrackerLink is shared (std::shared_ptr) by the tracker, by every queued
// request that names it and by every timer handler armed for it, so it
// outlives the tracker. The dispatcher acts on the tracker only while the
// link is live; the tracker's destructor clears `live` on the dispatcher
// thread (or waits until the dispatcher has done so) before anything of the
// tracker is destroyed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "activitytracking/trackers.h"

namespace activitytracking::detail {

// Wall-clock time at the timers' microsecond resolution.
using TimePoint = std::chrono::time_point<std::chrono::system_clock,
                                          std::chrono::microseconds>;

TimePoint now();

// One idle or busy wait. Used only on the thread driving the tracker (the
// dispatcher thread).
//
// The timer is re-armed lazily: a newer event only moves `deadline`; when
// the armed expiry comes first, the expiry handler re-arms for the rest. A
// completion is acted on only when its stamp equals `generation`, so a wait
// that completed just before it was cancelled or re-armed changes nothing.
struct WaitState {
  bool pending = false;          // a wait is running
  std::uint64_t generation = 0;  // stamp of the wait now armed
  TimePoint start{};             // when the running wait was started
  TimePoint deadline{};          // when it is to end
  TimePoint armedExpiry{};       // when the timer is armed to fire
};

struct TrackerLink {
  explicit TrackerLink(EventActivityTracker* owner) : tracker(owner) {}

  EventActivityTracker* const tracker;
  // The registry of the tracker's class; null for timed trackers of other
  // classes. Set by the concrete constructor before it enlists.
  std::vector<ActivityTracker*>* registry = nullptr;
  // The dispatcher may act on `tracker`. Cleared once, on the dispatcher
  // thread, or after that thread has ended.
  std::atomic<bool> live{true};
  // retire() has run. Used by the destroying thread only.
  bool retired = false;

  WaitState idle;
  WaitState busy;

  // Handshake with a destructor waiting for its retirement request.
  void markRetireHandled();
  void waitRetireHandled();

 private:
  std::mutex mutex;
  std::condition_variable condition;
  bool retireHandled = false;  // guarded by mutex
};

// The dispatcher's way into trackers.
struct TrackerAccess {
  // A timer's completion for the wait stamped `generation` (Idle: idle
  // wait, Busy: busy wait).
  static void applyExpiry(TrackerLink& link, State target,
                          std::uint64_t generation);
  // Handles a registration request.
  static void enlistNow(TrackerLink& link);
  // Off the registry and out of reach. Dispatcher thread.
  static void retireNow(TrackerLink& link);
  // Called when the last owner of a factory-made tracker lets go on the
  // dispatcher thread: from now on the tracker gets nothing more.
  static void detachNow(ActivityTracker& tracker);

  static unsigned int idleTimeoutOf(const EventActivityTracker& tracker) {
    return tracker.idleTimeout.load(std::memory_order_relaxed);
  }
  static unsigned int busyTimeoutOf(const IntervalActivityTracker& tracker) {
    return tracker.busyTimeout.load(std::memory_order_relaxed);
  }
};

}  // namespace activitytracking::detail
