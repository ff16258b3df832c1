// Helpers for tests that wait on other threads: every wait has a deadline.
#pragma once

#include <chrono>
#include <thread>

namespace vesk_test {

// Generous for a loaded 2-core machine; only reached when something hangs.
inline constexpr std::chrono::seconds kDeadline{20};

// Polls `condition` until it holds or `timeout` passes; returns whether it
// held.
template <class Condition>
bool waitUntil(Condition condition,
               std::chrono::milliseconds timeout = kDeadline) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace vesk_test
