// Emitters, listeners and connections: tables, cuts from both sides, and
// connection lifetime.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <stdexcept>
#include <string>

#include "signal_test_support.h"

namespace {

using vesk_test::parkedThread;
using vesk_test::RecordingListener;
using vesk_test::Tracked;
using vesk_test::waitUntil;

// Connects `listener` to `emitter` with a slot whose captured Tracked copy
// lives exactly as long as the connection.
template <class EmitterT>
VESK::Connection* connectTracked(EmitterT& emitter, RecordingListener& listener,
                                 std::atomic<int>& liveConnections,
                                 VESK::Thread receiver) {
  return VESK::connect(
      emitter, listener,
      [&listener, guard = Tracked(liveConnections)](int v) {
        listener.record(v);
      },
      std::move(receiver));
}

TEST(Connection, CutFromEmitterSideWithNothingInFlightDestroysAtOnce) {
  std::atomic<int> live{0};
  VESK::Emitter<void(int)> emitter;
  RecordingListener first, second;
  const VESK::Thread self = VESK::Thread::getCurrentThread();
  connectTracked(emitter, first, live, self);
  connectTracked(emitter, second, live, self);
  EXPECT_EQ(emitter.numberOfConnections(), 2);
  EXPECT_EQ(live, 2);

  emitter.disconnectFrom(&first, VESK::DeliverPending);
  EXPECT_EQ(emitter.numberOfConnections(), 1);
  EXPECT_EQ(first.numberOfConnections(), 0);
  EXPECT_EQ(second.numberOfConnections(), 1);
  EXPECT_EQ(live, 1);

  emitter.send(5);
  EXPECT_TRUE(first.values().empty());
  EXPECT_EQ(second.values(), std::vector<int>{5});
}

TEST(Connection, DisconnectFromAllDropPendingEmptiesBothSides) {
  std::atomic<int> live{0};
  VESK::Emitter<void(int)> emitter;
  RecordingListener a, b, c;
  const VESK::Thread self = VESK::Thread::getCurrentThread();
  for (RecordingListener* l : {&a, &b, &c}) {
    connectTracked(emitter, *l, live, self);
  }
  emitter.disconnectFromAll(VESK::DropPending);
  EXPECT_EQ(emitter.numberOfConnections(), 0);
  for (RecordingListener* l : {&a, &b, &c}) {
    EXPECT_EQ(l->numberOfConnections(), 0);
  }
  EXPECT_EQ(live, 0);
}

class CopyableListener : public VESK::Listener {};

TEST(Connection, CopiesStartWithoutConnectionsAndKeepDefaults) {
  VESK::Emitter<void(int), VESK::DropPending> emitter;
  emitter.setDefaultMode(VESK::Queued);
  CopyableListener listener;
  VESK::connect(emitter, listener, [](int) {});

  VESK::Emitter<void(int), VESK::DropPending> emitterCopy(emitter);
  CopyableListener listenerCopy(listener);
  EXPECT_EQ(emitterCopy.numberOfConnections(), 0);
  EXPECT_EQ(listenerCopy.numberOfConnections(), 0);
  EXPECT_EQ(emitterCopy.defaultMode(), VESK::Queued);
  EXPECT_EQ(emitterCopy.defaultPacketDropMode(), VESK::DropPending);

  listenerCopy = listener;  // assignment keeps the target's own table
  EXPECT_EQ(listener.numberOfConnections(), 1);
  EXPECT_EQ(listenerCopy.numberOfConnections(), 0);
}

TEST(Connection, UnknownDropModeIsRefused) {
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(emitter, listener, [&](int v) { listener.record(v); });
  const auto bad = static_cast<VESK::PacketDropMode>(2);
  EXPECT_THROW(emitter.disconnectFrom(&listener, bad), std::invalid_argument);
  EXPECT_THROW(listener.disconnectFrom(emitter, bad), std::invalid_argument);
  EXPECT_THROW(emitter.disconnectFromAll(bad), std::invalid_argument);
  EXPECT_EQ(emitter.numberOfConnections(), 1);
}

TEST(Connection, ConnectNeedsAReceivingThreadOrSenderDelivery) {
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  EXPECT_THROW(VESK::connect(
                   emitter, listener, [](int) {}, VESK::Thread()),
               std::invalid_argument);
  EXPECT_EQ(emitter.numberOfConnections(), 0);
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, VESK::Thread(),
      true);
  emitter.send(1);
  EXPECT_EQ(listener.values(), std::vector<int>{1});
}

