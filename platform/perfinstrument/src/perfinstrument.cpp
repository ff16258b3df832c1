#include "perfinstrument/perfinstrument.h"

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace instrument {

struct EventRecord {
  std::string name;
  std::atomic<bool> enabled{true};
};

namespace {

std::mutex& registryMutex() {
  static auto* mutex = new std::mutex;  // never destroyed: handles outlive it
  return *mutex;
}

// Event records by name; guarded by registryMutex(). Never freed.
std::map<std::string, EventRecord*, std::less<>>& registry() {
  static auto* records = new std::map<std::string, EventRecord*, std::less<>>;
  return *records;
}

std::mutex sinkMutex;
ListenerSink* installedSink = nullptr;  // guarded by sinkMutex
std::atomic<std::uint64_t> nextEventId{1};
std::atomic<int> handledExceptionCount{0};

}  // namespace

Controls controls;
Listeners listeners;

bool EventHandle::isEnabled() const noexcept {
  return record_->enabled.load(std::memory_order_relaxed);
}

std::string_view EventHandle::name() const noexcept { return record_->name; }

void EventHandle::setEnabled(bool enabled) noexcept {
  record_->enabled.store(enabled);
}

EventHandle Controls::getHandle(std::string_view name) {
  std::lock_guard<std::mutex> lock(registryMutex());
  auto& records = registry();
  auto found = records.find(name);
  if (found == records.end()) {
    auto record = std::make_unique<EventRecord>();
    record->name = std::string(name);
    found = records.emplace(record->name, record.get()).first;
    record.release();
  }
  return EventHandle(found->second);
}

EventId Listeners::onEventStart(const EventHandle& handle, Context,
                                EventValue) {
  EventId id{nextEventId.fetch_add(1)};
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (installedSink) installedSink->started(handle, id);
  return id;
}

void Listeners::onEventStop(const EventHandle& handle, Context, EventId id,
                            EventValue) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (installedSink) installedSink->stopped(handle, id);
}

void Listeners::install(ListenerSink* sink) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (installedSink) throw std::logic_error("a listener is already installed");
  installedSink = sink;
  installed_.store(true, std::memory_order_release);
}

void Listeners::uninstall(ListenerSink* sink) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (installedSink != sink) return;
  installedSink = nullptr;
  installed_.store(false, std::memory_order_release);
}

void ScopedEventInstrument::handleDestructorsException() noexcept {
  handledExceptionCount.fetch_add(1);
}

int ScopedEventInstrument::handledExceptions() noexcept {
  return handledExceptionCount.load();
}

namespace testing {

// Guarded by sinkMutex: the sink is only called with it held, and the
// accessors below take it too.
struct RecordingListener::State {
  std::vector<RecordedEvent> events;
  bool throwOnStop = false;
};

RecordingListener::RecordingListener() : state_(new State) {
  listeners.install(this);
}

RecordingListener::~RecordingListener() {
  listeners.uninstall(this);
  delete state_;
}

void RecordingListener::started(const EventHandle& handle, EventId id) {
  state_->events.push_back(RecordedEvent{std::string(handle.name()), true, id,
                                         std::this_thread::get_id()});
}

void RecordingListener::stopped(const EventHandle& handle, EventId id) {
  state_->events.push_back(RecordedEvent{std::string(handle.name()), false, id,
                                         std::this_thread::get_id()});
  if (state_->throwOnStop) throw std::runtime_error("stop report failed");
}

std::vector<RecordedEvent> RecordingListener::events() const {
  std::lock_guard<std::mutex> lock(sinkMutex);
  return state_->events;
}

int RecordingListener::startCount(std::string_view name) const {
  std::lock_guard<std::mutex> lock(sinkMutex);
  int count = 0;
  for (const auto& event : state_->events) {
    count += event.isStart && event.name == name;
  }
  return count;
}

int RecordingListener::stopCount(std::string_view name) const {
  std::lock_guard<std::mutex> lock(sinkMutex);
  int count = 0;
  for (const auto& event : state_->events) {
    count += !event.isStart && event.name == name;
  }
  return count;
}

void RecordingListener::setThrowOnStop(bool throwOnStop) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  state_->throwOnStop = throwOnStop;
}

}  // namespace testing
}  // namespace instrument
