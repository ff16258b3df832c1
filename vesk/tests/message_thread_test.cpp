// Message threads: names, posting with wake-up, the processing operations,
// clearing, and the cross-thread sync-call marker.
#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <string>

#include "signal_test_support.h"

namespace {

using VESK::Thread;
using vesk_test::parkedThread;
using vesk_test::RecordingListener;
using vesk_test::waitUntil;

// Runs `body` on a new thread and returns that thread's record.
Thread onNewThread(const std::function<void()>& body) {
  Thread record;
  std::thread([&] {
    body();
    record = Thread::getCurrentThread();
  }).join();
  return record;
}

TEST(NamedThread, RegisteredNameDenotesTheRegisteringThread) {
  const Thread a = onNewThread([] { Thread::registerThread("worker-a", {}); });
  Thread found;
  std::thread([&] { found = Thread::getNamedThread("worker-a"); }).join();
  EXPECT_EQ(found, a);
  EXPECT_EQ(found.getName(), "worker-a");
}

TEST(NamedThread, UnknownNameGivesEmptyHandleAndRegistersNothing) {
  EXPECT_TRUE(Thread::getNamedThread("never-registered").isEmpty());
  EXPECT_TRUE(Thread::getNamedThread("never-registered").isEmpty());
}

TEST(NamedThread, NameMovesToTheLatestRegistrantAndOldNamesStay) {
  const Thread a = onNewThread([] {
    Thread::registerThread("shared-name", {});
    Thread::registerThread("a-second-name", {});
  });
  EXPECT_EQ(Thread::getNamedThread("shared-name"), a);
  EXPECT_EQ(Thread::getNamedThread("a-second-name"), a);
  EXPECT_EQ(a.getName(), "a-second-name");

  const Thread b =
      onNewThread([] { Thread::registerThread("shared-name", {}); });
  EXPECT_EQ(Thread::getNamedThread("shared-name"), b);
  EXPECT_EQ(Thread::getNamedThread("a-second-name"), a);
}

class MessageThreadTest : public ::testing::Test {
 protected:
  MessageThreadTest() : receiver(parkedThread()) {
    VESK::connect(
        emitter, listener, [this](int v) { listener.record(v); }, receiver);
  }
  Thread receiver;
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
};

TEST_F(MessageThreadTest, WakeUpRunsAfterEveryPost) {
  std::vector<int> queuedAtWakeUp;
  std::thread([&] {
    Thread::registerThread("woken", [&] {
      queuedAtWakeUp.push_back(Thread::getNamedThread("woken").getQueueSize());
    });
    VESK::Emitter<void(int)> local;
    RecordingListener target;
    VESK::connect(local, target, [&](int v) { target.record(v); });
    for (int i = 0; i < 3; ++i) local.send(i, VESK::Queued);
    Thread::getCurrentThread().process();
    EXPECT_EQ(target.values(), (std::vector<int>{0, 1, 2}));
  }).join();
  EXPECT_EQ(queuedAtWakeUp, (std::vector<int>{1, 2, 3}));
}

TEST_F(MessageThreadTest, ProcessOneTakesOnePacket) {
  receiver.processOne();  // empty queue: nothing happens
  emitter.send(1, VESK::Queued);
  emitter.send(2, VESK::Queued);
  receiver.processOne();
  EXPECT_EQ(listener.values(), std::vector<int>{1});
  EXPECT_EQ(receiver.getQueueSize(), 1);
  receiver.process();
  EXPECT_EQ(listener.values(), (std::vector<int>{1, 2}));
}

TEST_F(MessageThreadTest, ProcessCurrentQueueLeavesPacketsPostedDuringIt) {
  VESK::Emitter<void(int)> reposting;
  RecordingListener echo;
  VESK::connect(
      reposting, echo,
      [&](int v) {
        echo.record(v);
        reposting.send(v + 10, VESK::Queued);
      },
      receiver);
  for (int i = 0; i < 3; ++i) reposting.send(i, VESK::Queued);
  receiver.processCurrentQueue();
  EXPECT_EQ(echo.values(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(receiver.getQueueSize(), 3);
  reposting.disconnectFromAll(VESK::DropPending);
  receiver.process();
}

TEST_F(MessageThreadTest, ProcessRunsPacketsPostedWhileItRuns) {
  VESK::Emitter<void(int)> chain;
  RecordingListener links;
  VESK::connect(
      chain, links,
      [&](int v) {
        links.record(v);
        if (v < 5) chain.send(v + 1, VESK::Queued);
      },
      receiver);
  chain.send(0, VESK::Queued);
  receiver.process();
  EXPECT_EQ(links.calls(), 6);
  EXPECT_EQ(receiver.getQueueSize(), 0);
}

struct ProcessingCase {
  const char* name;
  void (Thread::*operation)() const;
};

void PrintTo(const ProcessingCase& c, std::ostream* os) { *os << c.name; }

class ProcessingMessages : public ::testing::TestWithParam<ProcessingCase> {};

TEST_P(ProcessingMessages, TrueInsideSlotsOnly) {
  const Thread receiver = parkedThread();
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  bool insideSlot = false;
  VESK::connect(
      emitter, listener,
      [&](int) { insideSlot = receiver.processingMessages(); }, receiver);
  emitter.send(1, VESK::Queued);
  EXPECT_FALSE(receiver.processingMessages());
  (receiver.*GetParam().operation)();
  EXPECT_TRUE(insideSlot);
  EXPECT_FALSE(receiver.processingMessages());
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ProcessingMessages,
    ::testing::Values(ProcessingCase{"Process", &Thread::process},
                      ProcessingCase{"ProcessOne", &Thread::processOne},
                      ProcessingCase{"ProcessCurrentQueue",
                                     &Thread::processCurrentQueue}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageThreadTest, ClearQueueRunsNoSlot) {
  for (int i = 0; i < 3; ++i) emitter.send(i, VESK::Queued);
  receiver.clearQueue();
  EXPECT_EQ(receiver.getQueueSize(), 0);
  receiver.process();
  EXPECT_TRUE(listener.values().empty());
}

// A cleared packet counts as delivered without a connection: the blocking
// sender that waits for it must come back instead of waiting for ever.
TEST_F(MessageThreadTest, ClearQueueReleasesBlockingSender) {
  for (VESK::SendMode mode : {VESK::Blocking, VESK::BlockingProcessing}) {
    std::promise<void> sent;
    std::future<void> done = sent.get_future();
    std::thread sender([&] {
      emitter.send(1, mode);
      sent.set_value();
    });
    ASSERT_TRUE(waitUntil([&] { return receiver.getQueueSize() == 1; }));
    receiver.clearQueue();
    const bool released =
        done.wait_for(vesk_test::kDeadline) == std::future_status::ready;
    EXPECT_TRUE(released) << "mode " << mode;
    if (!released) receiver.process();
    sender.join();
  }
  EXPECT_TRUE(listener.values().empty());
  EXPECT_EQ(emitter.numberOfConnections(), 1);  // clearing cuts nothing
}

TEST(CrossThreadSyncCallAsserter, NestedAssertersMustAllGo) {
  const Thread self = Thread::getCurrentThread();
  EXPECT_TRUE(self.areCrossThreadSyncCallsAllowed());
  {
    VESK::CrossThreadSyncCallAsserter outer(self);
    EXPECT_FALSE(self.areCrossThreadSyncCallsAllowed());
    {
      VESK::CrossThreadSyncCallAsserter inner(self);
      EXPECT_FALSE(self.areCrossThreadSyncCallsAllowed());
    }
    EXPECT_FALSE(self.areCrossThreadSyncCallsAllowed());
  }
  EXPECT_TRUE(self.areCrossThreadSyncCallsAllowed());
}

TEST(MessageThread, EmptyHandleOperationsThrow) {
  const Thread empty;
  EXPECT_THROW(empty.process(), std::logic_error);
  EXPECT_THROW(empty.getQueueSize(), std::logic_error);
  EXPECT_THROW(empty.getName(), std::logic_error);
  EXPECT_THROW(VESK::CrossThreadSyncCallAsserter{empty}, std::logic_error);
}

// Re-registering replaces the wake-up callable while other threads post to
// the same record; each replaced callable is destroyed once, and every post
// runs a callable that is still alive.
TEST(MessageThread, WakeUpReplacedWhilePosting) {
  constexpr int kPosts = 3000;
  std::atomic<int> liveCallables{0};
  std::atomic<int> wakeUps{0};
  std::atomic<int> sent{0};
  std::promise<Thread> registered;
  std::thread owner([&] {
    for (int round = 0; round < 50 || sent < kPosts; ++round) {
      Thread::registerThread(
          "re-registered",
          [&wakeUps, guard = vesk_test::Tracked(liveCallables)] { ++wakeUps; });
      if (round == 0) registered.set_value(Thread::getCurrentThread());
      Thread::getCurrentThread().process();
    }
    Thread::registerThread("re-registered", {});
  });
  const Thread target = registered.get_future().get();
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, target);
  for (int i = 0; i < kPosts; ++i) {
    emitter.send(i, VESK::Queued);
    ++sent;
  }
  owner.join();
  target.process();
  EXPECT_EQ(liveCallables, 0);
  EXPECT_EQ(listener.calls(), kPosts);
  EXPECT_GT(wakeUps, 0);
}

}  // namespace
