// EventLoopThread: a ready message thread. It starts a std::thread that
// registers under the given name, with a wake-up callable that wakes its
// loop, and processes its queue whenever woken. Listeners connected with
// thread() as their receiving thread then run their slots there.
//
//   VESK::EventLoopThread worker("worker");
//   VESK::connect(emitter, listener, slot, worker.thread());
//
// Waking costs no system call while the loop is busy: a post only sets a
// flag, and the condition variable is notified only when the loop sleeps.
//
// Thread-safety: thread() may be called from any thread. stop() (also run by
// the destructor) processes what is queued, then joins; call it from one
// thread at a time, not from the loop's own thread (the destructor run on
// the loop's own thread lets the loop finish on its own instead). After
// stop(), packets posted to the thread stay queued: cut its listeners
// first.
//
// Ownership: the loop's wake-up state is shared with the registered wake-up
// callable, which the thread's record keeps, so posts that arrive after the
// EventLoopThread is gone stay harmless.
#pragma once

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "vesk/thread.h"

namespace VESK {

class EventLoopThread {
 public:
  explicit EventLoopThread(std::string name)
      : state_(std::make_shared<WakeState>()) {
    std::promise<Thread> registered;
    std::future<Thread> handle = registered.get_future();
    worker_ = std::thread(&EventLoopThread::run, state_, std::move(name),
                          std::move(registered));
    try {
      thread_ = handle.get();
    } catch (...) {
      worker_.join();
      throw;
    }
  }
  EventLoopThread(const EventLoopThread&) = delete;
  EventLoopThread& operator=(const EventLoopThread&) = delete;
  ~EventLoopThread() {
    if (worker_.get_id() == std::this_thread::get_id()) {
      state_->requestStop();
      worker_.detach();
      return;
    }
    stop();
  }

  // The loop's message thread (registered before the constructor returns).
  Thread thread() const noexcept { return thread_; }

  // Processes what is queued and joins. Does nothing the second time.
  void stop() {
    if (!worker_.joinable()) return;
    state_->requestStop();
    worker_.join();
  }

 private:
  struct WakeState {
    std::mutex mutex;
    std::condition_variable condition;
    std::atomic<bool> pending{false};   // a post arrived since last drain
    std::atomic<bool> sleeping{false};  // the loop waits on `condition`
    bool stopRequested = false;         // guarded by mutex

    // Runs on posting threads. Either the loop sees `pending` before it
    // sleeps, or this sees `sleeping` and notifies (both seq_cst).
    void wake() {
      pending.store(true);
      if (sleeping.load()) {
        { std::lock_guard<std::mutex> lock(mutex); }
        condition.notify_one();
      }
    }
    void requestStop() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        stopRequested = true;
      }
      condition.notify_one();
    }
  };

  static void run(std::shared_ptr<WakeState> state, std::string name,
                  std::promise<Thread> registered) {
    try {
      Thread::registerThread(name, [state] { state->wake(); });
      registered.set_value(Thread::getCurrentThread());
    } catch (...) {
      registered.set_exception(std::current_exception());
      return;
    }
    const Thread self = Thread::getCurrentThread();
    for (;;) {
      state->pending.store(false);
      self.process();
      std::unique_lock<std::mutex> lock(state->mutex);
      if (state->stopRequested) break;
      state->sleeping.store(true);
      state->condition.wait(
          lock, [&] { return state->pending.load() || state->stopRequested; });
      state->sleeping.store(false);
    }
    self.process();  // what was queued when stop was asked for
  }

  std::shared_ptr<WakeState> state_;
  Thread thread_;
  std::thread worker_;
};

}  // namespace VESK
