// Sending: the dispatch table for every mode and connection kind with the
// statistics it counts, dispatch order, argument copies and blocking waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>

#include "signal_test_support.h"

namespace {

using VESK::Thread;
using vesk_test::RecordingListener;
using vesk_test::Tracked;
using vesk_test::waitUntil;

enum class Kind {
  SenderDelivery,  // deliverOnSenderThread set
  SameThread,      // receiverThread is the sending thread
  OtherThread,     // receiverThread is another (event loop) thread
};

struct DispatchCase {
  const char* name;
  VESK::SendMode mode;
  VESK::SendMode emitterDefault;
  Kind kind;
  bool ranDuringSend;   // the slot has run when send returns
  bool queuedOnSender;  // the packet waits in the sending thread's queue
  int statsSlot;
  bool counted;  // true: counted as delivered; false: as posted
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }

constexpr auto Q = VESK::Queued;
constexpr auto A = VESK::Auto;
constexpr auto B = VESK::Blocking;
constexpr auto BP = VESK::BlockingProcessing;
constexpr auto D = VESK::UseDefault;

const DispatchCase kDispatchCases[] = {
    // name                       mode dflt kind               ran   queued slot
    // delivered
    {"QueuedSenderDelivery", Q, A, Kind::SenderDelivery, false, true, 1, false},
    {"QueuedSameThread", Q, A, Kind::SameThread, false, true, 1, false},
    {"QueuedOtherThread", Q, A, Kind::OtherThread, false, false, 1, false},
    {"AutoSenderDelivery", A, A, Kind::SenderDelivery, true, false, 2, true},
    {"AutoSameThread", A, A, Kind::SameThread, true, false, 2, true},
    {"AutoOtherThread", A, A, Kind::OtherThread, false, false, 2, false},
    {"BlockingSenderDelivery", B, A, Kind::SenderDelivery, true, false, 3,
     true},
    {"BlockingSameThread", B, A, Kind::SameThread, true, false, 3, true},
    {"BlockingOtherThread", B, A, Kind::OtherThread, true, false, 3, false},
    {"BlockingProcessingSenderDelivery", BP, A, Kind::SenderDelivery, true,
     false, 4, true},
    {"BlockingProcessingSameThread", BP, A, Kind::SameThread, true, false, 4,
     true},
    {"BlockingProcessingOtherThread", BP, A, Kind::OtherThread, true, false, 4,
     false},
    // send(value) uses the emitter's default: Auto, counted as Auto...
    {"DefaultAutoSameThread", D, A, Kind::SameThread, true, false, 2, true},
    {"DefaultAutoOtherThread", D, A, Kind::OtherThread, false, false, 2, false},
    // ...or whatever it was set to; a default of UseDefault acts as Auto but
    // is counted in slot 0.
    {"DefaultQueuedSameThread", D, Q, Kind::SameThread, false, true, 1, false},
    {"DefaultBlockingOtherThread", D, B, Kind::OtherThread, true, false, 3,
     false},
    {"DefaultOfUseDefaultSameThread", D, D, Kind::SameThread, true, false, 0,
     true},
    {"DefaultOfUseDefaultOtherThread", D, D, Kind::OtherThread, false, false, 0,
     false},
};

class Dispatch : public ::testing::TestWithParam<DispatchCase> {
 protected:
  Dispatch() : loop("dispatch-loop") {
    const DispatchCase& c = GetParam();
    emitter.setDefaultMode(c.emitterDefault);
    Thread receiver = c.kind == Kind::OtherThread ? loop.thread() : self;
    const bool senderDelivery = c.kind == Kind::SenderDelivery;
    VESK::connect(
        emitter, listener,
        [this](int v) {
          // Non-blocking sends to the loop thread hold the slot until the
          // test has seen send return, proving that send did not wait.
          if (!blocks()) release.wait(kHoldMs);
          listener.record(v);
        },
        senderDelivery ? Thread() : receiver, senderDelivery);
  }

  bool blocks() const {
    const DispatchCase& c = GetParam();
    return c.kind != Kind::OtherThread || c.ranDuringSend;
  }

