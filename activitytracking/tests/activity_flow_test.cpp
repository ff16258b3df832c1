// Trackers driven through the process-wide functions: the dispatcher thread,
// the timers, registries, composites and time-out requests. Time-outs are
// 1 to 3 s; independent scenarios share one timeline where they can.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace activitytracking::testing {
namespace {

using namespace std::chrono_literals;
using Transitions = std::vector<std::pair<State, State>>;

// Every listener call the library makes comes from one thread, and that is
// not the thread that reported the activity.
void expectAllOnOneForeignThread(
    const std::vector<const Recording*>& recordings) {
  std::set<std::thread::id> threads;
  for (const Recording* recording : recordings) {
    for (const Change& change : recording->changes()) {
      threads.insert(change.thread);
    }
  }
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(EventTracker, IdleTimeoutCountsFromTheLastEventAndZeroNeverExpires) {
  auto never = createUIActivityTracker(0);
  auto oneSecond = createUIActivityTracker(1);
  auto threeSeconds = createUIActivityTracker(3);
  Recording neverLog(never), oneLog(oneSecond), threeLog(threeSeconds);

  // Events 0.3 s apart keep the 1 s tracker Active throughout.
  Clock::time_point lastEvent;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) std::this_thread::sleep_for(300ms);
    lastEvent = Clock::now();
    recordUIEvent();
  }

  const auto oneIdle = oneLog.waitForState(Idle);
  const auto threeIdle = threeLog.waitForState(Idle);
  ASSERT_TRUE(oneIdle && threeIdle);
  flushDispatcher();

  EXPECT_EQ(oneLog.transitions(),
            (Transitions{{Active, Idle}, {Idle, Active}}));
  EXPECT_EQ(threeLog.transitions(),
            (Transitions{{Active, Idle}, {Idle, Active}}));
  EXPECT_EQ(neverLog.transitions(), (Transitions{{Active, Idle}}));
  EXPECT_GE(secondsBetween(lastEvent, oneIdle->at), 0.95);
  EXPECT_LT(secondsBetween(lastEvent, oneIdle->at), 2.5);
  EXPECT_GE(secondsBetween(lastEvent, threeIdle->at), 2.95);
  EXPECT_LT(secondsBetween(lastEvent, threeIdle->at), 4.5);
  expectAllOnOneForeignThread({&neverLog, &oneLog, &threeLog});
}

TEST(IntervalTracker, BusyAndIdleTimeoutsAroundOneInterval) {
  auto both = createExecutionActivityTracker(1, 1);
  auto neither = createExecutionActivityTracker(0, 0);
  auto idleOnly = createExecutionActivityTracker(1, 0);
  Recording bothLog(both), neitherLog(neither), idleOnlyLog(idleOnly);

  const Clock::time_point start = Clock::now();
  recordExecutionStart();
  recordExecutionStart();  // starts do not nest: one stop closes it
  const auto busy = bothLog.waitForState(Busy);
  ASSERT_TRUE(busy);
  std::this_thread::sleep_until(start + 1600ms);
  const Clock::time_point stop = Clock::now();
  recordExecutionStop();
  std::this_thread::sleep_until(stop + 300ms);
  const Clock::time_point unmatchedStop = Clock::now();
  recordExecutionStop();  // nothing open: no change, no timer touched

  const auto bothIdle = bothLog.waitForState(Idle);
  const auto idleOnlyIdle = idleOnlyLog.waitForState(Idle);
  ASSERT_TRUE(bothIdle && idleOnlyIdle);
  flushDispatcher();

  EXPECT_EQ(
      bothLog.transitions(),
      (Transitions{
          {Active, Idle}, {Busy, Active}, {Active, Busy}, {Idle, Active}}));
  EXPECT_EQ(neitherLog.transitions(), (Transitions{{Active, Idle}}));
  EXPECT_EQ(idleOnlyLog.transitions(),
            (Transitions{{Active, Idle}, {Idle, Active}}));
  EXPECT_GE(secondsBetween(start, busy->at), 0.95);
  EXPECT_GE(secondsBetween(stop, bothIdle->at), 0.95);
  EXPECT_GE(secondsBetween(stop, idleOnlyIdle->at), 0.95);
  // Had the unmatched stop restarted the idle wait, Idle would come a full
  // second after it.
  EXPECT_LT(secondsBetween(unmatchedStop, bothIdle->at), 0.95);
  expectAllOnOneForeignThread({&bothLog, &neitherLog, &idleOnlyLog});
}

// One process-wide report and the class of trackers it must reach.
struct ReportCase {
  const char* name;
  std::function<void()> report;
  Activity reached;
};

void PrintTo(const ReportCase& reportCase, std::ostream* out) {
  *out << reportCase.name;
}

class ProcessWideReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ProcessWideReport, ReachesEveryTrackerOfItsClassOnly) {
  const std::vector<std::pair<Activity, std::shared_ptr<ActivityTracker>>>
      trackers = {
          {UI, createUIActivityTracker(0)},
          {UI, createUIActivityTracker(0)},
          {Execution, createExecutionActivityTracker(0, 0)},
          {Execution, createExecutionActivityTracker(0, 0)},
          {Simulation, createSimulationActivityTracker(0, 0)},
          {Simulation, createSimulationActivityTracker(0, 0)},
          {ModelCompilation, createModelCompilationActivityTracker(0, 0)},
          {ModelCompilation, createModelCompilationActivityTracker(0, 0)},
      };
  std::vector<std::unique_ptr<Recording>> logs;
  for (const auto& entry : trackers) {
    logs.push_back(std::make_unique<Recording>(entry.second));
  }

  GetParam().report();
  flushDispatcher();

