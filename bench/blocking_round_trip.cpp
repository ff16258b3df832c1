// Case c: blocking round trip. 100,000 sequential blocking sends to a
// listener on another thread; the figure is nanoseconds per round trip.
// "c.pinned" runs the sender and the receiving thread on CPU 0 only (the
// pinning is made in-process before the receiving thread is created, which
// inherits it); "c.unpinned" lets them run anywhere.
#include <QCoreApplication>

#include <vesk/vesk.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "harness/harness.h"
#include "peers/ping_pong.h"
#include "peers/qt_peers.h"

namespace tarvex::bench {
namespace {

constexpr long kRoundTrips = 100'000;

enum class Pinning { Pinned, Unpinned };

// Pins the benchmark thread for one round when asked; everything created
// inside the round inherits it.
void pinFor(Pinning pinning, std::optional<ScopedCpuPin>& pin) {
  if (pinning == Pinning::Pinned) pin.emplace(0);
}

template <class Request>
void timeRound(benchmark::State& state, long trips, Request&& request) {
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < trips; ++i) request(static_cast<int>(i));
  const double nanos = nanosBetween(start, std::chrono::steady_clock::now());
  state.SetIterationTime(nanos / 1e9);
  reportMetric(state, nanos / trips, "ns/trip");
}

struct SummingListener : VESK::Listener {};

void oursRound(benchmark::State& state, Pinning pinning) {
  const long trips = scaled(kRoundTrips);
  for (auto _ : state) {
    std::optional<ScopedCpuPin> pin;
    pinFor(pinning, pin);
    long long sum = 0;
    VESK::EventLoopThread loop("bench responder");
    VESK::Emitter<void(int)> emitter;
    SummingListener listener;
    VESK::connect(
        emitter, listener, [&](int value) { sum += value; }, loop.thread());
    timeRound(state, trips,
              [&](int value) { emitter.send(value, VESK::Blocking); });
    listener.disconnect();
    loop.stop();
    benchmark::DoNotOptimize(sum);
  }
}

void qtRound(benchmark::State& state, Pinning pinning,
             QtDispatcher dispatcher) {
  const long trips = scaled(kRoundTrips);
  for (auto _ : state) {
    std::optional<ScopedCpuPin> pin;
    pinFor(pinning, pin);
    QThread thread;
    QtSender sender;
    QtReceiver receiver;
    receiver.moveToThread(&thread);
    QObject::connect(&sender, &QtSender::intSignal, &receiver,
                     &QtReceiver::onInt, Qt::BlockingQueuedConnection);
    startQtThread(thread, dispatcher);
    timeRound(state, trips, [&](int value) { sender.intSignal(value); });
    thread.quit();
    thread.wait();
    benchmark::DoNotOptimize(receiver.sum);
  }
}

template <class PingPong>
void floorRound(benchmark::State& state, Pinning pinning) {
  const long trips = scaled(kRoundTrips);
  for (auto _ : state) {
    std::optional<ScopedCpuPin> pin;
    pinFor(pinning, pin);
    auto pingPong = std::make_unique<PingPong>();
    timeRound(state, trips, [&](int value) { pingPong->request(value); });
    benchmark::DoNotOptimize(pingPong->sum());
  }
}

void registerAll(const std::string& caseName, Pinning pinning) {
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseManualTime();
  };
  configure(benchmark::RegisterBenchmark((caseName + "/ours").c_str(),
                                         oursRound, pinning));
  configure(benchmark::RegisterBenchmark((caseName + "/qt5").c_str(), qtRound,
                                         pinning, QtDispatcher::Default));
  configure(benchmark::RegisterBenchmark((caseName + "/qt5_noglib").c_str(),
                                         qtRound, pinning,
                                         QtDispatcher::NoGlib));
  configure(benchmark::RegisterBenchmark((caseName + "/mutex_condvar").c_str(),
                                         floorRound<MutexCondvarPingPong>,
                                         pinning));
  configure(benchmark::RegisterBenchmark((caseName + "/futex").c_str(),
                                         floorRound<FutexPingPong>, pinning));
}

}  // namespace
}  // namespace tarvex::bench

int main(int argc, char** argv) {
  using namespace tarvex::bench;
  QCoreApplication application(argc, argv);
  registerQtTypes();
  // The benchmark thread is a message thread of its own, so that it may cut
  // its listeners.
  VESK::Thread::getCurrentThread();
  registerAll("c.pinned", Pinning::Pinned);
  registerAll("c.unpinned", Pinning::Unpinned);
  return runBenchmarks(argc, argv, "bench_blocking_round_trip");
}
