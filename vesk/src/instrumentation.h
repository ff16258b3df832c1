// Scoped events reported to the performance instrumentation library.
//
// Each event name gets its handle once, on first use, and keeps it for the
// life of the process. With no instrumentation listener active a scope costs
// one check at each end. A failure to report a stop is handed to the
// library's destructor-exception handler and goes no further.
#pragma once

#include <perfinstrument/perfinstrument.h>

#include <string_view>

namespace VESK {

class InstrumentationScope {
 public:
  explicit InstrumentationScope(const instrument::EventHandle& handle)
      : handle_(handle) {
    if (reporting()) {
      id_ = instrument::listeners.onEventStart(handle_, {}, std::nullopt);
    }
  }
  ~InstrumentationScope() {
    if (!reporting()) return;
    try {
      instrument::listeners.onEventStop(handle_, {}, id_, std::nullopt);
    } catch (...) {
      instrument::ScopedEventInstrument::handleDestructorsException();
    }
  }
  InstrumentationScope(const InstrumentationScope&) = delete;
  InstrumentationScope& operator=(const InstrumentationScope&) = delete;

 private:
  bool reporting() const noexcept {
    return instrument::listeners.active() && handle_.isEnabled();
  }

  const instrument::EventHandle& handle_;
  instrument::EventId id_;
};

// The handle of `name`, asked for once per call site.
#define VESK_INSTRUMENTATION_SCOPE(name)                             \
  static const instrument::EventHandle vesk_instrumentation_handle = \
      instrument::controls.getHandle(std::string_view(name));        \
  ::VESK::InstrumentationScope vesk_instrumentation_scope(           \
      vesk_instrumentation_handle)

}  // namespace VESK