class MemberSlotListener : public VESK::Listener {
 public:
  void onValue(int value) { sum += value; }
  int sum = 0;
};

TEST(Connection, MemberFunctionSlot) {
  VESK::Emitter<void(int)> emitter;
  MemberSlotListener listener;
  VESK::connect(emitter, listener, &MemberSlotListener::onValue);
  emitter.send(3);
  emitter.send(4);
  EXPECT_EQ(listener.sum, 7);
}

// ------------------------------------------------- cuts with a packet queued

enum class Cut {
  EmitterDeliverPending,   // emitter.disconnectFrom(&l, DeliverPending)
  ListenerDeliverPending,  // l.disconnectFrom(e, DeliverPending)
  EmitterDropPending,      // emitter.disconnectFrom(&l, DropPending)
  ListenerDropPending,     // l.disconnectFrom(e, DropPending)
  ListenerDisconnect,      // l.disconnect()
  AllDeliverPending,       // emitter.disconnectFromAll(DeliverPending)
  AllDropPending,          // emitter.disconnectFromAll(DropPending)
  ListenerDestroyed,       // the listener's destructor
  EmitterDestroyed,        // the emitter's destructor, its default drop mode
};

struct CutCase {
  const char* name;
  Cut cut;
  VESK::PacketDropMode emitterDropMode;
  bool queuedPacketRuns;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

const CutCase kCutCases[] = {
    {"EmitterDeliverPending", Cut::EmitterDeliverPending, VESK::DeliverPending,
     true},
    {"ListenerDeliverPending", Cut::ListenerDeliverPending,
     VESK::DeliverPending, true},
    {"EmitterDropPending", Cut::EmitterDropPending, VESK::DeliverPending,
     false},
    {"ListenerDropPending", Cut::ListenerDropPending, VESK::DeliverPending,
     false},
    {"ListenerDisconnect", Cut::ListenerDisconnect, VESK::DeliverPending,
     false},
    {"AllDeliverPending", Cut::AllDeliverPending, VESK::DeliverPending, true},
    {"AllDropPending", Cut::AllDropPending, VESK::DeliverPending, false},
    {"ListenerDestroyed", Cut::ListenerDestroyed, VESK::DeliverPending, false},
    {"EmitterDestroyedDeliverPending", Cut::EmitterDestroyed,
     VESK::DeliverPending, true},
    {"EmitterDestroyedDropPending", Cut::EmitterDestroyed, VESK::DropPending,
     false},
};

// One emitter and one listener whose slot runs on a parked thread, so that
// posted packets stay queued until the test processes them.
class CutWithPacketQueued : public ::testing::TestWithParam<CutCase> {
 protected:
  CutWithPacketQueued()
      : receiver(parkedThread()),
        emitter(std::make_unique<VESK::Emitter<void(int)>>()),
        listener(std::make_unique<RecordingListener>()) {
    VESK::Thread::getCurrentThread();  // listener-side cuts need a record
    emitter->setDefaultPacketDropMode(GetParam().emitterDropMode);
    connectTracked(*emitter, *listener, liveConnections, receiver);
  }

