// Three runners wait at a TOLB::Gate. open(2) lets exactly two of them
// through; open() then lets everybody through, now and later.
#include <vesk/vesk.h>

#include <cstdio>
#include <thread>
#include <vector>

int main() {
  TOLB::Gate startLine(0);
  TOLB::AtomicCounter finished;
  std::vector<std::thread> runners;
  for (int i = 0; i < 3; ++i) {
    runners.emplace_back([&, i] {
      startLine.wait();
      std::printf("runner %d passed the gate\n", i);
      ++finished;
    });
  }
  while (startLine.waitingThreads() < 3) std::this_thread::yield();
  std::printf("three runners wait; open(2)\n");
  startLine.open(2);
  while (finished != 2) std::this_thread::yield();
  std::printf("two passed, one still waits; open()\n");
  startLine.open();
  for (auto& runner : runners) runner.join();
  startLine.wait();  // an open gate lets later callers through at once
  std::printf("all %d runners passed; %s is done\n", int(finished),
              VESK::Thread::getCurrentThread().getName().c_str());
  return 0;
}
