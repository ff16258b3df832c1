#include "timer_service.h"

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/thread/thread.hpp>
#include <exception>
#include <new>
#include <optional>

#include "library_log.h"

namespace activitytracking::detail {
namespace {

class TimerThread {
 public:
  TimerThread()
      : workGuard(boost::asio::make_work_guard(context)),
        thread([this] { run(); }) {}

  boost::asio::io_context& io() { return context; }

  void shutDown() {
    context.stop();
    try {
      if (thread.joinable()) thread.join();
    } catch (...) {
      // A failed join at exit changes nothing for the process.
    }
    workGuard.reset();
  }

 private:
  void run() {
    // Handlers only queue requests; should one ever throw, log it and go
    // on serving the other timers.
    while (!context.stopped()) {
      try {
        context.run();
      } catch (...) {
        logFailure(std::current_exception());
      }
    }
  }

  boost::asio::io_context context;
  // Keeps run() from returning while no wait is pending.
  std::optional<
      boost::asio::executor_work_guard<boost::asio::io_context::executor_type>>
      workGuard;
  boost::thread thread;
};

// Never destroyed (see timer_service.h).
alignas(TimerThread) unsigned char timerStorage[sizeof(TimerThread)];
constinit std::atomic<TimerThread*> timerInstance{nullptr};

struct TimerLifetime {
  TimerLifetime() {
    timerInstance.store(new (timerStorage) TimerThread(),
                        std::memory_order_release);
  }
  ~TimerLifetime() {
    timerInstance.load(std::memory_order_acquire)->shutDown();
  }
};

}  // namespace

boost::asio::io_context& TimerService::instance() {
  if (auto* timers = timerInstance.load(std::memory_order_acquire)) {
    return timers->io();
  }
  static TimerLifetime lifetime;
  return timerInstance.load(std::memory_order_acquire)->io();
}

}  // namespace activitytracking::detail
