// Stand-in of the maker's performance instrumentation library: named scoped
// events that code reports to whatever listeners the process has installed.
//
// Controls::getHandle(name) gives the handle of an event name (the same
// handle every time for one name; handles live until the process ends).
// Reporting code checks `listeners.active()` first, so with no listener
// installed (the default) a scope costs one atomic load. Every event is
// enabled unless a test disables it.
//
// Thread-safety: every operation may be called from any thread. The
// listener is called on the reporting thread, under the stand-in's listener
// mutex (the recording listener below only appends to a list).
//
// Stand-in only: instrument::testing::RecordingListener installs a listener
// that records every start and stop, so tests can see which scopes ran.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#define PERFINSTRUMENT_EXPORT __attribute__((visibility("default")))

namespace instrument {

struct EventRecord;  // one per event name; never freed

// Handle of one event name. Cheap to copy; valid for the process's life.
class PERFINSTRUMENT_EXPORT EventHandle {
 public:
  explicit EventHandle(EventRecord* record) noexcept : record_(record) {}
  bool isEnabled() const noexcept;
  std::string_view name() const noexcept;
  // Stand-in only: switch the event off or on for every holder of a handle.
  void setEnabled(bool enabled) noexcept;

 private:
  EventRecord* record_;
};

// Identifies one started event so that its stop can be matched to it.
struct EventId {
  std::uint64_t value = 0;
};

// A key/value entry attached to an event; reporting code passes none.
struct ContextEntry {
  std::string_view key;
  std::string_view value;
};
using Context = std::span<const ContextEntry>;
using EventValue = std::optional<double>;

class PERFINSTRUMENT_EXPORT Controls {
 public:
  // The handle of `name`, registered on first request.
  EventHandle getHandle(std::string_view name);
};
PERFINSTRUMENT_EXPORT extern Controls controls;

// Receives events; installed by testing::RecordingListener.
class PERFINSTRUMENT_EXPORT ListenerSink {
 public:
  virtual ~ListenerSink() = default;
  virtual void started(const EventHandle& handle, EventId id) = 0;
  virtual void stopped(const EventHandle& handle, EventId id) = 0;
};

class PERFINSTRUMENT_EXPORT Listeners {
 public:
  // True while at least one listener is installed.
  bool active() const noexcept {
    return installed_.load(std::memory_order_acquire);
  }
  EventId onEventStart(const EventHandle& handle, Context context,
                       EventValue value);
  void onEventStop(const EventHandle& handle, Context context, EventId id,
                   EventValue value);

  // Stand-in only (used by testing::RecordingListener).
  void install(ListenerSink* sink);
  void uninstall(ListenerSink* sink);

 private:
  std::atomic<bool> installed_{false};
};
PERFINSTRUMENT_EXPORT extern Listeners listeners;

class PERFINSTRUMENT_EXPORT ScopedEventInstrument {
 public:
  // Called by a scope's end when reporting the stop threw; swallows the
  // exception that is currently being handled.
  static void handleDestructorsException() noexcept;
  // Stand-in only: how many exceptions were handed over so far.
  static int handledExceptions() noexcept;
};

namespace testing {

struct RecordedEvent {
  std::string name;
  bool isStart = false;
  EventId id;
  std::thread::id thread;
};

// Installs itself on construction and uninstalls on destruction. Only one
// may exist at a time.
class PERFINSTRUMENT_EXPORT RecordingListener : public ListenerSink {
 public:
  RecordingListener();
  ~RecordingListener() override;
  RecordingListener(const RecordingListener&) = delete;
  RecordingListener& operator=(const RecordingListener&) = delete;

  void started(const EventHandle& handle, EventId id) override;
  void stopped(const EventHandle& handle, EventId id) override;

  std::vector<RecordedEvent> events() const;
  // How many starts (or stops) of `name` were recorded.
  int startCount(std::string_view name) const;
  int stopCount(std::string_view name) const;
  // When set, every stop report throws std::runtime_error after recording.
  void setThrowOnStop(bool throwOnStop);

 private:
  struct State;
  State* state_;  // owned
};

}  // namespace testing
}  // namespace instrument
