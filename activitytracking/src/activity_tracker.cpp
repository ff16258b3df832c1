#include "activitytracking/activity_tracker.h"

#include <stdexcept>
#include <utility>

#include "library_log.h"

namespace activitytracking {
namespace {

// Locks a tracker's listenersMutex unless the calling thread already holds
// it further up its stack, as it does while one of the tracker's listeners
// runs.
class ListenerTableLock {
 public:
  ListenerTableLock(boost::mutex& mutex,
                    const std::atomic<std::thread::id>& notifyingThread)
      : lock(mutex, boost::defer_lock) {
    if (notifyingThread.load(std::memory_order_relaxed) !=
        std::this_thread::get_id()) {
      lock.lock();
    }
  }
  bool ownsLock() const { return lock.owns_lock(); }

 private:
  boost::unique_lock<boost::mutex> lock;
};

}  // namespace

ActivityTracker::ActivityTracker(Activity activityKind)
    : activity(activityKind) {}

ActivityTracker::~ActivityTracker() = default;

int ActivityTracker::addListener(Listener listener) {
  if (!listener) {
    throw std::invalid_argument("activity listener is an empty function");
  }
  ListenerTableLock lock(listenersMutex, notifyingThread);
  const int id = nextListenerId;
  listeners.emplace(id, std::move(listener));
  nextListenerId = id + 1;
  return id;
}

void ActivityTracker::removeListener(int id) {
  ListenerTableLock lock(listenersMutex, notifyingThread);
  listeners.erase(id);
}

void ActivityTracker::notifyListeners(State newState, State oldState) {
  ListenerTableLock lock(listenersMutex, notifyingThread);
  // The outermost notification on this thread marks the table as held by
  // it, so that its listeners may change the table; the mark goes before
  // the lock is released, also when a listener throws.
  struct NotifyingMark {
    std::atomic<std::thread::id>* mark = nullptr;
    ~NotifyingMark() {
      if (mark) mark->store(std::thread::id(), std::memory_order_relaxed);
    }
  } notifying;
  if (lock.ownsLock()) {
    notifyingThread.store(std::this_thread::get_id(),
                          std::memory_order_relaxed);
    notifying.mark = &notifyingThread;
  }
  // Listeners added during this walk are called from the next change on.
  const int end = nextListenerId;
  auto entry = listeners.begin();
  while (entry != listeners.end() && entry->first < end) {
    const int id = entry->first;
    {
      Listener call = entry->second;
      call(newState, oldState);
    }
    // The table may have changed while the listener ran.
    entry = listeners.upper_bound(id);
  }
}

void ActivityTracker::setState(State newState) {
  if (newState == state) return;
  // Written (and formatted) only when the channel's mask allows it.
  detail::channelLogger().write(detail::kStateChangeSeverity,
                                "Setting activity ", static_cast<int>(activity),
                                " to ", static_cast<int>(newState));
  const State oldState = state;
  state = newState;
  notifyListeners(newState, oldState);
}

}  // namespace activitytracking
