// The engine's main thread ("TARVEX") and the engine-mode lookup of the
// current thread, driven through the engine stand-ins.
#include <enginequery/enginequery.h>
#include <eventsvc/eventsvc.h>
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "signal_test_support.h"

namespace {

using VESK::Thread;
using vesk_test::RecordingListener;

const std::string kMain(VESK::mainThreadName);

// Must run before anything registers the main name in this process.
TEST(MainThread, LookupBlocksUntilRegisteredThenKeepsFirstInstance) {
  std::promise<Thread> found;
  std::future<Thread> lookup = found.get_future();
  std::thread waiter([&] { found.set_value(Thread::getNamedThread(kMain)); });
  EXPECT_EQ(lookup.wait_for(std::chrono::milliseconds(200)),
            std::future_status::timeout);

  Thread::registerThread(kMain, {});
  const Thread self = Thread::getCurrentThread();
  ASSERT_EQ(lookup.wait_for(vesk_test::kDeadline), std::future_status::ready);
  waiter.join();
  const Thread main = lookup.get();
  EXPECT_EQ(main, self);
  EXPECT_EQ(main.getName(), kMain);

  // The main name is not an ordinary name, and it keeps denoting the engine
  // instance that registered first.
  enginequery::testing::setEngineInstanceId(2);
  std::thread([] { Thread::registerThread(kMain, {}); }).join();
  enginequery::testing::setEngineInstanceId(1);
  EXPECT_EQ(Thread::getNamedThread(kMain), self);
}

// Engine mode before any engine thread is known (the lookups may skip the
// event-manager probe then, since it could not change their answers): a
// thread's own record is what getCurrentThread gives in either mode, and
// getCurrentThreadIfRegistered follows the switch.
TEST(EngineModeLookup, FollowsTheSwitchWithNoEngineThreadActive) {
  enginequery::testing::setEngineInstanceId(777);  // never registered
  enginequery::testing::setEngineContextActive(true);
  std::thread([] {
    ostra::msg_svc::eventmgr::testing::setEngineMode(true);
    EXPECT_TRUE(Thread::getCurrentThreadIfRegistered().isEmpty());
    const Thread own = Thread::getCurrentThread();
    EXPECT_FALSE(own.isEmpty());
    EXPECT_EQ(Thread::getCurrentThread(), own);
    EXPECT_TRUE(Thread::getCurrentThreadIfRegistered().isEmpty());
    ostra::msg_svc::eventmgr::testing::setEngineMode(false);
    EXPECT_EQ(Thread::getCurrentThreadIfRegistered(), own);
    EXPECT_EQ(Thread::getCurrentThread(), own);
    ostra::msg_svc::eventmgr::testing::setEngineMode(true);
    EXPECT_TRUE(Thread::getCurrentThreadIfRegistered().isEmpty());
    ostra::msg_svc::eventmgr::testing::setEngineMode(false);
  }).join();
  enginequery::testing::setEngineContextActive(false);
  enginequery::testing::setEngineInstanceId(1);
}

// Engine mode, switched on through the stand-ins for the life of a test.
class EngineMode : public ::testing::Test {
 protected:
  EngineMode() {
    ostra::msg_svc::eventmgr::testing::setEngineMode(true);
    enginequery::testing::setEngineInstanceId(42);
    enginequery::testing::setEngineContextActive(false);
    std::thread([this] {
      Thread::registerThread(kMain, {});
      engineThread = Thread::getCurrentThread();
    }).join();
  }
  ~EngineMode() override {
    ostra::msg_svc::eventmgr::testing::setEngineMode(false);
    enginequery::testing::setEngineInstanceId(1);
    enginequery::testing::setEngineContextActive(false);
  }

  // The current-thread lookups as seen by a new thread.
  static std::pair<Thread, Thread> lookupsOnNewThread() {
    std::pair<Thread, Thread> result;
    std::thread([&] {
      result.first = Thread::getCurrentThreadIfRegistered();
      result.second = Thread::getCurrentThread();
    }).join();
    return result;
  }

  Thread engineThread;
};

TEST_F(EngineMode, ActiveContextMakesTheEngineThreadCurrent) {
  enginequery::testing::setEngineContextActive(true);
  const auto [ifRegistered, current] = lookupsOnNewThread();
  EXPECT_EQ(ifRegistered, engineThread);
  EXPECT_EQ(current, engineThread);
}

TEST_F(EngineMode, InactiveContextGivesTheThreadItsOwnRecord) {
  const auto [ifRegistered, current] = lookupsOnNewThread();
  EXPECT_TRUE(ifRegistered.isEmpty());
  EXPECT_FALSE(current.isEmpty());
  EXPECT_NE(current, engineThread);
  EXPECT_EQ(current.getName(), "unnamed thread");
}

TEST_F(EngineMode, UnregisteredInstanceGivesTheThreadItsOwnRecord) {
  enginequery::testing::setEngineInstanceId(43);
  enginequery::testing::setEngineContextActive(true);
  const auto [ifRegistered, current] = lookupsOnNewThread();
  EXPECT_TRUE(ifRegistered.isEmpty());
  EXPECT_NE(current, engineThread);
}

TEST_F(EngineMode, ThreadKeepsOneRecordAcrossLookups) {
  std::thread([] {
    const Thread first = Thread::getCurrentThread();
    EXPECT_EQ(Thread::getCurrentThread(), first);
  }).join();
}

TEST_F(EngineMode, EngineModeOffFallsBackToPlainLookup) {
  enginequery::testing::setEngineContextActive(true);
  ostra::msg_svc::eventmgr::testing::setEngineMode(false);
  const auto [ifRegistered, current] = lookupsOnNewThread();
  EXPECT_TRUE(ifRegistered.isEmpty());
  EXPECT_NE(current, engineThread);
}

// A listener whose slot runs on the engine thread is run at once by any
// thread that sends while the engine context is active there.
TEST_F(EngineMode, SendFromActiveContextDeliversAtOnce) {
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, engineThread);
  std::thread([&] {
    enginequery::testing::setEngineContextActive(true);
    emitter.send(1);
    enginequery::testing::setEngineContextActive(false);
    emitter.send(2);
  }).join();
  EXPECT_EQ(listener.values(), std::vector<int>{1});
  EXPECT_EQ(engineThread.getQueueSize(), 1);
  engineThread.process();
  EXPECT_EQ(listener.values(), (std::vector<int>{1, 2}));
}

}  // namespace