  static constexpr unsigned long kHoldMs = 20000;
  const Thread self = Thread::getCurrentThread();
  TOLB::Gate release{0};
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  // Last, so that it stops (finishing its slots) before the rest goes.
  VESK::EventLoopThread loop;
};

TEST_P(Dispatch, RunsPostsAndCountsAsTheTableSays) {
  const DispatchCase& c = GetParam();
  const auto mode = static_cast<VESK::SendMode>(c.statsSlot);
  const unsigned deliveredBefore =
      VESK::EmitterBase::getUsageStatsDelivered(mode);
  const unsigned postedBefore = VESK::EmitterBase::getUsageStatsPosted(mode);
  const int ownQueueBefore = self.getQueueSize();

  if (c.mode == VESK::UseDefault) {
    emitter.send(7);
  } else {
    emitter(7, c.mode);
  }
  const int callsAfterSend = listener.calls();
  release.open();

  EXPECT_EQ(callsAfterSend, c.ranDuringSend ? 1 : 0);
  EXPECT_EQ(self.getQueueSize() - ownQueueBefore, c.queuedOnSender ? 1 : 0);
  EXPECT_EQ(VESK::EmitterBase::getUsageStatsDelivered(mode) - deliveredBefore,
            c.counted ? 1u : 0u);
  EXPECT_EQ(VESK::EmitterBase::getUsageStatsPosted(mode) - postedBefore,
            c.counted ? 0u : 1u);

  self.process();
  ASSERT_TRUE(waitUntil([&] { return listener.calls() == 1; }));
  const std::thread::id ranOn = listener.threads().front();
  if (c.kind == Kind::OtherThread) {
    EXPECT_NE(ranOn, std::this_thread::get_id());
  } else {
    EXPECT_EQ(ranOn, std::this_thread::get_id());
  }
  EXPECT_EQ(listener.values(), std::vector<int>{7});
}

INSTANTIATE_TEST_SUITE_P(ModesAndConnections, Dispatch,
                         ::testing::ValuesIn(kDispatchCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(Send, OutOfRangeModesCountNothing) {
  EXPECT_EQ(
      VESK::EmitterBase::getUsageStatsDelivered(static_cast<VESK::SendMode>(6)),
      0u);
  EXPECT_EQ(
      VESK::EmitterBase::getUsageStatsPosted(static_cast<VESK::SendMode>(-1)),
      0u);
}

TEST(Send, NoConnectionsMeansNothingHappensAndPayloadIsFreed) {
  std::atomic<int> live{0};
  VESK::Emitter<void(Tracked)> emitter;
  const unsigned delivered =
      VESK::EmitterBase::getUsageStatsDelivered(VESK::Auto);
  const unsigned posted =
      VESK::EmitterBase::getUsageStatsPosted(VESK::Blocking);
  emitter.send(Tracked(live));
  emitter.send(Tracked(live), VESK::Blocking);
  EXPECT_EQ(live, 0);
  EXPECT_EQ(VESK::EmitterBase::getUsageStatsDelivered(VESK::Auto), delivered);
  EXPECT_EQ(VESK::EmitterBase::getUsageStatsPosted(VESK::Blocking), posted);
}

TEST(Send, DispatchRunsInReverseTableOrder) {
  VESK::Emitter<void()> emitter;
  RecordingListener l1, l2, l3;
  std::vector<int> log;
  std::vector<std::pair<VESK::Connection*, int>> connections;
  int id = 0;
  for (RecordingListener* l : {&l1, &l2, &l3}) {
    const int mine = ++id;
    connections.emplace_back(
        VESK::connect(emitter, *l, [&log, mine] { log.push_back(mine); }),
        mine);
  }
  emitter.send();
  // The table is ordered by connection address; the highest runs first.
  std::sort(connections.begin(), connections.end(),
            [](const auto& a, const auto& b) {
              return std::greater<VESK::Connection*>()(a.first, b.first);
            });
  std::vector<int> reverseAddressOrder;
  for (const auto& entry : connections) {
    reverseAddressOrder.push_back(entry.second);
  }
  EXPECT_EQ(log, reverseAddressOrder);
}

TEST(Send, EachListenerGetsItsOwnStringCopy) {
  VESK::Emitter<void(std::u16string)> emitter;
  RecordingListener a, b;
  std::vector<std::u16string> seen;
  // Slots that change their own copy, by reference and by value.
  VESK::connect(emitter, a, [&](std::u16string& text) {
    seen.push_back(text);
    text += u"-changed-by-a";
  });
  VESK::connect(emitter, b, [&](std::u16string text) {
    seen.push_back(text);
    text += u"-changed-by-b";
  });
  const std::u16string original = u"caf\u00e9";
  emitter.send(original);
  emitter(original, VESK::Queued);
  Thread::getCurrentThread().process();
  EXPECT_EQ(seen, std::vector<std::u16string>(4, original));
}

TEST(Send, ThrowingSlotDoesNotStopTheOthers) {
  VESK::Emitter<void(int)> emitter;
  RecordingListener thrower, a, b;
  VESK::connect(emitter, thrower, [](int) { throw std::runtime_error("x"); });
  VESK::connect(emitter, a, [&](int v) { a.record(v); });
  VESK::EventLoopThread loop("throwing-loop");
  VESK::connect(
      emitter, b, [&](int v) { b.record(v); }, loop.thread());
  VESK::connect(
      emitter, thrower, [](int) { throw 1; }, loop.thread());
  emitter.send(3, VESK::Blocking);  // returns: the throwing deliveries count
  EXPECT_EQ(a.values(), std::vector<int>{3});
  EXPECT_EQ(b.values(), std::vector<int>{3});
}

// While a BlockingProcessing sender waits, its own queue is processed (at
// least once per 100 ms), so a slot it waits for may depend on it.
TEST(Send, BlockingProcessingProcessesOwnQueueWhileWaiting) {
  const Thread self = Thread::getCurrentThread();
  VESK::Emitter<void(int)> toSelf;
  RecordingListener local;
  std::atomic<bool> ownPacketRan{false};
  VESK::connect(toSelf, local, [&](int) { ownPacketRan = true; });
  toSelf.send(1, VESK::Queued);
  ASSERT_EQ(self.getQueueSize(), 1);

  VESK::EventLoopThread loop("waits-for-sender");
  VESK::Emitter<void(int)> toLoop;
  RecordingListener remote;
  bool sawOwnPacket = false;
  VESK::connect(
      toLoop, remote,
      [&](int) {
        sawOwnPacket = waitUntil([&] { return ownPacketRan.load(); });
      },
      loop.thread());
  toLoop.send(2, VESK::BlockingProcessing);
  EXPECT_TRUE(sawOwnPacket);
  EXPECT_EQ(self.getQueueSize(), 0);
}

// Two threads that send to each other in BlockingProcessing mode at the
// same moment both complete: each processes the other's packet meanwhile.
TEST(Send, MutualBlockingProcessingSendsBothComplete) {
  struct Side {
    VESK::Emitter<void(int)> emitter;
    RecordingListener listener;
    std::promise<Thread> record;
    std::promise<void> sent;
    std::shared_future<void> done{sent.get_future().share()};
  };
  Side a, b;
  TOLB::Gate start(0);
  TOLB::AtomicCounter waiting(0);
  auto run = [&](Side& mine, const Side& other, int value) {
    mine.record.set_value(Thread::getCurrentThread());
    start.wait();
    ++waiting;
    while (waiting != 2) std::this_thread::yield();  // send at the same time
    mine.emitter.send(value, VESK::BlockingProcessing);
    mine.sent.set_value();
    // Serve the other side until its send has completed too.
    while (other.done.wait_for(std::chrono::milliseconds(1)) !=
           std::future_status::ready) {
      Thread::getCurrentThread().process();
    }
  };
  std::future<Thread> recordA = a.record.get_future();
  std::future<Thread> recordB = b.record.get_future();
  std::thread threadA(run, std::ref(a), std::cref(b), 1);
  std::thread threadB(run, std::ref(b), std::cref(a), 2);
  const Thread ta = recordA.get(), tb = recordB.get();
  // a's emitter reaches b's listener on thread b, and the other way round.
  VESK::connect(
      a.emitter, b.listener, [&](int v) { b.listener.record(v); }, tb);
  VESK::connect(
      b.emitter, a.listener, [&](int v) { a.listener.record(v); }, ta);
  start.open();
  const bool bothDone =
      a.done.wait_for(vesk_test::kDeadline) == std::future_status::ready &&
      b.done.wait_for(vesk_test::kDeadline) == std::future_status::ready;
  if (!bothDone) {
    ADD_FAILURE() << "mutual blocking sends did not complete";
    std::abort();  // the threads cannot be joined
  }
  threadA.join();
  threadB.join();
  EXPECT_EQ(a.listener.values(), std::vector<int>{2});
  EXPECT_EQ(b.listener.values(), std::vector<int>{1});
}

}  // namespace
