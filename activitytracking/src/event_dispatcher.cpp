#include "event_dispatcher.h"

#include <algorithm>
#include <cassert>
#include <new>
#include <system_error>
#include <utility>

namespace activitytracking::detail {
namespace {

// The dispatcher lives in static storage and is never destroyed: a tracker
// or a timer handler that outlives the library's teardown still finds a
// valid (stopped) dispatcher to talk to.
alignas(
    EventDispatcher) unsigned char dispatcherStorage[sizeof(EventDispatcher)];
constinit std::atomic<EventDispatcher*> dispatcherInstance{nullptr};

thread_local bool isDispatcherThread = false;
thread_local int requestDepth = 0;

// Registry walks in progress and registries left with null entries.
// Dispatcher thread only.
int walkDepth = 0;
std::vector<std::vector<ActivityTracker*>*> registriesToCompact;

// Creates the dispatcher at its first use and stops its thread at exit or
// unload, in reverse order of creation with the timer service.
struct DispatcherLifetime {
  DispatcherLifetime() {
    auto* created = new (dispatcherStorage) EventDispatcher();
    dispatcherInstance.store(created, std::memory_order_release);
  }
  ~DispatcherLifetime() {
    dispatcherInstance.load(std::memory_order_acquire)->shutDown();
  }
};

void assertOnDispatcherThread() {
  assert(isDispatcherThread && "must run on the dispatcher thread");
}

}  // namespace

DispatcherEvent::~DispatcherEvent() {
  if (type == RemoveTracker && link()) link()->markRetireHandled();
}

EventDispatcher& EventDispatcher::instance() {
  if (auto* dispatcher = dispatcherInstance.load(std::memory_order_acquire)) {
    return *dispatcher;
  }
  static DispatcherLifetime lifetime;
  return *dispatcherInstance.load(std::memory_order_acquire);
}

EventDispatcher* EventDispatcher::existing() {
  return dispatcherInstance.load(std::memory_order_acquire);
}

bool EventDispatcher::onDispatcherThread() { return isDispatcherThread; }

bool EventDispatcher::handlingRequest() {
  return isDispatcherThread && requestDepth > 0;
}

EventDispatcher::EventDispatcher() {
  queue.reserve(256);
  thread = std::make_unique<std::thread>([this] { run(); });
}

bool EventDispatcher::post(DispatcherEvent&& event) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return false;  // `event` is released by the caller
    queue.push_back(std::move(event));
    // Only a waiting dispatcher needs a wake-up; one is enough until it
    // waits again.
    wake = consumerWaiting;
    consumerWaiting = false;
  }
  // The dispatcher is never freed, so signalling after unlocking is safe.
  if (wake) condition.notify_one();
  return true;
}

void EventDispatcher::waitUntilStopped() {
  std::unique_lock<std::mutex> lock(mutex);
  stoppedCondition.wait(lock, [this] { return stopped; });
}

void EventDispatcher::deleteLater(ActivityTracker* tracker) {
  assertOnDispatcherThread();
  doomed.push_back(tracker);
}

void EventDispatcher::run() {
  isDispatcherThread = true;
  // Requests are taken from the queue in batches, in order; a batch is
  // handled one request at a time exactly as if each had been taken alone.
  std::vector<DispatcherEvent> batch;
  batch.reserve(256);
  bool stop = false;
  while (!stop) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (queue.empty()) {
        consumerWaiting = true;
        condition.wait(lock);
      }
      consumerWaiting = false;
      batch.swap(queue);
    }
    for (DispatcherEvent& slot : batch) {
      if (stopRequested.load(std::memory_order_acquire)) {
        stop = true;
        break;
      }
      DispatcherEvent event = std::move(slot);
      if (event.type == Stop) {
        stop = true;
        break;
      }
      handleSafely(event);
      // `event` is released here, outside the request: a tracker whose
      // last owner was the request is destroyed now.
    }
    // Requests left in the batch at a stop are dropped unhandled.
    batch.clear();
    deleteDoomed();
  }
  std::lock_guard<std::mutex> lock(mutex);
  stopped = true;
  stoppedCondition.notify_all();
}

