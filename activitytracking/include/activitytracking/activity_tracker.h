// ActivityTracker: the base of every tracker. It holds the current State of
// one kind of activity and tells its listeners about every change of state
// as (new state, previous state). Subclasses decide when the state changes.
//
// Threading:
// - addListener, removeListener and notifyListeners may be called from any
//   thread; listenersMutex serialises them and stays held while listeners
//   run, so a listener is never called after removeListener has returned.
// - setState is for one thread at a time. The library calls it only on its
//   dispatcher thread, so every listener call the library makes happens
//   there, one at a time.
// - A listener may add or remove listeners of the tracker that is calling it
//   (the change takes effect at once; a listener added during a
//   notification is first called for the next change). It must not destroy
//   that tracker unless the tracker came from one of the create...()
//   factories, which make that safe.
// - Lock order: a tracker's listenersMutex is held while its listeners run,
//   so a composite's lock is taken inside its component's (component first,
//   then composite, then an outer composite).
//
// Ownership: the tracker owns copies of its listener functions, not what
// they refer to. Trackers are neither copied nor moved.
#pragma once

#include <atomic>
#include <boost/thread/mutex.hpp>
#include <functional>
#include <map>
#include <thread>

#include "activitytracking/activity.h"
#include "activitytracking/export.h"

namespace activitytracking {

namespace detail {
struct TrackerAccess;
}

class CompositeActivityTracker;

class ACTIVITYTRACK_EXPORT ActivityTracker {
 public:
  // Called as listener(newState, previousState).
  using Listener = std::function<void(State, State)>;

  // State Idle, no listeners, first listener id 1.
  explicit ActivityTracker(Activity activity);
  // Discards the listeners without calling them.
  virtual ~ActivityTracker();

  ActivityTracker(const ActivityTracker&) = delete;
  ActivityTracker& operator=(const ActivityTracker&) = delete;

  // Registers a copy of `listener` and returns its id (1, 2, 3, ... per
  // tracker, never reused). Throws std::invalid_argument for an empty
  // function.
  int addListener(Listener listener);

  // Removes the listener with `id`; nothing happens when there is none.
  void removeListener(int id);

  // Calls every listener with (newState, oldState), in ascending id order.
  // An exception from a listener leaves here; later listeners are not called
  // for this change.
  void notifyListeners(State newState, State oldState);

  // Changes the state: nothing at all when `newState` is the current state;
  // otherwise logs "Setting activity <activity> to <state>" at severity 1 on
  // the channel "activitytracking", stores the new state and notifies.
  void setState(State newState);

 protected:
  // The kind of activity this tracker reports on; never changes.
  const Activity activity;
  // Current state. Written by setState; read by subclasses and composites on
  // the thread that drives the tracker (the dispatcher thread).
  State state = Idle;
  // Listener table, ascending by id. Guarded by listenersMutex.
  std::map<int, Listener> listeners;
  // Guards `listeners` and `nextListenerId`; held while listeners run.
  boost::mutex listenersMutex;
  // Id the next addListener hands out. Guarded by listenersMutex.
  int nextListenerId = 1;

 private:
  friend class CompositeActivityTracker;
  friend struct detail::TrackerAccess;

  // The thread that holds listenersMutex while notifying, so that a listener
  // on that thread may change the table without locking it again. Written
  // only by that thread while it holds the mutex.
  std::atomic<std::thread::id> notifyingThread{};
};

}  // namespace activitytracking
