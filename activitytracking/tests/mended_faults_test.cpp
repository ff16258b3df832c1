// The library's answers to faults the plain design would have: trackers
// destroyed while requests for them are queued or their timers fire, stale
// timer expiries, time-out changes while a wait runs, exceptions on the
// dispatcher thread, and time-outs read from other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.h"

namespace activitytracking::testing {
namespace {

using namespace std::chrono_literals;
using Transitions = std::vector<std::pair<State, State>>;

// Holds the dispatcher thread inside a listener until released, so that
// requests and timer expiries pile up behind it in a known order.
class DispatcherBlocker {
 public:
  DispatcherBlocker() : tracker_(createSimulationActivityTracker(0, 0)) {
    tracker_->addListener([this](State now, State) {
      if (now != Active) return;
      entered_.set_value();
      release_.wait_for(kPatience);
    });
  }
  ~DispatcherBlocker() { release(); }

  // Queues the blocking request and returns once the dispatcher is held.
  void block() {
    recordSimulationStart();
    ASSERT_EQ(entered_.get_future().wait_for(kPatience),
              std::future_status::ready);
  }
  void release() {
    if (!released_.exchange(true)) releasePromise_.set_value();
  }

 private:
  std::shared_ptr<SimulationActivityTracker> tracker_;
  std::promise<void> entered_;
  std::promise<void> releasePromise_;
  std::shared_future<void> release_ = releasePromise_.get_future().share();
  std::atomic<bool> released_{false};
};

TEST(StaleExpiry, ExpiryQueuedBehindNewerActivityIsDropped) {
  auto ui = createUIActivityTracker(1);
  auto execution = createExecutionActivityTracker(1, 1);
  Recording uiLog(ui), executionLog(execution);
  DispatcherBlocker blocker;

  const Clock::time_point start = Clock::now();
  recordUIEvent();
  recordExecutionStart();
  ASSERT_TRUE(uiLog.waitForCount(1) && executionLog.waitForCount(1));

  blocker.block();
  recordUIEvent();  // newer activity, queued first ...
  recordExecutionStop();
  // ... then both waits end while the dispatcher is held, and their
  // expiries queue up behind it.
  std::this_thread::sleep_until(start + 1600ms);
  const Clock::time_point released = Clock::now();
  blocker.release();

  const auto uiIdle = uiLog.waitForState(Idle);
  const auto executionIdle = executionLog.waitForState(Idle);
  ASSERT_TRUE(uiIdle && executionIdle);
  flushDispatcher();

  // The UI event restarted the idle wait, and the stopped interval never
  // became Busy.
  EXPECT_EQ(uiLog.transitions(), (Transitions{{Active, Idle}, {Idle, Active}}));
  EXPECT_EQ(executionLog.transitions(),
            (Transitions{{Active, Idle}, {Idle, Active}}));
  EXPECT_GE(secondsBetween(released, uiIdle->at), 0.9);
  EXPECT_GE(secondsBetween(released, executionIdle->at), 0.9);
}

TEST(TimeoutChange, MovesThePendingWaitToItsStartPlusTheNewValue) {
  auto shortened = createUIActivityTracker(3);       // 3 -> 2 at 0.8 s
  auto lengthened = createUIActivityTracker(2);      // 2 -> 3 at 0.8 s
  auto passed = createUIActivityTracker(3);          // 3 -> 1 at 1.5 s
  auto noWait = createUIActivityTracker(0);          // 0 -> 1: arms nothing
  auto disabled = createUIActivityTracker(2);        // 2 -> 0: cancelled
  auto busy = createExecutionActivityTracker(0, 3);  // busy 3 -> 2 at 0.8 s
  Recording shortenedLog(shortened), lengthenedLog(lengthened),
      passedLog(passed), noWaitLog(noWait), disabledLog(disabled),
      busyLog(busy);

  const Clock::time_point start = Clock::now();
  recordUIEvent();
  recordExecutionStart();
  std::this_thread::sleep_until(start + 800ms);
  setIdleTimeout(shortened, 2);
  setIdleTimeout(lengthened, 3);
  setIdleTimeout(noWait, 1);
  setIdleTimeout(disabled, 0);
  setBusyTimeout(busy, 2);
  std::this_thread::sleep_until(start + 1500ms);
  setIdleTimeout(passed, 1);

  const auto shortenedIdle = shortenedLog.waitForState(Idle);
  const auto lengthenedIdle = lengthenedLog.waitForState(Idle);
  const auto passedIdle = passedLog.waitForState(Idle);
  const auto busyBusy = busyLog.waitForState(Busy);
  ASSERT_TRUE(shortenedIdle && lengthenedIdle && passedIdle && busyBusy);
  recordExecutionStop();
  flushDispatcher();

  // Counted from the event, not from the change (that would be 0.8 s
  // later) nor cut short.
  EXPECT_GE(secondsBetween(start, shortenedIdle->at), 1.95);
  EXPECT_LT(secondsBetween(start, shortenedIdle->at), 2.7);
  EXPECT_GE(secondsBetween(start, lengthenedIdle->at), 2.95);
  EXPECT_LT(secondsBetween(start, lengthenedIdle->at), 3.7);
  EXPECT_GE(secondsBetween(start, busyBusy->at), 1.95);
  EXPECT_LT(secondsBetween(start, busyBusy->at), 2.7);
  // Already past start + 1 s when changed: ends at once.
  EXPECT_GE(secondsBetween(start, passedIdle->at), 1.45);
  EXPECT_LT(secondsBetween(start, passedIdle->at), 2.4);
  EXPECT_EQ(noWaitLog.transitions(), (Transitions{{Active, Idle}}));
  EXPECT_EQ(getIdleTimeout(noWait), 1u);
  // Its wait would have ended at 2 s, before the 3 s one above.
  EXPECT_EQ(disabledLog.transitions(), (Transitions{{Active, Idle}}));
}

TEST(DispatcherFailures, ThrowingListenerIsLoggedAndWorkGoesOn) {
  LogCapture log;
  auto throwing = createUIActivityTracker(0);
  auto next = createUIActivityTracker(0);
  auto execution = createExecutionActivityTracker(1, 0);
  Recording nextLog(next), executionLog(execution);
  throwing->addListener([](State, State) {
    throw std::runtime_error("listener failed on purpose");
  });
  execution->addListener([](State now, State) {
    if (now == Idle) throw std::logic_error("idle listener failed");
  });

  recordUIEvent();
  recordExecutionStart();
  recordExecutionStop();

  // The tracker after the failing one got the same report, and the next
  // request was handled.
  EXPECT_TRUE(nextLog.waitForCount(1));
  EXPECT_TRUE(executionLog.waitForCount(1));
  EXPECT_TRUE(log.waitFor(512, "listener failed on purpose"));
  // A failure inside a timer's expiry is logged the same way.
  EXPECT_TRUE(executionLog.waitForState(Idle));
  EXPECT_TRUE(log.waitFor(512, "idle listener failed"));
  recordUIEvent();
  flushDispatcher();
}

TEST(TimeoutReads, RaceFreeWhileTheDispatcherWritesThem) {
  auto execution = createExecutionActivityTracker(1, 1);
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
  std::thread reader([&] {
    unsigned int last = 0;
    while (!done.load()) {
      last = getIdleTimeout(execution) + getBusyTimeout(execution);
      started = true;
    }
    EXPECT_GE(last, 2u);
  });
  while (!started.load()) std::this_thread::yield();
  for (unsigned int i = 1; i <= 500; ++i) {
    setIdleTimeout(execution, i);
    setBusyTimeout(execution, i + 1);
  }
  flushDispatcher();
  done = true;
  reader.join();
  EXPECT_EQ(getIdleTimeout(execution), 500u);
  EXPECT_EQ(getBusyTimeout(execution), 501u);
}

// A tracker owned only by `box`, so that a listener can drop it.
template <class Tracker>
using Box = std::shared_ptr<std::shared_ptr<Tracker>>;

TEST(TrackerLifetime, ListenerMayDropTheTrackerCallingIt) {
  auto box = std::make_shared<std::shared_ptr<UIActivityTracker>>(
      createUIActivityTracker(0));
  std::weak_ptr<UIActivityTracker> watch = *box;
  std::weak_ptr<std::shared_ptr<UIActivityTracker>> weakBox = box;
  std::atomic<int> calls{0};
  (*box)->addListener([weakBox, &calls](State, State) {
    ++calls;
    if (auto owner = weakBox.lock()) owner->reset();
  });
  auto later = createUIActivityTracker(0);
  Recording laterLog(later);

  recordUIEvent();
  ASSERT_TRUE(laterLog.waitForCount(1));  // the walk went on past it
  flushDispatcher();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(calls.load(), 1);
  recordUIEvent();  // its registry entry is gone
  flushDispatcher();
}

TEST(TrackerLifetime, ListenerMayDropOtherTrackersAndComposites) {
  auto first = createUIActivityTracker(0);
  auto victim = std::make_shared<std::shared_ptr<UIActivityTracker>>(
      createUIActivityTracker(0));
  std::atomic<int> victimCalls{0};
  (*victim)->addListener([&](State, State) { ++victimCalls; });
  auto execution = createExecutionActivityTracker(0, 0);
  auto composite = std::make_shared<std::shared_ptr<CompositeActivityTracker>>(
      createCompositeActivityTracker({execution}));
  std::weak_ptr<CompositeActivityTracker> compositeWatch = *composite;
  // The first UI tracker's listener drops the victim, registered after it,
  // in the middle of the walk over their registry.
  first->addListener([victim](State, State) { victim->reset(); });
  // The composite's own listener drops the composite.
  (*composite)->addListener([composite](State, State) { composite->reset(); });
  composite.reset();
  victim.reset();

  recordUIEvent();
  recordExecutionStart();
  flushDispatcher();
  EXPECT_EQ(victimCalls.load(), 0);
  EXPECT_TRUE(compositeWatch.expired());
  recordUIEvent();
  recordExecutionStop();
  flushDispatcher();
}

// Trackers come and go on this thread and on the dispatcher thread while
// two threads report and 1 s timers expire around their destruction.
TEST(TrackerLifetime, DestroyedWhileReportsFlowAndTimersFire) {
  std::atomic<bool> done{false};
  std::thread uiReporter([&] {
    while (!done.load()) {
      for (int i = 0; i < 200; ++i) recordUIEvent();
      std::this_thread::sleep_for(1ms);
    }
  });
  std::thread intervalReporter([&] {
    for (int round = 0; !done.load(); ++round) {
      recordExecutionStart();
      recordSimulationStart();
      recordModelCompilationStart();
      std::this_thread::sleep_for(round % 3 == 0 ? 1100ms : 20ms);
      recordExecutionStop();
      recordSimulationStop();
      recordModelCompilationStop();
      std::this_thread::sleep_for(round % 4 == 0 ? 1100ms : 10ms);
    }
  });

  // A tracker that owns itself through its listeners until its next change
  // drops it; whatever is left is dropped at the end.
  struct Box {
    std::mutex mutex;
    std::shared_ptr<ActivityTracker> tracker;
    void drop() {
      std::shared_ptr<ActivityTracker> doomed;
      std::lock_guard<std::mutex> lock(mutex);
      doomed.swap(tracker);
    }
  };
  std::vector<std::weak_ptr<Box>> boxes;

  constexpr std::size_t kAlive = 48;
  std::vector<std::shared_ptr<ActivityTracker>> alive(kAlive);
  std::atomic<int> listenerCalls{0};
  const auto until = Clock::now() + 3s;
  for (std::size_t i = 0; Clock::now() < until; ++i) {
    std::shared_ptr<ActivityTracker> made;
    switch (i % 6) {
      case 0:
        made = createUIActivityTracker(1);
        break;
      case 1:
        made = createExecutionActivityTracker(1, 1);
        break;
      case 2:
        made = createSimulationActivityTracker(1, 1);
        break;
      case 3:
        made = createModelCompilationActivityTracker(1, 1);
        break;
      case 4:
        made = std::make_shared<UIActivityTracker>(1);
        break;
      default:
        made = createCompositeActivityTracker(
            {alive[(i + 7) % kAlive] ? alive[(i + 7) % kAlive]
                                     : createUIActivityTracker(1),
             createExecutionActivityTracker(1, 1)});
        break;
    }
    made->addListener([&listenerCalls](State, State) { ++listenerCalls; });
    if (i % 5 == 0) {
      // Owned by its own listener until its next change drops it, on the
      // dispatcher thread.
      auto box = std::make_shared<Box>();
      box->tracker = made;
      std::weak_ptr<Box> weakBox = box;
      made->addListener([weakBox](State, State) {
        if (auto owner = weakBox.lock()) owner->drop();
      });
      if (i % 10 == 0) made->addListener([box](State, State) {});
      boxes.push_back(weakBox);
    }
    alive[i % kAlive] = std::move(made);  // drops the one made kAlive ago
    std::this_thread::sleep_for(20ms);
  }
  done = true;
  uiReporter.join();
  intervalReporter.join();
  alive.clear();
  for (const auto& weakBox : boxes) {
    if (auto box = weakBox.lock()) box->drop();
  }
  flushDispatcher();
  EXPECT_GT(listenerCalls.load(), 0);
}

}  // namespace
}  // namespace activitytracking::testing
