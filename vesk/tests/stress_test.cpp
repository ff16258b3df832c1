// Several threads at once connect, cut with both drop modes, send in every
// mode and process, for a bounded time. Counters then prove that no blocking
// send hung, no DeliverPending packet was lost, no slot ran on its
// listener's thread after a DropPending cut made there, and every
// connection and payload was freed. A watchdog fails the test instead of
// letting it hang.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "signal_test_support.h"

namespace {

using namespace std::chrono_literals;
using VESK::Thread;
using vesk_test::Tracked;

constexpr int kWorkers = 4;
constexpr auto kRunFor = 2s;
constexpr auto kWatchdogLimit = 120s;  // sanitizers on a loaded machine
constexpr std::size_t kMaxListenersPerWorker = 6;

using Signal = VESK::Emitter<void(Tracked)>;  // DeliverPending
using DropSignal = VESK::Emitter<void(Tracked), VESK::DropPending>;

class StressListener : public VESK::Listener {};

struct Counters {
  std::atomic<int> liveArguments{0};    // Tracked copies held by payloads
  std::atomic<int> liveConnections{0};  // Tracked copies held by slots
  std::atomic<int> slotAfterOwnCut{0};
  std::atomic<int> slotOnWrongThread{0};
  std::atomic<long> blockingStarted{0};
  std::atomic<long> blockingDone{0};
  std::atomic<long> sends{0};
  std::atomic<long> slotRuns{0};
  std::atomic<long> wakeUps{0};
  std::atomic<long> steps{0};
};

// A connection of a worker's listener to a shared emitter. `cut` is written
// and read only on the owning worker's thread.
struct OwnState {
  std::thread::id owner;
  bool cut = false;
};

// A connection that is only ever cut from the emitter's side
// (DeliverPending): every packet made for it must run its slot.
struct DeliverPendingState {
  int expected = 0;  // written by the owning worker only
  std::atomic<int> delivered{0};
};

// Threads wait here until all have arrived, processing their own queue
// meanwhile so that blocking senders elsewhere are never stranded.
class ProcessingBarrier {
 public:
  explicit ProcessingBarrier(int parties) : parties_(parties) {}
  void arriveAndWait(const Thread& self) {
    ++arrived_;
    while (arrived_.load() < parties_) {
      self.process();
      std::this_thread::sleep_for(200us);
    }
    self.process();
  }
  bool allArrived() const { return arrived_.load() >= parties_; }

 private:
  const int parties_;
  std::atomic<int> arrived_{0};
};

struct Stress {
  Counters counters;
  Signal sharedDeliver;
  DropSignal sharedDrop;
  std::unique_ptr<VESK::EventLoopThread> sink;
  std::vector<Thread> workers;  // filled before the start gate opens
  TOLB::Gate start{0};
  std::atomic<bool> running{true};
  ProcessingBarrier stoppedSending{kWorkers + 1};  // workers and the blocker
  ProcessingBarrier drained{kWorkers + 1};
  TOLB::Gate teardown{0};
  std::mutex statesMutex;
  std::vector<std::shared_ptr<DeliverPendingState>> deliverPendingStates;

  template <class F>
  void withShared(int which, F f) {
    if (which == 0) {
      f(sharedDeliver);
    } else {
      f(sharedDrop);
    }
  }
};

// BlockingProcessing sends between workers that wait for each other take a
// 100 ms slice to resolve, so they are a small share of the sends.
const VESK::SendMode kSharedModes[] = {
    VESK::Queued, VESK::Auto,       VESK::UseDefault, VESK::Queued,
    VESK::Auto,   VESK::UseDefault, VESK::Auto,       VESK::BlockingProcessing};

class Worker {
 public:
  Worker(Stress& stress, int index)
      : stress_(stress), index_(index), random_(1234 + index) {}

