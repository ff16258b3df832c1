// Case b: queued cross-thread throughput. One thread sends 1,000,000 `int`
// (and 32-character `u16string`) messages to a consumer on another thread;
// the figure is end-to-end nanoseconds per message, from the first send
// until the consumer has run the last slot.
#include <QCoreApplication>

#include <vesk/vesk.h>

#include <chrono>
#include <string>

#include "harness/harness.h"
#include "peers/qt_peers.h"
#include "peers/queues.h"
#include "peers/weight.h"

namespace tarvex::bench {
namespace {

constexpr long kMessages = 1'000'000;

template <class T>
T valueFor(long i) {
  if constexpr (std::is_same_v<T, int>) {
    return static_cast<int>(i);
  } else {
    static const std::u16string text = sample32();
    return text;
  }
}

// Runs one round: `send(i)` for every message, then waits for `done`.
template <class Send>
void timeRound(benchmark::State& state, long messages, Completion& done,
               Send&& send) {
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < messages; ++i) send(i);
  done.wait();
  const double nanos = nanosBetween(start, std::chrono::steady_clock::now());
  state.SetIterationTime(nanos / 1e9);
  reportMetric(state, nanos / messages, "ns/msg");
}

// A listener whose slot counts the messages of a round.
struct CountingListener : VESK::Listener {};

template <class T>
void oursRound(benchmark::State& state) {
  const long messages = scaled(kMessages);
  for (auto _ : state) {
    Completion done;
    long long sum = 0;
    long count = 0;
    VESK::EventLoopThread loop("bench consumer");
    VESK::Emitter<void(T)> emitter;
    CountingListener listener;
    VESK::connect(
        emitter, listener,
        [&](T value) {
          sum += weight(value);
          if (++count == messages) done.open();
        },
        loop.thread());
    timeRound(state, messages, done,
              [&](long i) { emitter.send(valueFor<T>(i), VESK::Queued); });
    listener.disconnect();
    loop.stop();
    benchmark::DoNotOptimize(sum);
  }
}

template <class T>
void qtRound(benchmark::State& state, QtDispatcher dispatcher) {
  const long messages = scaled(kMessages);
  for (auto _ : state) {
    Completion done;
    QThread thread;
    QtSender sender;
    QtReceiver receiver(&done, messages);
    receiver.moveToThread(&thread);
    if constexpr (std::is_same_v<T, int>) {
      QObject::connect(&sender, &QtSender::intSignal, &receiver,
                       &QtReceiver::onInt, Qt::QueuedConnection);
    } else {
      QObject::connect(&sender, &QtSender::stringSignal, &receiver,
                       &QtReceiver::onString, Qt::QueuedConnection);
    }
    startQtThread(thread, dispatcher);
    timeRound(state, messages, done, [&](long i) {
      if constexpr (std::is_same_v<T, int>) {
        sender.intSignal(valueFor<T>(i));
      } else {
        sender.stringSignal(valueFor<T>(i));
      }
    });
    thread.quit();
    thread.wait();
    benchmark::DoNotOptimize(receiver.sum);
  }
}

template <class T, template <class> class Floor>
void floorRound(benchmark::State& state) {
  const long messages = scaled(kMessages);
  for (auto _ : state) {
    Completion done;
    long long sum = 0;
    long count = 0;
    Floor<T> queue([&](const T& value) {
      sum += weight(value);
      if (++count == messages) done.open();
    });
    timeRound(state, messages, done,
              [&](long i) { queue.push(valueFor<T>(i)); });
    benchmark::DoNotOptimize(sum);
  }
}

template <class T>
void registerAll(const std::string& caseName) {
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseManualTime();
  };
  configure(
      benchmark::RegisterBenchmark((caseName + "/ours").c_str(), oursRound<T>));
  configure(benchmark::RegisterBenchmark((caseName + "/qt5").c_str(),
                                         qtRound<T>, QtDispatcher::Default));
  configure(benchmark::RegisterBenchmark((caseName + "/qt5_noglib").c_str(),
                                         qtRound<T>, QtDispatcher::NoGlib));
  configure(benchmark::RegisterBenchmark((caseName + "/tbb_queue").c_str(),
                                         floorRound<T, TbbQueueFloor>));
  configure(benchmark::RegisterBenchmark((caseName + "/mutex_deque").c_str(),
                                         floorRound<T, MutexDequeFloor>));
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
  registerAll<int>("b.int");
  registerAll<std::u16string>("b.u16string");
  return runBenchmarks(argc, argv, "bench_queued_throughput");
}
