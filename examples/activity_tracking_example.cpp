// libactivitytrack example: two threads report activity, a composite tracker
// folds a user-interface tracker and an execution tracker into one overall
// state, and every change is printed as it happens (listeners run on the
// library's dispatcher thread).
#include <activitytracking/activitytracking.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace at = activitytracking;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const Clock::time_point programStart = Clock::now();

double elapsed() {
  return std::chrono::duration<double>(Clock::now() - programStart).count();
}

void printChange(const char* who, at::State now, at::State before) {
  std::printf("[%5.2f s] %-9s %s -> %s\n", elapsed(), who,
              at::stateName(before), at::stateName(now));
  std::fflush(stdout);
}

}  // namespace

int main() {
  // Idle 1 s after the last UI event; Busy once code has run for 1 s, Idle
  // 1 s after it stopped.
  auto ui = at::createUIActivityTracker(1);
  auto execution = at::createExecutionActivityTracker(1, 1);

  std::mutex mutex;
  std::condition_variable changed;
  bool overallIdleAgain = false;

  ui->addListener(
      [](at::State now, at::State before) { printChange("ui", now, before); });
  execution->addListener([](at::State now, at::State before) {
    printChange("execution", now, before);
  });
  // Built after the components' listeners, so that each component's change
  // prints before the overall change it causes.
  auto overall = at::createCompositeActivityTracker({ui, execution});
  overall->addListener([&](at::State now, at::State before) {
    printChange("OVERALL", now, before);
    if (now == at::Idle) {
      std::lock_guard<std::mutex> lock(mutex);
      overallIdleAgain = true;
      changed.notify_all();
    }
  });

  std::thread userInterface([] {
    std::printf("[%5.2f s] ui thread: 5 clicks, 200 ms apart\n", elapsed());
    for (int click = 0; click < 5; ++click) {
      at::recordUIEvent();
      std::this_thread::sleep_for(200ms);
    }
  });
  std::thread engine([] {
    std::this_thread::sleep_for(300ms);
    std::printf("[%5.2f s] engine thread: code starts running\n", elapsed());
    at::recordExecutionStart();
    std::this_thread::sleep_for(1700ms);
    std::printf("[%5.2f s] engine thread: code finished\n", elapsed());
    at::recordExecutionStop();
  });
  userInterface.join();
  engine.join();

  std::unique_lock<std::mutex> lock(mutex);
  if (!changed.wait_for(lock, 15s, [&] { return overallIdleAgain; })) {
    std::printf("the overall state never returned to Idle\n");
    return 1;
  }
  std::printf("[%5.2f s] everything is idle again\n", elapsed());
  return 0;
}