  void cut() {
    switch (GetParam().cut) {
      case Cut::EmitterDeliverPending:
        emitter->disconnectFrom(listener.get(), VESK::DeliverPending);
        break;
      case Cut::ListenerDeliverPending:
        listener->disconnectFrom(*emitter, VESK::DeliverPending);
        break;
      case Cut::EmitterDropPending:
        emitter->disconnectFrom(listener.get(), VESK::DropPending);
        break;
      case Cut::ListenerDropPending:
        listener->disconnectFrom(*emitter, VESK::DropPending);
        break;
      case Cut::ListenerDisconnect:
        listener->disconnect();
        break;
      case Cut::AllDeliverPending:
        emitter->disconnectFromAll(VESK::DeliverPending);
        break;
      case Cut::AllDropPending:
        emitter->disconnectFromAll(VESK::DropPending);
        break;
      case Cut::ListenerDestroyed:
        slotCalls = listener->calls();
        listener.reset();
        break;
      case Cut::EmitterDestroyed:
        emitter.reset();
        break;
    }
  }

  int callsSoFar() const { return listener ? listener->calls() : slotCalls; }

  // The connection has gone from both tables (of the objects still alive).
  void expectUnlinked() const {
    if (emitter) {
      EXPECT_EQ(emitter->numberOfConnections(), 0);
    }
    if (listener) {
      EXPECT_EQ(listener->numberOfConnections(), 0);
    }
  }

