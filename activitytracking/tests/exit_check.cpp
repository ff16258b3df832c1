// Ends the process while trackers are alive and requests are still queued,
// and must neither crash nor hang doing so (ctest gives it a time limit).
//   exit_check return              main returns with a long queue; one
//                                  tracker outlives the library's threads
//   exit_check exit-from-listener  a listener calls std::exit on the
//                                  dispatcher thread while main reports
#include <activitytracking/activitytracking.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace at = activitytracking;

namespace {

// Built before the library's dispatcher and timer service exist, so
// destroyed after they have been stopped at exit.
std::shared_ptr<at::ActivityTracker> outlivesTheLibraryThreads;
std::vector<std::shared_ptr<at::ActivityTracker>> crowd;

int returnWithQueuedRequests() {
  auto ui = at::createUIActivityTracker(1);
  auto execution = at::createExecutionActivityTracker(1, 1);
  outlivesTheLibraryThreads =
      at::createCompositeActivityTracker({ui, execution});
  // Many trackers make every report slow to handle, so the queue is long
  // when main returns.
  for (int i = 0; i < 500; ++i) crowd.push_back(at::createUIActivityTracker(1));
  std::thread reporter([] {
    for (int i = 0; i < 20000; ++i) {
      at::recordUIEvent();
      at::recordExecutionStart();
      at::recordExecutionStop();
    }
  });
  for (int i = 0; i < 20000; ++i) at::recordUIEvent();
  reporter.join();
  std::puts("exit_check: returning with requests queued");
  return 0;
}

int exitFromListener() {
  outlivesTheLibraryThreads = at::createUIActivityTracker(1);
  auto execution = at::createExecutionActivityTracker(1, 1);
  execution->addListener([](at::State now, at::State) {
    if (now == at::Busy) {
      std::puts("exit_check: exiting from a listener");
      std::fflush(stdout);
      std::exit(0);
    }
  });
  crowd.push_back(execution);
  at::recordExecutionStart();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    at::recordUIEvent();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::puts("exit_check: the listener never ran");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "return") == 0) {
    return returnWithQueuedRequests();
  }
  if (argc == 2 && std::strcmp(argv[1], "exit-from-listener") == 0) {
    return exitFromListener();
  }
  std::fprintf(stderr, "usage: exit_check return|exit-from-listener\n");
  return 2;
}
