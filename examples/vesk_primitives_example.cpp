// A worker thread hands results to the main thread through a TOLB::Gate
// that lets exactly as many waiters pass as results are ready.
#include <vesk/vesk.h>

#include <cstdio>
#include <thread>

int main() {
  TOLB::Gate resultsReady(0);
  TOLB::AtomicCounter produced;
  std::thread worker([&] {
    std::printf("worker thread: %s\n",
                VESK::Thread::getCurrentThread().getName().c_str());
    for (int i = 0; i < 3; ++i) {
      ++produced;
      resultsReady.open(1);
    }
  });
  for (int i = 0; i < 3; ++i) {
    resultsReady.wait();
    std::printf("main thread: a result passed the gate\n");
  }
  worker.join();
  std::printf("results produced: %d\n", int(produced));
  return 0;
}
