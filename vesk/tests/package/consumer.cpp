// Uses only <vesk/vesk.h> and the installed vesk package.
#include <vesk/vesk.h>

#include <cstdio>
#include <thread>

int main() {
  TOLB::AtomicCounter counter(1);
  TOLB::Gate gate(0);
  std::thread opener([&] {
    ++counter;
    gate.open();
  });
  gate.wait();
  opener.join();
  if (counter != 2) return 1;
  if (VESK::Thread::getCurrentThread().getName() != "unnamed thread") return 2;
  std::puts("vesk package: ok");
  return 0;
}