  VESK::Thread receiver;
  std::atomic<int> liveConnections{0};
  std::unique_ptr<VESK::Emitter<void(int)>> emitter;
  std::unique_ptr<RecordingListener> listener;
  int slotCalls = 0;  // kept when the listener is destroyed
};

TEST_P(CutWithPacketQueued, QueuedPacketRunsOrDropsThenConnectionIsFreed) {
  emitter->send(1, VESK::Queued);
  ASSERT_EQ(receiver.getQueueSize(), 1);
  cut();
  EXPECT_EQ(liveConnections, 1);  // the queued packet keeps it alive
  if (emitter) {
    EXPECT_EQ(emitter->numberOfConnections(), 0);
    emitter->send(2, VESK::Queued);  // no new packet for a cut connection
    EXPECT_EQ(receiver.getQueueSize(), 1);
  }
  if (listener && GetParam().queuedPacketRuns) {
    // Emitter-cut: still in the listener's table until the packet is done.
    EXPECT_EQ(listener->numberOfConnections(), 1);
  }

  receiver.process();
  if (listener) {
    EXPECT_EQ(listener->values(), GetParam().queuedPacketRuns
                                      ? std::vector<int>{1}
                                      : std::vector<int>{});
  }
  expectUnlinked();
  EXPECT_EQ(liveConnections, 0);
}

// The same cuts while a sender waits in a blocking send (an emitter cannot
// be destroyed while it sends, so those cases are left out).
class BlockingCutWithPacketQueued : public CutWithPacketQueued {};

TEST_P(BlockingCutWithPacketQueued, BlockingSenderIsReleased) {
  std::promise<void> sent;
  std::future<void> done = sent.get_future();
  std::thread sender([&] {
    emitter->send(1, VESK::Blocking);
    sent.set_value();
  });
  ASSERT_TRUE(waitUntil([&] { return receiver.getQueueSize() == 1; }));
  cut();
  receiver.process();
  const bool released =
      done.wait_for(vesk_test::kDeadline) == std::future_status::ready;
  EXPECT_TRUE(released);
  if (!released) receiver.process();  // keep the join below from hanging
  sender.join();
  EXPECT_EQ(callsSoFar(), GetParam().queuedPacketRuns ? 1 : 0);
  expectUnlinked();
  EXPECT_EQ(liveConnections, 0);
}

INSTANTIATE_TEST_SUITE_P(Cuts, CutWithPacketQueued,
                         ::testing::ValuesIn(kCutCases), [](const auto& info) {
                           return std::string(info.param.name);
                         });
INSTANTIATE_TEST_SUITE_P(Cuts, BlockingCutWithPacketQueued,
                         ::testing::ValuesIn(std::begin(kCutCases),
                                             std::end(kCutCases) - 2),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// ------------------------------------------- listener side, unknown threads

struct UnregisteredCase {
  const char* name;
  std::function<void(VESK::Emitter<void(int)>&, RecordingListener&)> operation;
  bool cuts;  // whether the operation works on a thread the library does not
              // know
};

void PrintTo(const UnregisteredCase& c, std::ostream* os) { *os << c.name; }

const UnregisteredCase kUnregisteredCases[] = {
    {"ListenerDisconnect", [](auto&, auto& l) { l.disconnect(); }, false},
    {"ListenerDisconnectFromDropPending",
     [](auto& e, auto& l) { l.disconnectFrom(e, VESK::DropPending); }, false},
    {"ListenerDisconnectFromDeliverPending",
     [](auto& e, auto& l) { l.disconnectFrom(e, VESK::DeliverPending); },
     false},
    {"EmitterDisconnectFromDropPending",
     [](auto& e, auto& l) { e.disconnectFrom(&l, VESK::DropPending); }, false},
    {"EmitterDisconnectFromDeliverPending",
     [](auto& e, auto& l) { e.disconnectFrom(&l, VESK::DeliverPending); },
     true},
    {"EmitterDisconnectFromAllDropPending",
     [](auto& e, auto&) { e.disconnectFromAll(VESK::DropPending); }, true},
};

class OnUnregisteredThread : public ::testing::TestWithParam<UnregisteredCase> {
};

TEST_P(OnUnregisteredThread, ListenerSideDoesNothingEmitterSideWorks) {
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(emitter, listener, [&](int v) { listener.record(v); });
  bool wasUnknown = false;
  std::thread([&] {
    wasUnknown = VESK::Thread::getCurrentThreadIfRegistered().isEmpty();
    GetParam().operation(emitter, listener);
  }).join();
  ASSERT_TRUE(wasUnknown);
  const int expected = GetParam().cuts ? 0 : 1;
  EXPECT_EQ(emitter.numberOfConnections(), expected);
  EXPECT_EQ(listener.numberOfConnections(), expected);
}

INSTANTIATE_TEST_SUITE_P(Operations, OnUnregisteredThread,
                         ::testing::ValuesIn(kUnregisteredCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(Connection, ListenerDestroyedOnUnknownThreadStillCutsItself) {
  std::atomic<int> live{0};
  const VESK::Thread receiver = parkedThread();
  VESK::Emitter<void(int)> emitter;
  auto listener = std::make_unique<RecordingListener>();
  connectTracked(emitter, *listener, live, receiver);
  emitter.send(1, VESK::Queued);
  std::thread([&] { listener.reset(); }).join();
  EXPECT_EQ(emitter.numberOfConnections(), 0);
  emitter.send(2);     // nothing refers to the listener now
  receiver.process();  // the queued packet is dropped
  EXPECT_EQ(receiver.getQueueSize(), 0);
  EXPECT_EQ(live, 0);
}

// The last packet of a cut connection is released on one thread while
// another thread cuts the same connection further: exactly one of them
// destroys it, and no packet's slot runs after the listener-side cut.
TEST(Connection, LastReleaseRacesWithCuts) {
  constexpr int kRounds = 300, kPackets = 4;
  const VESK::Thread receiver = parkedThread();
  VESK::Thread::getCurrentThread();
  std::atomic<int> live{0};
  for (int round = 0; round < kRounds; ++round) {
    VESK::Emitter<void(int)> emitter;
    RecordingListener listener;
    connectTracked(emitter, listener, live, receiver);
    for (int i = 0; i < kPackets; ++i) emitter.send(i, VESK::Queued);
    std::thread releaser([&] { receiver.process(); });
    if (round % 2 == 0) {
      emitter.disconnectFrom(&listener, VESK::DeliverPending);
    }
    listener.disconnect();
    const int callsAtCut = listener.calls();
    releaser.join();
    EXPECT_LE(listener.calls(), callsAtCut + 1);  // one may have been running
    ASSERT_EQ(live, 0) << "round " << round;
  }
}

}  // namespace