  void run(std::promise<Thread>& registered) {
    Thread::registerThread(
        "stress-worker-" + std::to_string(index_),
        [&wakeUps = stress_.counters.wakeUps] { ++wakeUps; });
    self_ = Thread::getCurrentThread();
    registered.set_value(self_);
    stress_.start.wait();
    while (stress_.running.load()) {
      step();
      processSome();
      ++stress_.counters.steps;
    }
    stress_.stoppedSending.arriveAndWait(self_);
    stress_.drained.arriveAndWait(self_);
    stress_.teardown.wait();
    // Listener destructors cut what is left, on this thread.
    shared_.clear();
    deliverPending_.clear();
    own_.reset();
    self_.process();
  }

 private:
  struct SharedListener {
    std::unique_ptr<StressListener> listener;
    std::shared_ptr<OwnState> state;  // null for sender-thread delivery
    int emitter;                      // 0: sharedDeliver, 1: sharedDrop
    bool linked;
  };
  struct DeliverPendingListener {
    std::unique_ptr<StressListener> listener;
    std::shared_ptr<DeliverPendingState> state;  // of the latest connection
    bool toSink = false;
    bool linked = false;
  };

  int pick(std::size_t n) {
    return std::uniform_int_distribution<int>(0,
                                              static_cast<int>(n) - 1)(random_);
  }

  void step() {
    const int action = pick(100);
    if (action < 25) {
      sendShared();
    } else if (action < 50) {
      sendOwn();
    } else if (action < 62) {
      connectShared();
    } else if (action < 74) {
      cutShared();
    } else if (action < 84) {
      connectDeliverPending();
    } else if (action < 90) {
      cutDeliverPending();
    }
  }

  void processSome() {
    switch (pick(3)) {
      case 0:
        self_.process();
        break;
      case 1:
        self_.processCurrentQueue();
        break;
      default:
        self_.processOne();
        break;
    }
  }

  void send(const auto& emitter, VESK::SendMode mode) {
    const bool blocking =
        mode == VESK::Blocking || mode == VESK::BlockingProcessing;
    if (blocking) ++stress_.counters.blockingStarted;
    emitter.send(Tracked(stress_.counters.liveArguments), mode);
    if (blocking) ++stress_.counters.blockingDone;
    ++stress_.counters.sends;
  }

  void sendShared() {
    const VESK::SendMode mode = kSharedModes[pick(std::size(kSharedModes))];
    stress_.withShared(pick(2), [&](auto& emitter) { send(emitter, mode); });
  }

  // Plain Blocking only when every receiver is the sink, which never waits
  // for anybody: a cycle of plain Blocking sends would deadlock by design.
  void sendOwn() {
    if (!own_) own_ = std::make_unique<Signal>();
    bool sinkOnly = true;
    for (auto& entry : deliverPending_) {
      if (entry.linked) {
        ++entry.state->expected;
        sinkOnly &= entry.toSink;
      }
    }
    const VESK::SendMode plainBlocking = sinkOnly ? VESK::Blocking : VESK::Auto;
    const VESK::SendMode modes[] = {VESK::Queued,     VESK::Auto,
                                    VESK::Queued,     VESK::Auto,
                                    VESK::Auto,       VESK::UseDefault,
                                    VESK::UseDefault, plainBlocking,
                                    plainBlocking,    VESK::BlockingProcessing};
    send(*own_, modes[pick(std::size(modes))]);
  }

  void connectShared() {
    if (shared_.size() >= kMaxListenersPerWorker) return;
    SharedListener entry{std::make_unique<StressListener>(), nullptr, pick(2),
                         true};
    Counters& counters = stress_.counters;
    if (pick(4) == 0) {  // runs on whatever thread sends
      stress_.withShared(entry.emitter, [&](auto& emitter) {
        VESK::connect(
            emitter, *entry.listener,
            [&counters, guard = Tracked(counters.liveConnections)](
                const Tracked&) { ++counters.slotRuns; },
            Thread(), true);
      });
    } else {
      entry.state = std::make_shared<OwnState>();
      entry.state->owner = std::this_thread::get_id();
      stress_.withShared(entry.emitter, [&](auto& emitter) {
        VESK::connect(
            emitter, *entry.listener,
            [&counters, state = entry.state,
             guard = Tracked(counters.liveConnections)](const Tracked&) {
              if (std::this_thread::get_id() != state->owner) {
                ++counters.slotOnWrongThread;
              } else if (state->cut) {
                ++counters.slotAfterOwnCut;
              }
              ++counters.slotRuns;
            });
      });
    }
    shared_.push_back(std::move(entry));
  }

