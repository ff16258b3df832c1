// The shortcuts of the send path: an emission whose slots all run on the
// sending thread (no heap payload), packets queued by value, statistics kept
// per sending thread. Each must behave exactly as the general path.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "signal_test_support.h"

namespace {

using VESK::Thread;
using vesk_test::RecordingListener;
using vesk_test::Tracked;

// A connection that runs its slot on whatever thread sends does not make the
// sending thread known to the library, as before.
TEST(SendOnSendingThread, SenderDeliveryFromAnUnknownThreadCreatesNoRecord) {
  const Thread self = Thread::getCurrentThread();  // may cut listeners
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, Thread(), true);
  bool knownAfterSend = true;
  std::thread([&] {
    emitter.send(5, VESK::Auto);
    knownAfterSend = !Thread::getCurrentThreadIfRegistered().isEmpty();
  }).join();
  EXPECT_EQ(listener.values(), std::vector<int>{5});
  EXPECT_FALSE(knownAfterSend);
  listener.disconnect();
}

// One listener here and one on another thread: the emission is posted in
// part, so it takes the general path, and the unknown sending thread gets
// its record there (it is looked up to compare with the receiving threads).
TEST(SendOnSendingThread, MixedReceiversFallBackToTheGeneralPath) {
  const Thread self = Thread::getCurrentThread();  // may cut listeners
  VESK::EventLoopThread loop("fast-path-loop");
  VESK::Emitter<void(int)> emitter;
  RecordingListener here;
  RecordingListener there;
  VESK::connect(
      emitter, there, [&](int v) { there.record(v); }, loop.thread());
  const unsigned delivered =
      VESK::EmitterBase::getUsageStatsDelivered(VESK::Auto);
  const unsigned posted = VESK::EmitterBase::getUsageStatsPosted(VESK::Auto);
  bool knownAfterSend = false;
  int hereDuringSend = -1;
  std::thread([&] {
    VESK::connect(emitter, here, [&](int v) { here.record(v); });
    emitter.send(9, VESK::Auto);
    hereDuringSend = here.calls();
    knownAfterSend = !Thread::getCurrentThreadIfRegistered().isEmpty();
    here.disconnect();
  }).join();
  EXPECT_EQ(hereDuringSend, 1);
  EXPECT_TRUE(knownAfterSend);
  ASSERT_TRUE(vesk_test::waitUntil([&] { return there.calls() == 1; }));
  EXPECT_EQ(VESK::EmitterBase::getUsageStatsDelivered(VESK::Auto) - delivered,
            1u);
  EXPECT_EQ(VESK::EmitterBase::getUsageStatsPosted(VESK::Auto) - posted, 1u);
  there.disconnect();
}

// Each slot cuts the other listener: whichever runs first, the other's
// packet is then delivered without a connection, so exactly one slot runs,
// and both connections (with their slots) are gone afterwards.
TEST(SendOnSendingThread, SlotCuttingTheOtherListenerMidEmission) {
  std::atomic<int> liveSlots{0};
  VESK::Emitter<void(int)> emitter;
  RecordingListener first;
  RecordingListener second;
  VESK::connect(emitter, first, [&, guard = Tracked(liveSlots)](int v) {
    first.record(v);
    second.disconnect();
  });
  VESK::connect(emitter, second, [&, guard = Tracked(liveSlots)](int v) {
    second.record(v);
    first.disconnect();
  });
  ASSERT_EQ(liveSlots, 2);
  emitter.send(1, VESK::Blocking);
  EXPECT_EQ(first.calls() + second.calls(), 1);
  EXPECT_EQ(emitter.numberOfConnections(), 1);  // the one whose slot ran
  EXPECT_EQ(liveSlots, 1);
  first.disconnect();
  second.disconnect();
  EXPECT_EQ(liveSlots, 0);
}

// The emitter goes while its own slot runs on the sending thread: the
// connection stays alive until that delivery is done.
TEST(SendOnSendingThread, EmitterCutFromItsOwnSlot) {
  std::atomic<int> liveSlots{0};
  auto emitter = std::make_unique<VESK::Emitter<void(std::u16string)>>();
  RecordingListener listener;
  VESK::connect(*emitter, listener,
                [&, guard = Tracked(liveSlots)](std::u16string text) {
                  listener.record(static_cast<int>(text.size()));
                  emitter->disconnectFromAll(VESK::DeliverPending);
                });
  emitter->send(u"twelve chars", VESK::Auto);
  EXPECT_EQ(listener.values(), std::vector<int>{12});
  EXPECT_EQ(liveSlots, 0);
  EXPECT_EQ(listener.numberOfConnections(), 0);
}

// Counts live in blocks of the threads that sent; a thread's counts stay in
// the totals after it has ended.
TEST(UsageStats, CountsOfEndedThreadsStayInTheTotals) {
  const unsigned before =
      VESK::EmitterBase::getUsageStatsDelivered(VESK::BlockingProcessing);
  std::thread([] {
    VESK::Emitter<void()> emitter;
    RecordingListener listener;
    VESK::connect(emitter, listener, [&] { listener.record(0); });
    emitter.send(VESK::BlockingProcessing);
    emitter.send(VESK::BlockingProcessing);
    listener.disconnect();
  }).join();
  EXPECT_EQ(
      VESK::EmitterBase::getUsageStatsDelivered(VESK::BlockingProcessing) -
          before,
      2u);
}

// Queue entries hold their packets by value: posting a copy takes one more
// payload reference, processing gives it back, and moving a packet moves
// its references.
TEST(QueuedPackets, HoldTheirReferencesByValue) {
  const Thread self = Thread::getCurrentThread();  // may cut listeners
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  const Thread target = vesk_test::parkedThread();
  VESK::Connection* connection = VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, target);
  auto* payload = new VESK::PayloadX<void, VESK::DeliverPending, int>(4);
  VESK::Packet packet(payload);
  {
    VESK::ConnectedPacket a(packet, connection);
    VESK::ConnectedPacket b(packet, connection);
    EXPECT_EQ(payload->refCount(), 3);
    b = std::move(a);  // b's own references go, a's move to it
    EXPECT_EQ(payload->refCount(), 2);
    EXPECT_EQ(a.getConnection(), nullptr);
    target.post(b);  // a copy
    EXPECT_EQ(payload->refCount(), 3);
    target.post(std::move(b));  // the packet itself
    EXPECT_EQ(payload->refCount(), 3);
  }
  EXPECT_EQ(target.getQueueSize(), 2);
  target.process();
  EXPECT_EQ(listener.values(), (std::vector<int>{4, 4}));
  EXPECT_EQ(payload->refCount(), 1);
  listener.disconnect();
}

}  // namespace
