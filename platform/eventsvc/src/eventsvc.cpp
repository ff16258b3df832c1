#include "eventsvc/eventsvc.h"

#include <atomic>
#include <boost/make_shared.hpp>

namespace ostra::msg_svc::eventmgr {
namespace {

class LocalEventMgr final : public EventMgr {
 public:
  bool isEngineHosted() const override { return true; }
};

std::atomic<bool> engineMode{false};

}  // namespace

EventMgr::~EventMgr() = default;

boost::shared_ptr<EventMgr> createLocalEventMgr(EmID) {
  if (!engineMode.load()) return {};
  return boost::make_shared<LocalEventMgr>();
}

namespace testing {
void setEngineMode(bool on) { engineMode.store(on); }
}  // namespace testing

}  // namespace ostra::msg_svc::eventmgr
