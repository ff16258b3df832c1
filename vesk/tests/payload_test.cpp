// Payloads, packets and the instrumentation scopes.
#include <gtest/gtest.h>
#include <perfinstrument/perfinstrument.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "signal_test_support.h"

namespace {

using vesk_test::RecordingListener;

// A payload that counts its deliveries and deletions, and can throw.
class CountingPayload : public VESK::Payload {
 public:
  explicit CountingPayload(int* deletions = nullptr) : deletions_(deletions) {}
  ~CountingPayload() override {
    if (deletions_) ++*deletions_;
  }
  void performDeliver(VESK::Connection*) override {
    ++performed;
    if (throwing) throw std::runtime_error("slot failed");
  }
  int performed = 0;
  bool throwing = false;

 private:
  int* deletions_;
};

class PayloadTest : public ::testing::Test {
 protected:
  PayloadTest() {
    connection =
        VESK::connect(emitter, listener, [this](int v) { listener.record(v); });
  }
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::Connection* connection = nullptr;
};

TEST_F(PayloadTest, SynchronousPayloadOpensAfterLastDelivery) {
  CountingPayload payload;
  payload.setSynchronous(3);
  payload.deliver(connection);
  payload.deliver(connection);
  EXPECT_TRUE(payload.wait(10));  // one delivery still missing
  payload.deliver(connection);
  payload.wait();  // open: returns at once
  EXPECT_FALSE(payload.wait(10));
  EXPECT_EQ(payload.performed, 3);
}

TEST_F(PayloadTest, WaitingOnAnAsynchronousPayloadIsAnError) {
  CountingPayload payload;
  EXPECT_THROW(payload.wait(), std::logic_error);
  EXPECT_THROW(payload.wait(1), std::logic_error);
}

TEST_F(PayloadTest, DeliveryWithoutConnectionCountsButRunsNothing) {
  CountingPayload payload;
  payload.setSynchronous(1);
  payload.deliver(nullptr);
  EXPECT_EQ(payload.performed, 0);
  EXPECT_FALSE(payload.wait(10));
}

TEST_F(PayloadTest, ThrowingSlotIsDiscardedAndStillCounted) {
  CountingPayload payload;
  payload.throwing = true;
  payload.setSynchronous(2);
  EXPECT_NO_THROW(payload.deliver(connection));
  EXPECT_NO_THROW(payload.deliver(connection));
  EXPECT_EQ(payload.performed, 2);
  EXPECT_FALSE(payload.wait(10));
}

TEST_F(PayloadTest, ThrowingSlotOfAnyTypeIsDiscarded) {
  VESK::Emitter<void(int)> throwing;
  RecordingListener other;
  VESK::connect(throwing, other, [](int v) {
    if (v == 1) throw 42;
    throw std::string("not an exception class");
  });
  EXPECT_NO_THROW(throwing.send(1));
  EXPECT_NO_THROW(throwing.send(2, VESK::Blocking));
}

TEST_F(PayloadTest, PacketCopiesShareOnePayloadDeletedOnce) {
  int deletions = 0;
  auto* payload = new CountingPayload(&deletions);
  {
    VESK::Packet first(payload);  // adopts the creator's reference
    EXPECT_EQ(payload->refCount(), 1);
    VESK::Packet second(first);
    VESK::Packet third(second);
    EXPECT_EQ(payload->refCount(), 3);
    first = first;  // NOLINT: same payload, nothing changes
    second = third;
    EXPECT_EQ(payload->refCount(), 3);
  }
  EXPECT_EQ(deletions, 1);
}

TEST_F(PayloadTest, PacketAssignmentMovesItsReference) {
  int deletionsA = 0, deletionsB = 0;
  VESK::Packet a(new CountingPayload(&deletionsA));
  VESK::Packet b(new CountingPayload(&deletionsB));
  a = b;  // a's payload had one reference: released and deleted
  EXPECT_EQ(deletionsA, 1);
  EXPECT_EQ(b.payload()->refCount(), 2);
  a.decRef();
  a.decRef();  // releasing a packet that holds nothing does nothing
  EXPECT_EQ(b.payload()->refCount(), 1);
  EXPECT_EQ(deletionsB, 0);
}

TEST_F(PayloadTest, ConnectedPacketDropsOnceListenerSideIsCut) {
  VESK::Packet packet(new VESK::PayloadX<void, VESK::DeliverPending, int>(7));
  VESK::ConnectedPacket connected(packet, connection);
  EXPECT_EQ(packet.payload()->refCount(), 2);
  connected.deliver();
  EXPECT_EQ(listener.values(), std::vector<int>{7});

  listener.disconnect();  // the packet keeps the connection alive
  EXPECT_EQ(emitter.numberOfConnections(), 0);
  connected.deliver();
  EXPECT_EQ(listener.values(), std::vector<int>{7});
}

TEST_F(PayloadTest, ConnectedPacketKeepsConnectionAliveUntilReleased) {
  std::atomic<int> liveSlots{0};
  RecordingListener other;
  VESK::Connection* tracked = VESK::connect(
      emitter, other, [&other, guard = vesk_test::Tracked(liveSlots)](int v) {
        other.record(v);
      });
  ASSERT_EQ(liveSlots, 1);
  {
    VESK::Packet packet(new VESK::PayloadX<void, VESK::DeliverPending, int>(3));
    VESK::ConnectedPacket held(packet, tracked);
    emitter.disconnectFrom(&other, VESK::DeliverPending);
    EXPECT_EQ(liveSlots, 1);  // Emitter-cut: alive while the packet is
    EXPECT_EQ(other.numberOfConnections(), 1);
    held.deliver();  // still runs the slot
  }
  EXPECT_EQ(other.values(), std::vector<int>{3});
  EXPECT_EQ(liveSlots, 0);
  EXPECT_EQ(other.numberOfConnections(), 0);
}

// ---------------------------------------------------------- instrumentation

struct ScopeCase {
  const char* name;
  const char* event;
  std::function<void()> action;
};

void PrintTo(const ScopeCase& c, std::ostream* os) { *os << c.name; }

void deliverOnce() {
  CountingPayload payload;
  payload.deliver(nullptr);
}

void waitOpen() {
  CountingPayload payload;
  payload.setSynchronous(1);
  payload.deliver(nullptr);
  payload.wait();
}

void waitTimed() {
  CountingPayload payload;
  payload.setSynchronous(1);
  payload.wait(1);
}

void blockingSendToOtherThread() {
  VESK::Thread receiver = vesk_test::parkedThread();
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, receiver);
  std::thread processor([&] {
    vesk_test::waitUntil([&] { return receiver.getQueueSize() == 1; });
    receiver.process();
  });
  emitter.send(1, VESK::Blocking);
  processor.join();
}

