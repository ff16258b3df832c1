// EventDispatcher: the library's one worker thread. Every change the library
// makes to trackers (process-wide reports, timer expiries, time-out changes,
// registrations) is queued here as a DispatcherEvent and carried out on this
// thread in queue order, one at a time. Reporting threads only queue.
//
// Threading: post() from any thread; everything else the dispatcher does
// runs on its own thread. The queue is guarded by `mutex`; nothing else is
// locked here and no lock of the dispatcher is held while a request runs.
//
// Lifetime: created on first use and never freed; at exit or library unload
// its thread is stopped (the request being handled completes, the queued
// ones are dropped) and later posts are dropped at once, so trackers that
// outlive the thread can still be destroyed safely.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "activitytracking/trackers.h"
#include "library_log.h"
#include "tracker_link.h"

namespace activitytracking::detail {

enum DispatcherEventType : std::int32_t {
  UIEvent = 0,
  ExecutionStart = 1,
  ExecutionStop = 2,
  SimulationStart = 3,
  SimulationStop = 4,
  ModelCompilationStart = 5,
  ModelCompilationStop = 6,
  SetState = 7,        // link, state, generation: a timer's expiry
  SetIdleTimeout = 8,  // trackerRef, timeout
  SetBusyTimeout = 9,  // trackerRef, timeout
  Stop = 10,
  AddTracker = 11,     // link (tracker and registry)
  RemoveTracker = 12,  // link; the destroying thread waits for it
};

// One request. Owned by the queue from post() on; destroyed once handled or
// dropped, which releases what it holds.
//
// Reports (codes 0-6), by far the most frequent requests, carry nothing but
// their code: a queued report takes 16 bytes, so reporting threads that
// queue many of them touch few cache lines. The fields of the rarer requests
// live in `details`, made by details() on first use.
struct DispatcherEvent {
  struct Details {
    unsigned int timeout = 0;
    std::uint64_t generation = 0;
    // Keeps the tracker of a time-out request alive while it waits.
    std::shared_ptr<ActivityTracker> trackerRef;
    // The timed tracker a SetState, AddTracker or RemoveTracker names.
    std::shared_ptr<TrackerLink> link;
  };

  explicit DispatcherEvent(DispatcherEventType eventType) : type(eventType) {}
  DispatcherEvent(DispatcherEvent&&) noexcept = default;
  DispatcherEvent& operator=(DispatcherEvent&&) noexcept = default;
  // A RemoveTracker request tells its waiting destructor that it is done
  // (handled or dropped).
  ~DispatcherEvent();

  // The further fields, made on first use.
  Details& details() {
    if (!more) more = std::make_unique<Details>();
    return *more;
  }
  // The time-out of a SetIdleTimeout or SetBusyTimeout request.
  unsigned int timeout() const { return more ? more->timeout : 0; }
  std::uint64_t generation() const { return more ? more->generation : 0; }
  ActivityTracker* trackerRef() const {
    return more ? more->trackerRef.get() : nullptr;
  }
  TrackerLink* link() const { return more ? more->link.get() : nullptr; }

  DispatcherEventType type;
  State state = Idle;  // SetState
  std::unique_ptr<Details> more;
};

class EventDispatcher {
 public:
  // The process's dispatcher, created (with its thread) on the first call.
  static EventDispatcher& instance();
  // The dispatcher if it was created, else null.
  static EventDispatcher* existing();
  // True on the dispatcher thread.
  static bool onDispatcherThread();
  // True on the dispatcher thread while it handles a request.
  static bool handlingRequest();

  // Queues `event` at the back. Returns false, dropping it, once the
  // dispatcher is stopping.
  bool post(DispatcherEvent&& event);

  // Blocks until the dispatcher thread has ended (at exit or unload).
  void waitUntilStopped();

  // Dispatcher thread: deletes `tracker` once the current request is done.
  void deleteLater(ActivityTracker* tracker);

  // Stops the thread: the request being handled completes, queued ones are
  // dropped. Called once, at exit or unload.
  void shutDown();

  EventDispatcher();
  EventDispatcher(const EventDispatcher&) = delete;
  EventDispatcher& operator=(const EventDispatcher&) = delete;

 private:
  void run();
  void handle(DispatcherEvent& event);
  void handleSafely(DispatcherEvent& event);
  void deleteDoomed();

  std::vector<DispatcherEvent> queue;  // guarded by mutex
  bool consumerWaiting = false;        // guarded by mutex
  bool stopping = false;               // guarded by mutex
  bool stopped = false;                // guarded by mutex
  std::mutex mutex;
  std::condition_variable condition;         // a request was queued
  std::condition_variable stoppedCondition;  // the thread has ended
  // Set with `stopping`; read by the dispatcher thread between requests.
  std::atomic<bool> stopRequested{false};
  // Trackers to delete after the current request. Dispatcher thread only.
  std::vector<ActivityTracker*> doomed;
  std::unique_ptr<std::thread> thread;
};

// Registry upkeep, on the dispatcher thread. While a report walks a registry
// a removed tracker's entry is set to null and the list is compacted when
// the outermost walk ends, so a listener may destroy trackers mid-walk.
void enlistTracker(std::vector<ActivityTracker*>& registry,
                   ActivityTracker* tracker);
void delistTracker(std::vector<ActivityTracker*>& registry,
                   ActivityTracker* tracker);

class RegistryWalk {
 public:
  RegistryWalk();
  ~RegistryWalk();
  RegistryWalk(const RegistryWalk&) = delete;
  RegistryWalk& operator=(const RegistryWalk&) = delete;
};

// Calls `report` on every tracker registered in `registry`, in order. A
// tracker whose listener throws is logged and the walk goes on.
template <class Tracker, class Report>
void reportToAll(std::vector<ActivityTracker*>& registry, Report report) {
  RegistryWalk walk;
  for (std::size_t i = 0; i < registry.size(); ++i) {
    ActivityTracker* tracker = registry[i];
    if (!tracker) continue;
    try {
      report(*static_cast<Tracker*>(tracker));
    } catch (...) {
      logFailure(std::current_exception());
    }
  }
}

}  // namespace activitytracking::detail
