// The tracker base on its own: listener table, notification order and the
// state-change record. These run on the test thread, without the
// dispatcher.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "test_support.h"

namespace activitytracking::testing {
namespace {

using Calls = std::vector<std::pair<int, std::pair<State, State>>>;

// Adds a listener that appends (tag, (new, previous)) to `calls`.
int addTagged(ActivityTracker& tracker, Calls& calls, int tag) {
  return tracker.addListener([&calls, tag](State now, State before) {
    calls.push_back({tag, {now, before}});
  });
}

TEST(ActivityTrackerCore, ListenerIdsAreHandedOutOnceInOrder) {
  ActivityTracker tracker(UI);
  auto ignore = [](State, State) {};
  EXPECT_EQ(tracker.addListener(ignore), 1);
  EXPECT_EQ(tracker.addListener(ignore), 2);
  tracker.removeListener(1);
  EXPECT_EQ(tracker.addListener(ignore), 3);
  tracker.removeListener(42);  // never handed out: no effect
  tracker.removeListener(1);   // already removed: no effect
}

TEST(ActivityTrackerCore, ListenersRunInIdOrderWithNewAndPreviousState) {
  ActivityTracker tracker(Execution);
  Calls calls;
  std::vector<int> ids;
  for (int tag = 1; tag <= 5; ++tag)
    ids.push_back(addTagged(tracker, calls, tag));
  // Keep ids 2 and 5 only.
  for (int id : {1, 3, 4}) tracker.removeListener(ids[id - 1]);

  tracker.setState(Busy);
  tracker.notifyListeners(Idle, Active);

  const Calls expected = {{2, {Busy, Idle}},
                          {5, {Busy, Idle}},
                          {2, {Idle, Active}},
                          {5, {Idle, Active}}};
  EXPECT_EQ(calls, expected);
}

TEST(ActivityTrackerCore, NotifyWithoutListenersDoesNothing) {
  ActivityTracker tracker(UI);
  tracker.notifyListeners(Active, Idle);
}

TEST(ActivityTrackerCore, ChangeIsLoggedThenNotifiedAndSameStateIsANoOp) {
  LogCapture log;
  ActivityTracker tracker(UI);
  Calls calls;
  addTagged(tracker, calls, 1);

  tracker.setState(Idle);  // the state it already has
  EXPECT_TRUE(calls.empty());
  tracker.setState(Active);
  tracker.setState(Active);

  EXPECT_EQ(calls, (Calls{{1, {Active, Idle}}}));
  std::vector<std::string> texts;
  for (const auto& record : log.records()) {
    if (record.severity == 1) texts.push_back(record.text);
  }
  EXPECT_EQ(texts, std::vector<std::string>{"Setting activity 0 to 1"});
}

TEST(ActivityTrackerCore, MaskedSeverityWritesNoRecordButStillNotifies) {
  LogCapture log;
  ostra::log::local::admin::get()->setEnabledSeverities("activitytracking",
                                                        512);
  ActivityTracker tracker(ModelCompilation);
  Calls calls;
  addTagged(tracker, calls, 1);
  tracker.setState(Busy);
  ostra::log::local::admin::get()->setEnabledSeverities(
      "activitytracking", ostra::log::kAllSeverities);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_TRUE(log.records().empty());
}

TEST(ActivityTrackerCore, EmptyListenerIsRefusedAtOnce) {
  ActivityTracker tracker(UI);
  EXPECT_THROW(tracker.addListener(ActivityTracker::Listener()),
               std::invalid_argument);
  EXPECT_EQ(tracker.addListener([](State, State) {}), 1);
  tracker.setState(Active);  // nothing empty is left to call
}

TEST(ActivityTrackerCore, ThrowingListenerStopsThisChangeButKeepsState) {
  ActivityTracker tracker(UI);
  Calls calls;
  addTagged(tracker, calls, 1);
  tracker.addListener([](State, State) { throw std::runtime_error("boom"); });
  addTagged(tracker, calls, 3);

  EXPECT_THROW(tracker.setState(Active), std::runtime_error);
  EXPECT_EQ(calls, (Calls{{1, {Active, Idle}}}));
  // The state was stored and the lock released: the next change works.
  tracker.setState(Active);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_THROW(tracker.setState(Idle), std::runtime_error);
  EXPECT_EQ(calls.back(),
            (std::pair<int, std::pair<State, State>>{1, {Idle, Active}}));
}

TEST(ActivityTrackerCore, ListenerMayChangeTheTableOfItsOwnTracker) {
  ActivityTracker tracker(UI);
  Calls calls;
  int second = 0;
  int added = 0;
  tracker.addListener([&](State now, State before) {
    calls.push_back({1, {now, before}});
    tracker.removeListener(second);  // not called for this change
    if (added == 0) added = addTagged(tracker, calls, 9);  // from next on
  });
  second = addTagged(tracker, calls, 2);

  tracker.setState(Active);
  tracker.setState(Idle);

  EXPECT_EQ(
      calls,
      (Calls{{1, {Active, Idle}}, {1, {Idle, Active}}, {9, {Idle, Active}}}));
  EXPECT_EQ(added, 3);
}

TEST(ActivityTrackerCore, ListenerIsNeverCalledAfterRemoveReturned) {
  ActivityTracker tracker(UI);
  std::atomic<bool> removed{false};
  std::atomic<int> lateCalls{0};
  const int id = tracker.addListener([&](State, State) {
    if (removed.load()) ++lateCalls;
  });
  std::thread notifier([&] {
    for (int i = 0; i < 20000; ++i) tracker.notifyListeners(Active, Idle);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  tracker.removeListener(id);
  removed = true;
  notifier.join();
  EXPECT_EQ(lateCalls.load(), 0);
}

TEST(IntervalTrackerCore, PlainEventChangesNothing) {
  IntervalActivityTracker tracker(Execution, 1, 1);
  Calls calls;
  addTagged(tracker, calls, 1);
  tracker.recordEvent();
  tracker.recordIntervalEnd();  // no interval open
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace activitytracking::testing

namespace activitytracking::testing {
namespace {

// The registries belong to the dispatcher thread; debug builds check it.
TEST(RegistryDeathTest, WalkingARegistryOffTheDispatcherThreadAsserts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEBUG_DEATH(UIActivityTracker::recordUIEvent(), "dispatcher thread");
}

}  // namespace
}  // namespace activitytracking::testing