  void cutShared() {
    if (shared_.empty()) return;
    const std::size_t at = pick(static_cast<int>(shared_.size()));
    SharedListener& entry = shared_[at];
    if (!entry.linked) {  // cut earlier: let it go now
      shared_.erase(shared_.begin() + at);
      return;
    }
    const int how = pick(5);
    stress_.withShared(entry.emitter, [&](auto& emitter) {
      switch (how) {
        case 0:
          entry.listener->disconnect();
          break;
        case 1:
          entry.listener->disconnectFrom(emitter, VESK::DropPending);
          break;
        case 2:
          emitter.disconnectFrom(entry.listener.get(), VESK::DropPending);
          break;
        case 3:  // emitter side: queued packets still run the slot
          emitter.disconnectFrom(entry.listener.get(), VESK::DeliverPending);
          entry.linked = false;
          return;
        default:  // the destructor cuts, as DropPending, on this thread
          entry.listener.reset();
          break;
      }
      entry.linked = false;
      if (entry.state) entry.state->cut = true;
    });
    if (!entry.listener) shared_.erase(shared_.begin() + at);
  }

  // Connects a new listener, or once there are enough, connects again a
  // listener whose earlier connection was cut (its packets may still be
  // queued), with a new connection and a new count.
  void connectDeliverPending() {
    if (!own_) own_ = std::make_unique<Signal>();
    DeliverPendingListener* entry = nullptr;
    if (deliverPending_.size() < kMaxListenersPerWorker) {
      entry = &deliverPending_.emplace_back();
      entry->listener = std::make_unique<StressListener>();
    } else {
      for (auto& candidate : deliverPending_) {
        if (!candidate.linked) entry = &candidate;
      }
      if (!entry) return;
    }
    const int target = pick(kWorkers + 1);
    entry->toSink = target == kWorkers || target == index_;
    const Thread receiver =
        entry->toSink ? stress_.sink->thread() : stress_.workers[target];
    auto state = std::make_shared<DeliverPendingState>();
    {
      std::lock_guard<std::mutex> lock(stress_.statesMutex);
      stress_.deliverPendingStates.push_back(state);
    }
    Counters& counters = stress_.counters;
    VESK::connect(
        *own_, *entry->listener,
        [&counters, state,
         guard = Tracked(counters.liveConnections)](const Tracked&) {
          ++state->delivered;
          ++counters.slotRuns;
        },
        receiver);
    entry->state = std::move(state);
    entry->linked = true;
  }

  // Cut from the emitter's side only; the listener stays alive until the
  // end, so its queued packets must all still run.
  void cutDeliverPending() {
    for (auto& entry : deliverPending_) {
      if (entry.linked && pick(2) == 0) {
        own_->disconnectFrom(entry.listener.get(), VESK::DeliverPending);
        entry.linked = false;
        return;
      }
    }
  }

