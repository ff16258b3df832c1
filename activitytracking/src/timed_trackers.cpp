#include "activitytracking/timed_trackers.h"

#include <boost/asio/error.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/system/system_error.hpp>
#include <chrono>
#include <utility>

#include "event_dispatcher.h"
#include "timer_service.h"
#include "tracker_link.h"

namespace activitytracking {
namespace detail {

TimePoint now() {
  return std::chrono::time_point_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now());
}

void TrackerLink::markRetireHandled() {
  std::lock_guard<std::mutex> lock(mutex);
  retireHandled = true;
  condition.notify_all();
}

void TrackerLink::waitRetireHandled() {
  std::unique_lock<std::mutex> lock(mutex);
  condition.wait(lock, [this] { return retireHandled; });
}

namespace {

boost::posix_time::ptime toUtc(TimePoint time) {
  static const boost::posix_time::ptime epoch(
      boost::gregorian::date(1970, 1, 1));
  return epoch +
         boost::posix_time::microseconds(time.time_since_epoch().count());
}

TimePoint after(TimePoint start, unsigned int seconds) {
  return start + std::chrono::seconds(seconds);
}

// Runs on the timer thread: hands the expiry to the dispatcher, which
// checks it against newer activity before applying it.
void postExpiry(const std::shared_ptr<TrackerLink>& link, State target,
                std::uint64_t generation) {
  DispatcherEvent request(SetState);
  request.state = target;
  request.details().link = link;
  request.details().generation = generation;
  EventDispatcher::instance().post(std::move(request));
}

// Arms `timer` to fire at `expiry` with a new stamp. Setting the expiry
// cancels the wait armed before (its handler sees operation_aborted; if it
// had already completed, its stale stamp makes the dispatcher ignore it).
void armTimer(boost::asio::deadline_timer& timer, WaitState& wait,
              const std::shared_ptr<TrackerLink>& link, State target,
              TimePoint expiry) {
  boost::system::error_code error;
  timer.expires_at(toUtc(expiry), error);
  if (error) throw boost::system::system_error(error, "expires_from_now");
  wait.armedExpiry = expiry;
  const std::uint64_t stamp = ++wait.generation;
  timer.async_wait(
      [link, target, stamp](const boost::system::error_code& result) {
        if (result == boost::asio::error::operation_aborted) return;
        postExpiry(link, target, stamp);
      });
}

// Starts a wait that ends `seconds` after `start`.
void startWait(boost::asio::deadline_timer& timer, WaitState& wait,
               const std::shared_ptr<TrackerLink>& link, State target,
               TimePoint start, unsigned int seconds) {
  const TimePoint deadline = after(start, seconds);
  armTimer(timer, wait, link, target, deadline);
  wait.pending = true;
  wait.start = start;
  wait.deadline = deadline;
}

// As startWait, but when the running wait's timer fires no later than the
// new deadline it is left armed: its expiry re-arms for the rest. This keeps
// frequent events from re-arming the timer each time.
void extendWait(boost::asio::deadline_timer& timer, WaitState& wait,
                const std::shared_ptr<TrackerLink>& link, State target,
                TimePoint start, unsigned int seconds) {
  const TimePoint deadline = after(start, seconds);
  if (wait.pending && wait.armedExpiry <= deadline) {
    wait.start = start;
    wait.deadline = deadline;
    return;
  }
  startWait(timer, wait, link, target, start, seconds);
}

void cancelWait(boost::asio::deadline_timer& timer, WaitState& wait) {
  if (!wait.pending) return;
  wait.pending = false;
  ++wait.generation;
  timer.cancel();
}

// The time-out changed to `seconds`: the running wait now ends that long
// after it started (at once when that moment has passed); 0 cancels it.
void retimeWait(boost::asio::deadline_timer& timer, WaitState& wait,
                const std::shared_ptr<TrackerLink>& link, State target,
                unsigned int seconds) {
  if (!wait.pending) return;
  if (seconds == 0) {
    cancelWait(timer, wait);
    return;
  }
  wait.deadline = after(wait.start, seconds);
  if (wait.deadline < wait.armedExpiry) {
    armTimer(timer, wait, link, target, wait.deadline);
  }
}

}  // namespace

void TrackerAccess::applyExpiry(TrackerLink& link, State target,
                                std::uint64_t generation) {
  if (!link.live.load(std::memory_order_acquire)) return;
  if (target != Idle && target != Busy) return;
  EventActivityTracker& tracker = *link.tracker;
  WaitState& wait = target == Busy ? link.busy : link.idle;
  // Cancelled or re-armed since this wait completed: newer activity wins.
  if (!wait.pending || wait.generation != generation) return;
  boost::asio::deadline_timer& timer =
      target == Busy ? static_cast<IntervalActivityTracker&>(tracker).busyTimer
                     : tracker.idleTimer;
  if (now() < wait.deadline) {
    armTimer(timer, wait, tracker.link, target, wait.deadline);
    return;
  }
  wait.pending = false;
  tracker.setState(target);
}

void TrackerAccess::enlistNow(TrackerLink& link) {
  if (!link.live.load(std::memory_order_acquire) || !link.registry) return;
  enlistTracker(*link.registry, link.tracker);
}

void TrackerAccess::retireNow(TrackerLink& link) {
  if (!link.live.exchange(false, std::memory_order_acq_rel)) return;
  if (link.registry) delistTracker(*link.registry, link.tracker);
}

}  // namespace detail

