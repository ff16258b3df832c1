// Shared machinery of the benchmark programs under bench/.
//
// Every program registers its benchmarks on Google Benchmark under names of
// the form "<case>/<subject>", e.g. "a.int_1/ours" or "a.int_1/qt5". The
// subject "ours" is this project's code; every other subject is a peer or a
// floor measured side by side in the same run. runBenchmarks() runs them
// with at least 5 rounds (repetitions, randomly interleaved so that a noisy
// moment of the machine does not hit one subject only), then prints for
// every case the median and min-max of the rounds and the ratio of ours to
// each peer, and, when asked, writes the same figures as JSON lines for
// scripts/bench.sh.
//
// The figure of a round is the user counter "metric" when a benchmark sets
// it (with its unit as the benchmark's label), and otherwise the CPU time of
// one iteration in nanoseconds (unit "ns/op"; such benchmarks are loops on
// one thread that never block, where CPU time is the cost and does not grow
// when other processes share the machine).
//
// Thread-safety: the helpers below are used from the benchmark's own thread
// unless a comment says otherwise.
#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

#include <sched.h>

namespace tarvex::bench {

// Runs every registered benchmark and prints the summary. Besides Google
// Benchmark's own flags it understands:
//   --tarvex_results=<file>   append one JSON line per case and subject
//   --tarvex_scale=<factor>   scale the work per round (0.1 for a smoke run)
// Without --benchmark_repetitions it runs 5 rounds per benchmark.
int runBenchmarks(int argc, char** argv, const char* program);

// The factor given with --tarvex_scale (1 by default).
double scale();

// `count` times scale(), at least 1.
long scaled(long count);

// Counter and label that make `value` (in `unit`) the figure of this round.
void reportMetric(benchmark::State& state, double value, const char* unit);

// Nanoseconds between two steady-clock instants.
inline double nanosBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double, std::nano>(to - from).count();
}

// Pins the calling thread to one CPU for the life of the object; threads it
// creates meanwhile inherit the pinning and keep it. Restores the previous
// mask on destruction.
class ScopedCpuPin {
 public:
  explicit ScopedCpuPin(int cpu);
  ScopedCpuPin(const ScopedCpuPin&) = delete;
  ScopedCpuPin& operator=(const ScopedCpuPin&) = delete;
  ~ScopedCpuPin();

 private:
  cpu_set_t previous_;
};

// One-shot latch: a consumer thread calls open() once the last message has
// arrived; the benchmark thread waits for it. Safe between two threads.
class Completion {
 public:
  void open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    condition_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait(lock, [this] { return done_; });
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool done_ = false;  // guarded by mutex_
};

// Resident set size of this process in bytes, from /proc/self/statm.
std::size_t residentBytes();

// A string of 32 UTF-16 characters, the payload of the string cases.
std::u16string sample32();

}  // namespace tarvex::bench