  Stress& stress_;
  const int index_;
  std::mt19937 random_;
  Thread self_;
  std::vector<SharedListener> shared_;
  std::vector<DeliverPendingListener> deliverPending_;
  std::unique_ptr<Signal> own_;
};

// Sends plain Blocking on the shared emitters. It never receives a blocking
// send itself, so its waits cannot close a cycle.
void runBlocker(Stress& stress) {
  const Thread self = Thread::getCurrentThread();
  stress.start.wait();
  while (stress.running.load()) {
    stress.withShared(
        static_cast<int>(stress.counters.sends.load() % 2), [&](auto& emitter) {
          ++stress.counters.blockingStarted;
          emitter.send(Tracked(stress.counters.liveArguments), VESK::Blocking);
          ++stress.counters.blockingDone;
          ++stress.counters.sends;
        });
    self.process();  // Queued sends to sender-thread slots land here
  }
  stress.stoppedSending.arriveAndWait(self);
  stress.drained.arriveAndWait(self);
}

// Fails the test (and ends the process) when `done` is not signalled in
// time, instead of letting a deadlock hang the suite.
class Watchdog {
 public:
  explicit Watchdog(const Stress& stress)
      : thread_([this, &stress] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (condition_.wait_for(lock, kWatchdogLimit,
                                  [this] { return done_; })) {
            return;
          }
          const Counters& c = stress.counters;
          std::fprintf(stderr,
                       "stress watchdog: no progress after %lld s; blocking "
                       "sends started %ld, done %ld; sends %ld\n",
                       static_cast<long long>(kWatchdogLimit.count()),
                       c.blockingStarted.load(), c.blockingDone.load(),
                       c.sends.load());
          ADD_FAILURE() << "stress test hung";
          std::abort();
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    condition_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool done_ = false;  // guarded by mutex_
  std::thread thread_;
};

TEST(Stress, ConcurrentConnectCutSendAndProcess) {
  auto stress = std::make_unique<Stress>();
  Watchdog watchdog(*stress);
  stress->sink = std::make_unique<VESK::EventLoopThread>("stress-sink");

  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<std::promise<Thread>> registered(kWorkers);
  std::vector<std::thread> threads;
  for (int i = 0; i < kWorkers; ++i) {
    workers.push_back(std::make_unique<Worker>(*stress, i));
    threads.emplace_back(&Worker::run, workers.back().get(),
                         std::ref(registered[i]));
  }
  for (auto& promise : registered) {
    stress->workers.push_back(promise.get_future().get());
  }
  threads.emplace_back(runBlocker, std::ref(*stress));

  stress->start.open();
  std::this_thread::sleep_for(kRunFor);  // the run's length, not a sync
  stress->running = false;

  // Once nobody sends any more, the sink finishes what it has (its packets
  // must all run before the workers destroy the listeners), the workers
  // drain their queues, and then destroy their listeners.
  while (!stress->stoppedSending.allArrived()) {
    std::this_thread::sleep_for(1ms);
  }
  const Thread sinkThread = stress->sink->thread();
  stress->sink->stop();
  stress->teardown.open();
  for (auto& thread : threads) thread.join();

  const Counters& c = stress->counters;
  EXPECT_EQ(c.blockingStarted.load(), c.blockingDone.load());
  EXPECT_EQ(c.slotAfterOwnCut.load(), 0);
  EXPECT_EQ(c.slotOnWrongThread.load(), 0);
  int checked = 0;
  for (const auto& state : stress->deliverPendingStates) {
    EXPECT_EQ(state->delivered.load(), state->expected)
        << "a DeliverPending packet was lost or delivered twice";
    checked += state->expected;
  }
  for (const Thread& worker : stress->workers) {
    EXPECT_EQ(worker.getQueueSize(), 0);
  }
  EXPECT_EQ(sinkThread.getQueueSize(), 0);
  EXPECT_EQ(stress->sharedDeliver.numberOfConnections(), 0);
  EXPECT_EQ(stress->sharedDrop.numberOfConnections(), 0);
  EXPECT_EQ(c.liveConnections.load(), 0) << "connections not freed";
  EXPECT_EQ(c.liveArguments.load(), 0) << "payloads not freed";
  std::printf(
      "stress: %ld worker steps, %ld sends, %ld slot runs, %ld "
      "blocking sends, %d DeliverPending deliveries checked, %ld "
      "wake-ups\n",
      c.steps.load(), c.sends.load(), c.slotRuns.load(), c.blockingDone.load(),
      checked, c.wakeUps.load());
  EXPECT_GT(c.blockingDone.load(), 0);
  EXPECT_GT(checked, 0);
}

}  // namespace