using detail::EventDispatcher;

EventActivityTracker::EventActivityTracker(Activity activityKind,
                                           unsigned int idleSeconds)
    : ActivityTracker(activityKind),
      idleTimeout(idleSeconds),
      idleTimer(detail::TimerService::instance()),
      link(std::make_shared<detail::TrackerLink>(this)) {}

EventActivityTracker::~EventActivityTracker() { retire(); }

void EventActivityTracker::recordEvent() {
  const unsigned int seconds = idleTimeout.load(std::memory_order_relaxed);
  if (seconds != 0) {
    detail::extendWait(idleTimer, link->idle, link, Idle, detail::now(),
                       seconds);
  }
  setState(Active);
}

void EventActivityTracker::startIdleTimer(unsigned int seconds) {
  detail::startWait(idleTimer, link->idle, link, Idle, detail::now(), seconds);
}

void EventActivityTracker::setIdleTimeout(unsigned int seconds) {
  if (seconds == idleTimeout.load(std::memory_order_relaxed)) return;
  idleTimeout.store(seconds, std::memory_order_relaxed);
  detail::retimeWait(idleTimer, link->idle, link, Idle, seconds);
}

void EventActivityTracker::enlist(std::vector<ActivityTracker*>* registry) {
  link->registry = registry;
  detail::DispatcherEvent request(detail::AddTracker);
  request.details().link = link;
  EventDispatcher::instance().post(std::move(request));
}

void EventActivityTracker::retire() {
  if (link->retired) return;
  link->retired = true;
  EventDispatcher* dispatcher = EventDispatcher::existing();
  if (!dispatcher) {
    // No dispatcher, so nothing can be acting on this tracker.
    link->live.store(false, std::memory_order_release);
    return;
  }
  if (EventDispatcher::onDispatcherThread()) {
    // Between or inside requests on the one thread that acts on trackers:
    // leave its reach at once (waiting for itself would never end).
    detail::TrackerAccess::retireNow(*link);
    return;
  }
  detail::DispatcherEvent request(detail::RemoveTracker);
  request.details().link = link;
  if (dispatcher->post(std::move(request))) {
    // Every request queued before it (a registration, a timer's expiry) is
    // done with this tracker once it has been handled.
    link->waitRetireHandled();
  } else {
    // Shutting down: wait until the request being handled has completed.
    dispatcher->waitUntilStopped();
    link->live.store(false, std::memory_order_release);
  }
}

IntervalActivityTracker::IntervalActivityTracker(Activity activityKind,
                                                 unsigned int idleSeconds,
                                                 unsigned int busySeconds)
    : EventActivityTracker(activityKind, idleSeconds),
      busyTimeout(busySeconds),
      busyTimer(detail::TimerService::instance()) {}

IntervalActivityTracker::~IntervalActivityTracker() { retire(); }

void IntervalActivityTracker::recordEvent() {}

void IntervalActivityTracker::recordIntervalStart() {
  if (inInterval) return;
  inInterval = true;
  // The waits are settled before listeners run, so a throwing listener
  // cannot leave a stale wait behind.
  detail::cancelWait(idleTimer, link->idle);
  const unsigned int seconds = busyTimeout.load(std::memory_order_relaxed);
  if (seconds != 0) {
    detail::startWait(busyTimer, link->busy, link, Busy, detail::now(),
                      seconds);
  }
  setState(Active);
}

void IntervalActivityTracker::recordIntervalEnd() {
  if (!inInterval) return;
  inInterval = false;
  detail::cancelWait(busyTimer, link->busy);
  const unsigned int seconds = idleTimeout.load(std::memory_order_relaxed);
  if (seconds != 0) {
    detail::startWait(idleTimer, link->idle, link, Idle, detail::now(),
                      seconds);
  }
  setState(Active);
}

void IntervalActivityTracker::startBusyTimer(unsigned int seconds) {
  detail::startWait(busyTimer, link->busy, link, Busy, detail::now(), seconds);
}

void IntervalActivityTracker::setBusyTimeout(unsigned int seconds) {
  if (seconds == busyTimeout.load(std::memory_order_relaxed)) return;
  busyTimeout.store(seconds, std::memory_order_relaxed);
  detail::retimeWait(busyTimer, link->busy, link, Busy, seconds);
}

}  // namespace activitytracking
