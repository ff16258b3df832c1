// The concrete trackers (one per kind of activity), the composite tracker
// and the process-wide functions of libactivitytrack.
//
// A process-wide report such as recordExecutionStart() may be made from any
// thread: it only queues a request. The library's dispatcher thread then
// hands it to every live tracker of the matching class, in the order the
// trackers were registered, and calls listeners there. A tracker is
// registered asynchronously: a report queued after its constructor returned
// reaches it, one queued before does not.
//
// Ownership: trackers are held as std::shared_ptr; the create...()
// factories make them so that a listener may even drop the last reference
// to the tracker that is calling it (the tracker then stops receiving
// reports at once and is freed when the current request is done). A
// composite shares ownership of its components.
#pragma once

#include <memory>
#include <vector>

#include "activitytracking/activity_tracker.h"
#include "activitytracking/export.h"
#include "activitytracking/timed_trackers.h"

namespace activitytracking {

// User-interface events. Registered in `trackers` while it lives.
class ACTIVITYTRACK_EXPORT UIActivityTracker : public EventActivityTracker {
 public:
  explicit UIActivityTracker(unsigned int idleTimeout);
  ~UIActivityTracker() override;

  // recordEvent() on every registered UI tracker. Dispatcher thread only.
  static void recordUIEvent();

  // The live UI trackers, in registration order. Changed and read on the
  // dispatcher thread only (an entry may read as null while a report walks
  // the list).
  static std::vector<ActivityTracker*> trackers;
};

// Code execution.
class ACTIVITYTRACK_EXPORT ExecutionActivityTracker
    : public IntervalActivityTracker {
 public:
  ExecutionActivityTracker(unsigned int idleTimeout, unsigned int busyTimeout);
  ~ExecutionActivityTracker() override;

  // recordIntervalStart()/recordIntervalEnd() on every registered execution
  // tracker. Dispatcher thread only.
  static void recordExecutionStart();
  static void recordExecutionStop();

  static std::vector<ActivityTracker*> trackers;
};

// Simulation runs.
class ACTIVITYTRACK_EXPORT SimulationActivityTracker
    : public IntervalActivityTracker {
 public:
  SimulationActivityTracker(unsigned int idleTimeout, unsigned int busyTimeout);
  ~SimulationActivityTracker() override;

  static void recordSimulationStart();
  static void recordSimulationStop();

  static std::vector<ActivityTracker*> trackers;
};

// Model compilations.
class ACTIVITYTRACK_EXPORT ModelCompilationActivityTracker
    : public IntervalActivityTracker {
 public:
  ModelCompilationActivityTracker(unsigned int idleTimeout,
                                  unsigned int busyTimeout);
  ~ModelCompilationActivityTracker() override;

  static void recordModelCompilationStart();
  static void recordModelCompilationStop();

  static std::vector<ActivityTracker*> trackers;
};

// The overall state of several trackers: Active as soon as any component
// becomes Active, Idle once every component is Idle; never Busy. It starts
// Idle whatever its components' states are and follows their next changes.
// It reacts inside its components' notifications (on the dispatcher thread),
// with the component's listener lock held and then its own.
class ACTIVITYTRACK_EXPORT CompositeActivityTracker : public ActivityTracker {
 public:
  // Listens to every component. Throws std::invalid_argument (having
  // removed the listeners it registered) when a component is empty.
  explicit CompositeActivityTracker(
      std::vector<std::shared_ptr<ActivityTracker>> components);
  // Stops listening to the components, then releases them.
  ~CompositeActivityTracker() override;

  // The reaction to a component's change; called by the composite's own
  // listeners on its components.
  void handleComponentStateChange(State newState, State oldState);

 private:
  friend struct detail::TrackerAccess;

  // One listener registered on one component.
  struct Subscription {
    std::shared_ptr<ActivityTracker> component;
    int listenerId = 0;
  };

  void unsubscribe();

  // The components, in the order given; shared ownership keeps them alive.
  std::vector<std::shared_ptr<ActivityTracker>> components;
  // One per component still listened to, same order. Changed by the
  // constructor and by unsubscribe() only.
  std::vector<Subscription> subscriptions;
};

// Process-wide reports: queue a request and return; any thread.
ACTIVITYTRACK_EXPORT void recordUIEvent();
ACTIVITYTRACK_EXPORT void recordExecutionStart();
ACTIVITYTRACK_EXPORT void recordExecutionStop();
ACTIVITYTRACK_EXPORT void recordSimulationStart();
ACTIVITYTRACK_EXPORT void recordSimulationStop();
ACTIVITYTRACK_EXPORT void recordModelCompilationStart();
ACTIVITYTRACK_EXPORT void recordModelCompilationStop();

// Queue a time-out change, applied later on the dispatcher thread. Ignored
// there for an empty pointer, a composite, and (busy) a UI tracker.
ACTIVITYTRACK_EXPORT void setIdleTimeout(
    std::shared_ptr<ActivityTracker> tracker, unsigned int seconds);
ACTIVITYTRACK_EXPORT void setBusyTimeout(
    std::shared_ptr<ActivityTracker> tracker, unsigned int seconds);

// The tracker's time-out as last applied by the dispatcher; 0 for an empty
// pointer or a tracker without that time-out (0 also means disabled).
ACTIVITYTRACK_EXPORT unsigned int getIdleTimeout(
    std::shared_ptr<ActivityTracker> tracker);
ACTIVITYTRACK_EXPORT unsigned int getBusyTimeout(
    std::shared_ptr<ActivityTracker> tracker);

// Factories; any thread.
ACTIVITYTRACK_EXPORT std::shared_ptr<UIActivityTracker> createUIActivityTracker(
    unsigned int idleTimeout);
ACTIVITYTRACK_EXPORT std::shared_ptr<ExecutionActivityTracker>
createExecutionActivityTracker(unsigned int idleTimeout,
                               unsigned int busyTimeout);
ACTIVITYTRACK_EXPORT std::shared_ptr<SimulationActivityTracker>
createSimulationActivityTracker(unsigned int idleTimeout,
                                unsigned int busyTimeout);
ACTIVITYTRACK_EXPORT std::shared_ptr<ModelCompilationActivityTracker>
createModelCompilationActivityTracker(unsigned int idleTimeout,
                                      unsigned int busyTimeout);
ACTIVITYTRACK_EXPORT std::shared_ptr<CompositeActivityTracker>
createCompositeActivityTracker(
    std::vector<std::shared_ptr<ActivityTracker>> components);

}  // namespace activitytracking
