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
// When the loop may run on more than one processor, it stays awake for
// about 10 microseconds after emptying its queue before it sleeps, so a
// steady stream of posts finds it awake.
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
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "vesk/thread.h"

#include <sched.h>

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
    // Written under mutex (so a sleeping loop cannot miss it); read without
    // it by a loop that stays awake.
    std::atomic<bool> stopRequested{false};

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

  // Before going to sleep, the loop stays awake for a few microseconds,
  // watching for a post: the next message of a stream, or the next request
  // of a blocking sender, then costs neither its sender a system call to
  // wake the loop nor the loop a sleep. Only worth it when the loop may run
  // beside its senders, on another processor; a loop confined to one
  // processor would only keep its senders from running.
  static bool postArrivesSoon(const WakeState& state) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until =
        Clock::now() + std::chrono::microseconds(10);
    do {
      for (int spin = 0; spin < 64; ++spin) {
        if (state.pending.load(std::memory_order_relaxed)) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
      }
    } while (Clock::now() < until);
    return false;
  }

  // Whether the calling thread may run on more than one processor.
  static bool runsOnSeveralProcessors() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
    return CPU_COUNT(&allowed) > 1;
  }

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
    const bool mayStayAwake = runsOnSeveralProcessors();
    for (;;) {
      state->pending.store(false);
      self.process();
      // A steady stream of posts must not keep a stopping loop from ending.
      if (mayStayAwake && !state->stopRequested.load() &&
          postArrivesSoon(*state)) {
        continue;
      }
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
