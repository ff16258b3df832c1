// Floors of the cross-thread cases: plain queues between one producer and
// one consumer thread, built from the standard library and oneTBB with no
// signal machinery around them.
//
// Thread-safety: push() from any one producer thread; the consumer is the
// queue's own thread, started by the constructor and joined by the
// destructor (which first waits until every pushed item was consumed).
#pragma once

#include <oneapi/tbb/concurrent_queue.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvex::bench {

// oneTBB concurrent_bounded_queue of shared pointers, the consumer blocking
// in pop(). An empty pointer stops the consumer.
template <class T>
class TbbQueueFloor {
 public:
  explicit TbbQueueFloor(std::function<void(const T&)> consume)
      : consume_(std::move(consume)), consumer_([this] { run(); }) {}
  ~TbbQueueFloor() {
    queue_.push(nullptr);
    consumer_.join();
  }
  void push(const T& value) { queue_.push(std::make_shared<T>(value)); }

 private:
  void run() {
    std::shared_ptr<T> item;
    for (;;) {
      queue_.pop(item);
      if (!item) return;
      consume_(*item);
    }
  }

  oneapi::tbb::concurrent_bounded_queue<std::shared_ptr<T>> queue_;
  std::function<void(const T&)> consume_;
  std::thread consumer_;
};

// std::mutex + std::deque + std::condition_variable, one notify per push,
// the consumer taking one item per lock.
template <class T>
class MutexDequeFloor {
 public:
  explicit MutexDequeFloor(std::function<void(const T&)> consume)
      : consume_(std::move(consume)), consumer_([this] { run(); }) {}
  ~MutexDequeFloor() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    condition_.notify_one();
    consumer_.join();
  }
  void push(const T& value) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(value);
    }
    condition_.notify_one();
  }

 private:
  void run() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      condition_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and everything consumed
      T item = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      consume_(item);
    }
  }

  std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<T> queue_;    // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
  std::function<void(const T&)> consume_;
  std::thread consumer_;
};

}  // namespace tarvex::bench