void EventDispatcher::handleSafely(DispatcherEvent& event) {
  ++requestDepth;
  try {
    handle(event);
  } catch (...) {
    logFailure(std::current_exception());
  }
  --requestDepth;
  deleteDoomed();
}

void EventDispatcher::deleteDoomed() {
  // Deleting one may release others (a composite's components): those are
  // deleted at once, as no request is running.
  while (!doomed.empty()) {
    ActivityTracker* tracker = doomed.back();
    doomed.pop_back();
    delete tracker;
  }
}

void EventDispatcher::handle(DispatcherEvent& event) {
  switch (event.type) {
    case UIEvent:
      UIActivityTracker::recordUIEvent();
      break;
    case ExecutionStart:
      ExecutionActivityTracker::recordExecutionStart();
      break;
    case ExecutionStop:
      ExecutionActivityTracker::recordExecutionStop();
      break;
    case SimulationStart:
      SimulationActivityTracker::recordSimulationStart();
      break;
    case SimulationStop:
      SimulationActivityTracker::recordSimulationStop();
      break;
    case ModelCompilationStart:
      ModelCompilationActivityTracker::recordModelCompilationStart();
      break;
    case ModelCompilationStop:
      ModelCompilationActivityTracker::recordModelCompilationStop();
      break;
    case SetState:
      if (event.link()) {
        TrackerAccess::applyExpiry(*event.link(), event.state,
                                   event.generation());
      }
      break;
    case SetIdleTimeout:
      if (auto* timed =
              dynamic_cast<EventActivityTracker*>(event.trackerRef())) {
        timed->setIdleTimeout(event.timeout());
      }
      break;
    case SetBusyTimeout:
      if (auto* interval =
              dynamic_cast<IntervalActivityTracker*>(event.trackerRef())) {
        interval->setBusyTimeout(event.timeout());
      }
      break;
    case AddTracker:
      if (event.link()) TrackerAccess::enlistNow(*event.link());
      break;
    case RemoveTracker:
      if (event.link()) TrackerAccess::retireNow(*event.link());
      break;
    case Stop:
    default:
      break;
  }
}

void EventDispatcher::shutDown() {
  std::vector<DispatcherEvent> dropped;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return;
    stopping = true;
    stopRequested.store(true, std::memory_order_release);
    dropped.swap(queue);
    queue.emplace_back(Stop);
    wake = consumerWaiting;
    consumerWaiting = false;
  }
  if (wake) condition.notify_one();
  if (onDispatcherThread()) {
    // Exit was called from a listener: this thread cannot wait for itself.
    // It is the dispatcher thread, so nothing else acts on trackers now.
    thread->detach();
  } else if (thread->joinable()) {
    try {
      thread->join();
    } catch (const std::system_error&) {
      // Nothing more can be done at exit.
    }
  }
  // Released only now, once no request can be running: dropping a record
  // may destroy the tracker it kept alive.
  dropped.clear();
}

void enlistTracker(std::vector<ActivityTracker*>& registry,
                   ActivityTracker* tracker) {
  assertOnDispatcherThread();
  registry.push_back(tracker);
}

void delistTracker(std::vector<ActivityTracker*>& registry,
                   ActivityTracker* tracker) {
  assertOnDispatcherThread();
  const auto entry = std::find(registry.begin(), registry.end(), tracker);
  if (entry == registry.end()) return;
  if (walkDepth == 0) {
    registry.erase(entry);
    return;
  }
  *entry = nullptr;
  if (std::find(registriesToCompact.begin(), registriesToCompact.end(),
                &registry) == registriesToCompact.end()) {
    registriesToCompact.push_back(&registry);
  }
}

RegistryWalk::RegistryWalk() {
  assertOnDispatcherThread();
  ++walkDepth;
}

RegistryWalk::~RegistryWalk() {
  if (--walkDepth > 0) return;
  for (auto* registry : registriesToCompact) {
    std::erase(*registry, nullptr);
  }
  registriesToCompact.clear();
}

}  // namespace activitytracking::detail
