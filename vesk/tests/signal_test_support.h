// Helpers for the signal tests: listeners that record what their slots
// received, values that count their live copies, and thread records that
// nobody processes until a test does.
#pragma once

#include <vesk/vesk.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace vesk_test {

// A listener that keeps what its slots received and on which threads.
class RecordingListener : public VESK::Listener {
 public:
  void record(int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.push_back(value);
    threads_.push_back(std::this_thread::get_id());
  }
  std::vector<int> values() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
  }
  std::vector<std::thread::id> threads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }
  int calls() const { return static_cast<int>(values().size()); }

 private:
  mutable std::mutex mutex_;
  std::vector<int> values_;
  std::vector<std::thread::id> threads_;
};

// Counts its live instances, so tests can see that every copy held by a
// payload or a connection's slot has been freed.
class Tracked {
 public:
  explicit Tracked(std::atomic<int>& live) : live_(&live) { ++*live_; }
  Tracked(const Tracked& other) : live_(other.live_) { ++*live_; }
  Tracked& operator=(const Tracked&) = default;
  ~Tracked() { --*live_; }

 private:
  std::atomic<int>* live_;
};

// The record of a thread that has ended: packets posted to it stay queued
// until a test processes them through the handle.
inline VESK::Thread parkedThread() {
  VESK::Thread record;
  std::thread([&record] { record = VESK::Thread::getCurrentThread(); }).join();
  return record;
}

}  // namespace vesk_test
