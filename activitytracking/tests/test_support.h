// Helpers shared by the libactivitytrack tests: a recording listener that
// can be waited on with a deadline, a way to wait until the dispatcher has
// handled everything queued so far, and a log capture.
#pragma once

#include <gtest/gtest.h>

#include <activitytracking/activitytracking.h>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "diaglog/diaglog.h"

namespace activitytracking::testing {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Deadline for things that should happen "soon" on a loaded machine.
inline constexpr Seconds kPatience{10.0};

// One listener call as the listener saw it.
struct Change {
  State now;
  State before;
  std::thread::id thread;
  Clock::time_point at;
};

// Records every change of one tracker while it lives.
class Recording {
 public:
  explicit Recording(std::shared_ptr<ActivityTracker> tracker)
      : tracker_(std::move(tracker)) {
    id_ = tracker_->addListener([this](State now, State before) {
      std::lock_guard<std::mutex> lock(mutex_);
      changes_.push_back(
          Change{now, before, std::this_thread::get_id(), Clock::now()});
      arrived_.notify_all();
    });
  }
  ~Recording() { tracker_->removeListener(id_); }
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Waits until at least `count` changes have arrived; false at the
  // deadline.
  bool waitForCount(std::size_t count, Seconds timeout = kPatience) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout,
                             [&] { return changes_.size() >= count; });
  }

  // Waits for the first change into `state` at or after position `from`.
  std::optional<Change> waitForState(State state, std::size_t from = 0,
                                     Seconds timeout = kPatience) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<Change> found;
    arrived_.wait_for(lock, timeout, [&] {
      for (std::size_t i = from; i < changes_.size(); ++i) {
        if (changes_[i].now == state) {
          found = changes_[i];
          return true;
        }
      }
      return false;
    });
    return found;
  }

  std::vector<Change> changes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
  }

  // The (new, previous) pairs in order.
  std::vector<std::pair<State, State>> transitions() const {
    std::vector<std::pair<State, State>> pairs;
    for (const Change& change : changes()) {
      pairs.emplace_back(change.now, change.before);
    }
    return pairs;
  }

  std::size_t count() const { return changes().size(); }

 private:
  std::shared_ptr<ActivityTracker> tracker_;
  int id_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Change> changes_;
};

// Returns once the dispatcher has handled every request queued before the
// call: a time-out change on a probe tracker (in no registry) travels
// through the same queue.
inline void flushDispatcher() {
  static const auto probe = std::make_shared<EventActivityTracker>(UI, 1);
  static unsigned int marker = 1;
  const unsigned int wanted = ++marker;
  setIdleTimeout(probe, wanted);
  const auto deadline = Clock::now() + kPatience;
  while (getIdleTimeout(probe) != wanted) {
    ASSERT_LT(Clock::now(), deadline) << "dispatcher did not catch up";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Seconds from `from` to `to`.
inline double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<Seconds>(to - from).count();
}

// Captures the records of the channel "activitytracking" while it lives.
class LogCapture {
 public:
  LogCapture() {
    id_ = ostra::log::local::admin::get()->addObserver(
        [this](const ostra::log::local::CapturedRecord& record) {
          if (record.channel != "activitytracking") return;
          std::lock_guard<std::mutex> lock(mutex_);
          records_.push_back(record);
        });
  }
  ~LogCapture() { ostra::log::local::admin::get()->removeObserver(id_); }

  std::vector<ostra::log::local::CapturedRecord> records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

  // Waits until a record of `severity` containing `text` arrived.
  bool waitFor(unsigned int severity, const std::string& text,
               Seconds timeout = kPatience) {
    const auto deadline = Clock::now() + timeout;
    do {
      for (const auto& record : records()) {
        if (record.severity == severity &&
            record.text.find(text) != std::string::npos) {
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < deadline);
    return false;
  }

 private:
  int id_ = 0;
  mutable std::mutex mutex_;
  std::vector<ostra::log::local::CapturedRecord> records_;
};

}  // namespace activitytracking::testing
