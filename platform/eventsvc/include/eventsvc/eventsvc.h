// Stand-in of the maker's event-manager service: a process that hosts the
// computing engine has a local event manager whose status query says so.
//
// createLocalEventMgr returns an empty pointer while engine mode is off (the
// default); once a test switches engine mode on through the stand-in-only
// setter, it returns a manager whose isEngineHosted() is true. The status
// query is the third entry of the manager's virtual table (after the two
// destructor entries).
//
// Thread-safety: every function may be called from any thread.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>

#define EVENTSVC_EXPORT __attribute__((visibility("default")))

namespace ostra::msg_svc::eventmgr {

// Identifies which event manager is asked for.
struct EmID {
  explicit EmID(std::uint32_t id) : value(id) {}
  std::uint32_t value;
};

class EVENTSVC_EXPORT EventMgr {
 public:
  virtual ~EventMgr();
  // True when the process hosts the computing engine.
  virtual bool isEngineHosted() const = 0;
};

EVENTSVC_EXPORT boost::shared_ptr<EventMgr> createLocalEventMgr(EmID id);

namespace testing {
// Stand-in only: switch engine mode on or off for the whole process.
EVENTSVC_EXPORT void setEngineMode(bool on);
}  // namespace testing

}  // namespace ostra::msg_svc::eventmgr