const ScopeCase kScopeCases[] = {
    {"Deliver", "Payload::deliver", deliverOnce},
    {"Wait", "Payload::wait()", waitOpen},
    {"WaitMs", "Payload::wait(ms)", waitTimed},
    {"Process", "Thread::process()",
     [] { VESK::Thread::getCurrentThread().process(); }},
    {"ProcessCurrentQueue", "Thread::processCurrentQueue()",
     [] { VESK::Thread::getCurrentThread().processCurrentQueue(); }},
    {"SyncPacketWithThread", "SendPackets::syncPacketWithThread()",
     blockingSendToOtherThread},
};

class InstrumentationScopeTest : public ::testing::TestWithParam<ScopeCase> {};

TEST_P(InstrumentationScopeTest, ReportsStartAndStopOnlyWhenListening) {
  const ScopeCase& c = GetParam();
  c.action();  // no listener: nothing to see, and nothing fails
  instrument::testing::RecordingListener recorder;
  c.action();
  EXPECT_GE(recorder.startCount(c.event), 1);
  EXPECT_EQ(recorder.startCount(c.event), recorder.stopCount(c.event));
}

TEST_P(InstrumentationScopeTest, DisabledEventIsNotReported) {
  const ScopeCase& c = GetParam();
  c.action();  // the scope has asked for its handle by now
  instrument::EventHandle handle = instrument::controls.getHandle(c.event);
  handle.setEnabled(false);
  instrument::testing::RecordingListener recorder;
  c.action();
  handle.setEnabled(true);
  EXPECT_EQ(recorder.startCount(c.event), 0);
}

INSTANTIATE_TEST_SUITE_P(Scopes, InstrumentationScopeTest,
                         ::testing::ValuesIn(kScopeCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(InstrumentationScope, FailedStopReportGoesNoFurther) {
  instrument::testing::RecordingListener recorder;
  recorder.setThrowOnStop(true);
  const int before = instrument::ScopedEventInstrument::handledExceptions();
  CountingPayload payload;
  payload.setSynchronous(1);
  EXPECT_NO_THROW(payload.deliver(nullptr));
  EXPECT_FALSE(payload.wait(10));  // the delivery was still counted
  EXPECT_GE(instrument::ScopedEventInstrument::handledExceptions(), before + 2);
}

}  // namespace
