// Uses only <activitytracking/activitytracking.h> and the installed package:
// creates trackers and a composite, adds listeners and sees their state
// changes arrive from the library's dispatcher thread.
#include <activitytracking/activitytracking.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace at = activitytracking;

namespace {

struct Seen {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<at::State> states;
  std::thread::id thread;

  void record(at::State now) {
    std::lock_guard<std::mutex> lock(mutex);
    states.push_back(now);
    thread = std::this_thread::get_id();
    changed.notify_all();
  }
  bool waitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(15),
                            [&] { return states.size() >= count; });
  }
};

int fail(const char* what) {
  std::fprintf(stderr, "activitytrack package: %s\n", what);
  return 1;
}

}  // namespace

int main() {
  if (std::strcmp(at::stateName(at::Busy), "Busy") != 0) {
    return fail("stateName");
  }
  std::shared_ptr<at::ActivityTracker> ui = at::createUIActivityTracker(1);
  std::shared_ptr<at::ActivityTracker> execution =
      at::createExecutionActivityTracker(1, 1);
  auto overall = at::createCompositeActivityTracker({ui, execution});
  Seen seenUi, seenOverall;
  ui->addListener([&](at::State now, at::State) { seenUi.record(now); });
  overall->addListener(
      [&](at::State now, at::State) { seenOverall.record(now); });

  at::setIdleTimeout(execution, 2);
  at::recordUIEvent();
  if (!seenUi.waitFor(2) || !seenOverall.waitFor(2)) {
    return fail("no Active then Idle");
  }
  if (seenUi.states != std::vector<at::State>{at::Active, at::Idle} ||
      seenOverall.states != std::vector<at::State>{at::Active, at::Idle}) {
    return fail("unexpected states");
  }
  if (seenUi.thread == std::this_thread::get_id()) {
    return fail("listener ran on the reporting thread");
  }
  if (at::getIdleTimeout(execution) != 2 || at::getBusyTimeout(ui) != 0) {
    return fail("time-outs");
  }
  std::puts("activitytrack package: ok");
  return 0;
}
