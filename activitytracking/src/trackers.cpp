#include "activitytracking/trackers.h"

#include <stdexcept>
#include <utility>

#include "event_dispatcher.h"
#include "tracker_link.h"

namespace activitytracking {

using detail::DispatcherEvent;
using detail::EventDispatcher;

// --- concrete trackers -----------------------------------------------------

UIActivityTracker::UIActivityTracker(unsigned int idleSeconds)
    : EventActivityTracker(UI, idleSeconds) {
  enlist(&trackers);
}

UIActivityTracker::~UIActivityTracker() { retire(); }

void UIActivityTracker::recordUIEvent() {
  detail::reportToAll<UIActivityTracker>(
      trackers, [](UIActivityTracker& tracker) { tracker.recordEvent(); });
}

ExecutionActivityTracker::ExecutionActivityTracker(unsigned int idleSeconds,
                                                   unsigned int busySeconds)
    : IntervalActivityTracker(Execution, idleSeconds, busySeconds) {
  enlist(&trackers);
}

ExecutionActivityTracker::~ExecutionActivityTracker() { retire(); }

void ExecutionActivityTracker::recordExecutionStart() {
  detail::reportToAll<ExecutionActivityTracker>(
      trackers, [](auto& tracker) { tracker.recordIntervalStart(); });
}

void ExecutionActivityTracker::recordExecutionStop() {
  detail::reportToAll<ExecutionActivityTracker>(
      trackers, [](auto& tracker) { tracker.recordIntervalEnd(); });
}

SimulationActivityTracker::SimulationActivityTracker(unsigned int idleSeconds,
                                                     unsigned int busySeconds)
    : IntervalActivityTracker(Simulation, idleSeconds, busySeconds) {
  enlist(&trackers);
}

SimulationActivityTracker::~SimulationActivityTracker() { retire(); }

void SimulationActivityTracker::recordSimulationStart() {
  detail::reportToAll<SimulationActivityTracker>(
      trackers, [](auto& tracker) { tracker.recordIntervalStart(); });
}

void SimulationActivityTracker::recordSimulationStop() {
  detail::reportToAll<SimulationActivityTracker>(
      trackers, [](auto& tracker) { tracker.recordIntervalEnd(); });
}

ModelCompilationActivityTracker::ModelCompilationActivityTracker(
    unsigned int idleSeconds, unsigned int busySeconds)
    : IntervalActivityTracker(ModelCompilation, idleSeconds, busySeconds) {
  enlist(&trackers);
}

ModelCompilationActivityTracker::~ModelCompilationActivityTracker() {
  retire();
}

void ModelCompilationActivityTracker::recordModelCompilationStart() {
  detail::reportToAll<ModelCompilationActivityTracker>(
      trackers, [](auto& tracker) { tracker.recordIntervalStart(); });
}

void ModelCompilationActivityTracker::recordModelCompilationStop() {
  detail::reportToAll<ModelCompilationActivityTracker>(
      trackers, [](auto& tracker) { tracker.recordIntervalEnd(); });
}

// --- composite ---------------------------------------------------------------

CompositeActivityTracker::CompositeActivityTracker(
    std::vector<std::shared_ptr<ActivityTracker>> parts)
    : ActivityTracker(Composite), components(std::move(parts)) {
  subscriptions.reserve(components.size());
  try {
    for (const auto& component : components) {
      if (!component) {
        throw std::invalid_argument(
            "composite activity tracker given an empty component");
      }
      const int id =
          component->addListener([this](State newState, State oldState) {
            handleComponentStateChange(newState, oldState);
          });
      subscriptions.push_back(Subscription{component, id});
    }
  } catch (...) {
    unsubscribe();
    throw;
  }
}

CompositeActivityTracker::~CompositeActivityTracker() { unsubscribe(); }

void CompositeActivityTracker::unsubscribe() {
  for (const Subscription& subscription : subscriptions) {
    subscription.component->removeListener(subscription.listenerId);
  }
  subscriptions.clear();
}

void CompositeActivityTracker::handleComponentStateChange(State newState,
                                                          State /*old*/) {
  switch (newState) {
    case Idle:
      for (const auto& component : components) {
        if (component->state != Idle) return;
      }
      setState(Idle);
      break;
    case Active:
      setState(Active);
      break;
    default:
      break;  // Busy components keep an Active composite Active.
  }
}

// --- factories ---------------------------------------------------------------

namespace detail {

void TrackerAccess::detachNow(ActivityTracker& tracker) {
  if (auto* timed = dynamic_cast<EventActivityTracker*>(&tracker)) {
    timed->retire();
  } else if (auto* composite =
                 dynamic_cast<CompositeActivityTracker*>(&tracker)) {
    composite->unsubscribe();
  }
}

namespace {

// Deletes a factory-made tracker when its last owner lets go. If that
// happens inside a request on the dispatcher thread (a listener dropping a
// tracker, perhaps the very one calling it), the tracker is cut off at once
// and freed once the request is done, when nothing of it is on the stack.
struct TrackerDeleter {
  void operator()(ActivityTracker* tracker) const noexcept {
    if (EventDispatcher::handlingRequest()) {
      TrackerAccess::detachNow(*tracker);
      EventDispatcher::existing()->deleteLater(tracker);
      return;
    }
    delete tracker;
  }
};

template <class Tracker, class... Arguments>
std::shared_ptr<Tracker> makeShared(Arguments&&... arguments) {
  // If the owner cannot be created the deleter frees the tracker.
  return std::shared_ptr<Tracker>(
      new Tracker(std::forward<Arguments>(arguments)...), TrackerDeleter{});
}

void postReport(DispatcherEventType type) {
  EventDispatcher::instance().post(DispatcherEvent(type));
}

void postTimeout(DispatcherEventType type,
                 std::shared_ptr<ActivityTracker> tracker,
                 unsigned int seconds) {
  DispatcherEvent request(type);
  request.details().trackerRef = std::move(tracker);
  request.details().timeout = seconds;
  EventDispatcher::instance().post(std::move(request));
}

}  // namespace
}  // namespace detail

std::shared_ptr<UIActivityTracker> createUIActivityTracker(
    unsigned int idleTimeout) {
  return detail::makeShared<UIActivityTracker>(idleTimeout);
}

std::shared_ptr<ExecutionActivityTracker> createExecutionActivityTracker(
    unsigned int idleTimeout, unsigned int busyTimeout) {
  return detail::makeShared<ExecutionActivityTracker>(idleTimeout, busyTimeout);
}

std::shared_ptr<SimulationActivityTracker> createSimulationActivityTracker(
    unsigned int idleTimeout, unsigned int busyTimeout) {
  return detail::makeShared<SimulationActivityTracker>(idleTimeout,
                                                       busyTimeout);
}

std::shared_ptr<ModelCompilationActivityTracker>
createModelCompilationActivityTracker(unsigned int idleTimeout,
                                      unsigned int busyTimeout) {
  return detail::makeShared<ModelCompilationActivityTracker>(idleTimeout,
                                                             busyTimeout);
}

std::shared_ptr<CompositeActivityTracker> createCompositeActivityTracker(
    std::vector<std::shared_ptr<ActivityTracker>> components) {
  return detail::makeShared<CompositeActivityTracker>(std::move(components));
}

// --- process-wide reports and time-outs -------------------------------------

void recordUIEvent() { detail::postReport(detail::UIEvent); }
void recordExecutionStart() { detail::postReport(detail::ExecutionStart); }
void recordExecutionStop() { detail::postReport(detail::ExecutionStop); }
void recordSimulationStart() { detail::postReport(detail::SimulationStart); }
void recordSimulationStop() { detail::postReport(detail::SimulationStop); }
void recordModelCompilationStart() {
  detail::postReport(detail::ModelCompilationStart);
}
void recordModelCompilationStop() {
  detail::postReport(detail::ModelCompilationStop);
}

void setIdleTimeout(std::shared_ptr<ActivityTracker> tracker,
                    unsigned int seconds) {
  detail::postTimeout(detail::SetIdleTimeout, std::move(tracker), seconds);
}

void setBusyTimeout(std::shared_ptr<ActivityTracker> tracker,
                    unsigned int seconds) {
  detail::postTimeout(detail::SetBusyTimeout, std::move(tracker), seconds);
}

unsigned int getIdleTimeout(std::shared_ptr<ActivityTracker> tracker) {
  const auto* timed = dynamic_cast<const EventActivityTracker*>(tracker.get());
  return timed ? detail::TrackerAccess::idleTimeoutOf(*timed) : 0;
}

unsigned int getBusyTimeout(std::shared_ptr<ActivityTracker> tracker) {
  const auto* interval =
      dynamic_cast<const IntervalActivityTracker*>(tracker.get());
  return interval ? detail::TrackerAccess::busyTimeoutOf(*interval) : 0;
}

}  // namespace activitytracking
