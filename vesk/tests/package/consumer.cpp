// Uses only <vesk/vesk.h> and the installed vesk package: the primitives,
// then signals connected, sent in every mode and received.
#include <vesk/vesk.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

class Receiver : public VESK::Listener {
 public:
  std::atomic<int> sum{0};
  std::atomic<int> calls{0};
  void add(int value) {
    sum += value;
    ++calls;
  }
};

bool waitFor(const std::atomic<int>& value, int expected) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (value.load() != expected) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

int checkPrimitives() {
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
  return 0;
}

int checkSignals() {
  VESK::EventLoopThread worker("consumer-worker");
  VESK::Emitter<void(int)> numbers;
  Receiver remote, local;
  VESK::connect(numbers, remote, &Receiver::add, worker.thread());
  VESK::connect(numbers, local, [&local](int v) { local.add(v); });

  numbers.send(1, VESK::Queued);               // both posted
  numbers.send(2, VESK::Auto);                 // local at once, remote posted
  numbers.send(4, VESK::Blocking);             // waits for the worker
  numbers(8, VESK::BlockingProcessing);        // waits, processing own queue
  numbers.send(16);                            // the default: Auto
  VESK::Thread::getCurrentThread().process();  // the Queued local packet
  if (local.sum != 31 || local.calls != 5) return 3;
  if (!waitFor(remote.sum, 31)) return 4;

  VESK::Emitter<void(std::u16string)> texts;
  std::u16string received;
  VESK::connect(texts, local, [&received](std::u16string t) { received = t; });
  texts.send(u"h\u00e9llo", VESK::Blocking);
  if (received != u"h\u00e9llo") return 5;

  remote.disconnect();
  if (numbers.numberOfConnections() != 1) return 6;
  return 0;
}

}  // namespace

int main() {
  if (int failed = checkPrimitives()) return failed;
  if (int failed = checkSignals()) return failed;
  std::puts("vesk package: ok");
  return 0;
}
