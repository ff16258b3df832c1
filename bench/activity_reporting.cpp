// Case d: activity reporting.
// - "d.report_1" and "d.report_4": the reporting thread's cost of one report
//   with 1 and with 4 threads reporting at once (CPU nanoseconds per call of
//   the reporting thread, the mean over the reporting threads), while the
//   consumer drains the queue.
// - "d.end_to_end": reports handled per second, from the first report until
//   the consumer has handled the last one.
#include <chrono>
#include <ctime>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <activitytracking/activitytracking.h>

#include "harness/harness.h"
#include "peers/queues.h"

namespace tarvex::bench {
namespace {

constexpr long kReportsPerThread = 200'000;
constexpr long kEndToEndReports = 1'000'000;

// CPU time the calling thread has used, in nanoseconds. The reporting cost
// is measured in it: it is what a report takes from the reporting thread,
// and unlike the wall time it does not grow while other processes of this
// (shared, two-core) machine hold the CPU.
double threadCpuNanos() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e9 + now.tv_nsec;
}

// Floor: a bare mutex+deque push with a notify, drained by one consumer
// thread that does nothing with the items.
class FloorReporter {
 public:
  explicit FloorReporter(long expected) : expected_(expected) {}
  void report() { queue_.push(0); }
  // Returns once the consumer has taken every expected item.
  void drain() { done_.wait(); }

 private:
  long expected_;
  long consumed_ = 0;  // consumer thread only
  Completion done_;
  MutexDequeFloor<int> queue_{[this](const int&) {
    if (++consumed_ == expected_) done_.open();
  }};
};

// Ours: the process-wide recordUIEvent(), with one UI tracker of idle
// time-out 5 s listening. drain() queues a time-out change for a second
// tracker (an execution tracker, which UI reports do not reach) behind the
// reports and waits until it shows: every report before it has then been
// handled.
class OursReporter {
 public:
  explicit OursReporter(long /*expected*/) {}
  void report() { activitytracking::recordUIEvent(); }
  void drain() {
    const unsigned int marker = ++lastMarker_;
    activitytracking::setIdleTimeout(sentinel_, marker);
    while (activitytracking::getIdleTimeout(sentinel_) != marker)
      std::this_thread::yield();
  }

 private:
  static inline unsigned int lastMarker_ = 1000;
  std::shared_ptr<activitytracking::ActivityTracker> tracker_ =
      activitytracking::createUIActivityTracker(5);
  std::shared_ptr<activitytracking::ActivityTracker> sentinel_ =
      activitytracking::createExecutionActivityTracker(lastMarker_, 0);
};

template <class Reporter>
void reportingCost(benchmark::State& state, int threads) {
  const long perThread = scaled(kReportsPerThread);
  for (auto _ : state) {
    auto reporter = std::make_unique<Reporter>(perThread * threads);
    std::vector<double> nanos(threads);
    std::latch start(threads);
    std::vector<std::thread> reporters;
    for (int t = 0; t < threads; ++t) {
      reporters.emplace_back([&, t] {
        start.arrive_and_wait();
        const double begin = threadCpuNanos();
        for (long i = 0; i < perThread; ++i) reporter->report();
        nanos[t] = threadCpuNanos() - begin;
      });
    }
    for (auto& thread : reporters) thread.join();
    reporter->drain();
    double mean = 0;
    for (double n : nanos) mean += n / perThread / threads;
    state.SetIterationTime(mean * perThread / 1e9);
    reportMetric(state, mean, "ns/report");
  }
}

template <class Reporter>
void endToEnd(benchmark::State& state) {
  const long reports = scaled(kEndToEndReports);
  for (auto _ : state) {
    auto reporter = std::make_unique<Reporter>(reports);
    const auto begin = std::chrono::steady_clock::now();
    for (long i = 0; i < reports; ++i) reporter->report();
    reporter->drain();
    const double nanos = nanosBetween(begin, std::chrono::steady_clock::now());
    state.SetIterationTime(nanos / 1e9);
    reportMetric(state, reports / (nanos / 1e9), "reports/s");
  }
}

template <class Reporter>
void registerSubject(const std::string& subject) {
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseManualTime();
  };
  configure(benchmark::RegisterBenchmark(("d.report_1/" + subject).c_str(),
                                         reportingCost<Reporter>, 1));
  configure(benchmark::RegisterBenchmark(("d.report_4/" + subject).c_str(),
                                         reportingCost<Reporter>, 4));
  configure(benchmark::RegisterBenchmark(("d.end_to_end/" + subject).c_str(),
                                         endToEnd<Reporter>));
}

}  // namespace
}  // namespace tarvex::bench

int main(int argc, char** argv) {
  using namespace tarvex::bench;
  registerSubject<OursReporter>("ours");
  registerSubject<FloorReporter>("mutex_deque");
  return runBenchmarks(argc, argv, "bench_activity_reporting");
}
