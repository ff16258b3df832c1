#include "tolb/gate.h"

#include <algorithm>
#include <chrono>

namespace TOLB {

Gate::Gate(int initialPermits) : permits_(initialPermits) {}

Gate::~Gate() = default;

bool Gate::tryPassAtEntry() {
  if (permits_ == 0) return false;
  if (permits_ > 0) --permits_;
  return true;
}

void Gate::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (tryPassAtEntry()) return;
  ++waiters_;
  condition_.wait(lock, [this] { return wakeGrants_ > 0; });
  --wakeGrants_;
  --waiters_;
}

bool Gate::wait(unsigned long milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(milliseconds);
  std::unique_lock<std::mutex> lock(mutex_);
  if (tryPassAtEntry()) return false;
  ++waiters_;
  // A waiter that finds a grant passes even at its deadline: it was let
  // through, and leaving the grant behind would let a later waiter pass.
  const bool granted =
      condition_.wait_until(lock, deadline, [this] { return wakeGrants_ > 0; });
  if (granted) --wakeGrants_;
  --waiters_;
  return !granted;
}

int Gate::grantWakeUps(int count) {
  const int granted = std::clamp(waiters_ - wakeGrants_, 0, std::max(count, 0));
  wakeGrants_ += granted;
  return granted;
}

void Gate::notify(int granted) {
  if (granted == 1) {
    condition_.notify_one();
  } else if (granted > 1) {
    condition_.notify_all();
  }
}

void Gate::open() {
  int granted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    permits_ = -1;
    granted = grantWakeUps(waiters_);
  }
  notify(granted);
}

void Gate::open(int n) {
  int granted = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (n > 0) granted = grantWakeUps(n);
    permits_ = n > 0 ? n - granted : 0;
  }
  notify(granted);
}

void Gate::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  permits_ = 0;
}

void Gate::wakeOne() {
  int granted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    granted = grantWakeUps(1);
  }
  notify(granted);
}

void Gate::wakeAll() {
  int granted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    granted = grantWakeUps(waiters_);
  }
  notify(granted);
}

int Gate::waitingThreads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiters_;
}

}  // namespace TOLB
