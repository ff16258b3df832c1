#include "vesk/payload.h"

#include <stdexcept>

#include "instrumentation.h"

namespace VESK {

Payload::~Payload() { delete gate_; }

void Payload::setSynchronous(int n) {
  TOLB::Gate* previous = gate_;
  gate_ = new TOLB::Gate(0);
  delete previous;
  pendingDeliveries_ = n;
}

void Payload::deliver(Connection* connection) {
  VESK_INSTRUMENTATION_SCOPE("Payload::deliver");
  if (connection) {
    // The one place where libvesk discards what a slot throws: a listener's
    // failure must not stop the other deliveries of the emission, nor leave
    // a blocking sender waiting.
    try {
      performDeliver(connection);
    } catch (...) {
    }
  }
  if (gate_ && --pendingDeliveries_ == 0) gate_->open();
}

void Payload::wait() {
  VESK_INSTRUMENTATION_SCOPE("Payload::wait()");
  requireGate().wait();
}

bool Payload::wait(unsigned long milliseconds) {
  VESK_INSTRUMENTATION_SCOPE("Payload::wait(ms)");
  return requireGate().wait(milliseconds);
}

TOLB::Gate& Payload::requireGate() const {
  if (!gate_) {
    throw std::logic_error("VESK::Payload::wait: payload is not synchronous");
  }
  return *gate_;
}

}  // namespace VESK