  for (std::size_t i = 0; i < trackers.size(); ++i) {
    const Transitions expected = trackers[i].first == GetParam().reached
                                     ? Transitions{{Active, Idle}}
                                     : Transitions{};
    EXPECT_EQ(logs[i]->transitions(), expected) << "tracker " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ProcessWideReport,
    ::testing::Values(
        ReportCase{"UIEvent", [] { recordUIEvent(); }, UI},
        ReportCase{"ExecutionStart", [] { recordExecutionStart(); }, Execution},
        ReportCase{"SimulationStart", [] { recordSimulationStart(); },
                   Simulation},
        ReportCase{"ModelCompilationStart",
                   [] { recordModelCompilationStart(); }, ModelCompilation}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessWideReport, ReachesTrackersRegisteredBeforeItInQueueOrder) {
  recordUIEvent();  // queued before the tracker's registration
  auto late = createUIActivityTracker(0);
  Recording lateLog(late);
  flushDispatcher();
  EXPECT_EQ(lateLog.count(), 0u);

  // Created on this thread, then reported on it: registration goes first.
  auto early = createUIActivityTracker(0);
  Recording earlyLog(early);
  recordUIEvent();
  ASSERT_TRUE(earlyLog.waitForCount(1));
  ASSERT_TRUE(lateLog.waitForCount(1));

  // Nothing registered for the class: the report changes nothing.
  recordModelCompilationStop();
  recordExecutionStop();
  flushDispatcher();
}

TEST(CompositeTracker, FollowsUserInterfaceAndExecutionThroughAWholeDay) {
  auto ui = createUIActivityTracker(1);
  auto execution = createExecutionActivityTracker(1, 1);
  auto composite = createCompositeActivityTracker({ui, execution});
  Recording uiLog(ui), executionLog(execution), compositeLog(composite);

  recordUIEvent();
  ASSERT_TRUE(compositeLog.waitForCount(1));
  recordExecutionStart();                 // already Active: no new notification
  ASSERT_TRUE(uiLog.waitForState(Idle));  // interval still open
  ASSERT_TRUE(executionLog.waitForState(Busy));  // Busy keeps it Active
  flushDispatcher();
  EXPECT_EQ(compositeLog.count(), 1u);

  recordExecutionStop();
  const auto executionIdle = executionLog.waitForState(Idle);
  const auto compositeIdle = compositeLog.waitForState(Idle);
  ASSERT_TRUE(executionIdle && compositeIdle);
  flushDispatcher();

  EXPECT_EQ(compositeLog.transitions(),
            (Transitions{{Active, Idle}, {Idle, Active}}));
  EXPECT_EQ(
      executionLog.transitions(),
      (Transitions{
          {Active, Idle}, {Busy, Active}, {Active, Busy}, {Idle, Active}}));
  expectAllOnOneForeignThread({&uiLog, &executionLog, &compositeLog});
}

TEST(CompositeTracker, StartsIdleAndFollowsOnlyLaterChanges) {
  auto execution = createExecutionActivityTracker(0, 0);
  auto ui = createUIActivityTracker(0);
  Recording executionLog(execution);
  recordExecutionStart();
  ASSERT_TRUE(executionLog.waitForCount(1));

  auto composite = createCompositeActivityTracker({execution, ui});
  auto empty = createCompositeActivityTracker({});
  Recording compositeLog(composite), emptyLog(empty);
  flushDispatcher();
  EXPECT_EQ(compositeLog.count(), 0u);  // an Active component is not noticed

  recordUIEvent();
  ASSERT_TRUE(compositeLog.waitForCount(1));
  EXPECT_EQ(compositeLog.transitions(), (Transitions{{Active, Idle}}));
  EXPECT_EQ(emptyLog.count(), 0u);
  recordExecutionStop();
}

TEST(CompositeTracker, SharesOwnershipOfItsComponents) {
  auto ui = createUIActivityTracker(0);
  std::weak_ptr<UIActivityTracker> watch = ui;
  auto composite = createCompositeActivityTracker({ui});
  ui.reset();
  EXPECT_FALSE(watch.expired());
  composite.reset();
  EXPECT_TRUE(watch.expired());
}

TEST(CompositeTracker, EmptyComponentIsRefusedAndEarlierListenersRemoved) {
  auto ui = createUIActivityTracker(0);
  EXPECT_THROW(createCompositeActivityTracker({ui, nullptr}),
               std::invalid_argument);
  // Had the failed composite's listener stayed on `ui`, this event would
  // call into freed memory (caught by the sanitizer builds).
  recordUIEvent();
  flushDispatcher();
}

TEST(TimeoutRequests, ApplyOnTheDispatcherAndIgnoreWrongKinds) {
  auto ui = createUIActivityTracker(2);
  auto execution = createExecutionActivityTracker(3, 4);
  auto composite = createCompositeActivityTracker({ui});

  setIdleTimeout(composite, 5);
  setIdleTimeout(nullptr, 5);
  setBusyTimeout(ui, 5);
  setBusyTimeout(composite, 5);
  setBusyTimeout(nullptr, 5);
  setIdleTimeout(execution, 7);
  setBusyTimeout(execution, 8);
  flushDispatcher();

  EXPECT_EQ(getIdleTimeout(composite), 0u);
  EXPECT_EQ(getIdleTimeout(nullptr), 0u);
  EXPECT_EQ(getBusyTimeout(ui), 0u);
  EXPECT_EQ(getBusyTimeout(composite), 0u);
  EXPECT_EQ(getIdleTimeout(ui), 2u);
  EXPECT_EQ(getIdleTimeout(execution), 7u);
  EXPECT_EQ(getBusyTimeout(execution), 8u);
}

}  // namespace
}  // namespace activitytracking::testing
