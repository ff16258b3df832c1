#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

#include "test_support.h"
#include "tolb/gate.h"

namespace {

using TOLB::Gate;
using vesk_test::waitUntil;

// Counts how many successive wait(0) calls pass before one would block.
int passesWithoutBlocking(Gate& gate, int limit = 10) {
  int passes = 0;
  while (passes < limit && !gate.wait(0)) ++passes;
  return passes;
}

// Threads blocked in a gate; each counts itself in `passed` on leaving.
class Waiters {
 public:
  Waiters(Gate& gate, int count) : gate_(gate) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this] {
        gate_.wait();
        ++passed;
      });
    }
  }
  ~Waiters() {
    gate_.open();
    for (auto& thread : threads_) thread.join();
  }
  bool allBlocked() {
    return waitUntil([&] {
      return gate_.waitingThreads() == static_cast<int>(threads_.size());
    });
  }

  std::atomic<int> passed{0};

 private:
  Gate& gate_;
  std::vector<std::thread> threads_;
};

struct EntryCase {
  const char* name;
  int initialPermits;
  std::function<void(Gate&)> setup;
  int expectedPasses;  // 10 stands for "every waiter"
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

const EntryCase kEntryCases[] = {
    {"ClosedBlocks", 0, [](Gate&) {}, 0},
    {"TwoPermitsPassTwo", 2, [](Gate&) {}, 2},
    {"OpenPassesEveryone", 0, [](Gate& g) { g.open(); }, 10},
    {"CloseAfterOpenBlocks", 0,
     [](Gate& g) {
       g.open();
       g.close();
     },
     0},
    {"OpenThreeWithoutWaiters", 0, [](Gate& g) { g.open(3); }, 3},
    {"OpenZeroCloses", 0,
     [](Gate& g) {
       g.open();
       g.open(0);
     },
     0},
    {"OpenNegativeCloses", 5, [](Gate& g) { g.open(-2); }, 0},
    {"WakeAllKeepsPermits", 1, [](Gate& g) { g.wakeAll(); }, 1},
    {"WakeOneWithoutWaitersLeavesNothing", 0, [](Gate& g) { g.wakeOne(); }, 0},
};

class GateEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(GateEntry, PassesAsManyAsPermitted) {
  const EntryCase& c = GetParam();
  Gate gate(c.initialPermits);
  c.setup(gate);
  EXPECT_EQ(passesWithoutBlocking(gate), c.expectedPasses);
}

INSTANTIATE_TEST_SUITE_P(All, GateEntry, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return info.param.name; });

TEST(Gate, OpenReleasesBlockedWaiterAndStaysOpen) {
  Gate gate(0);
  {
    Waiters waiters(gate, 1);
    ASSERT_TRUE(waiters.allBlocked());
    EXPECT_EQ(waiters.passed, 0);
    gate.open();
    EXPECT_TRUE(waitUntil([&] { return waiters.passed == 1; }));
  }
  EXPECT_EQ(passesWithoutBlocking(gate), 10);
}

TEST(Gate, OpenNWithFewerWaitersKeepsTheRestAsPermits) {
  Gate gate(0);
  Waiters waiters(gate, 1);
  ASSERT_TRUE(waiters.allBlocked());
  gate.open(3);
  EXPECT_TRUE(waitUntil([&] { return waiters.passed == 1; }));
  EXPECT_EQ(passesWithoutBlocking(gate), 2);
}

TEST(Gate, OpenNWithMoreWaitersReleasesExactlyN) {
  Gate gate(0);
  Waiters waiters(gate, 3);
  ASSERT_TRUE(waiters.allBlocked());
  gate.open(2);
  EXPECT_TRUE(waitUntil([&] { return waiters.passed == 2; }));
  EXPECT_TRUE(waitUntil([&] { return gate.waitingThreads() == 1; }));
  EXPECT_EQ(passesWithoutBlocking(gate), 0);  // no permit left over
  gate.wakeOne();
  EXPECT_TRUE(waitUntil([&] { return waiters.passed == 3; }));
}

TEST(Gate, WakeAllReleasesWaitersButLeavesGateClosed) {
  Gate gate(0);
  Waiters waiters(gate, 2);
  ASSERT_TRUE(waiters.allBlocked());
  gate.wakeAll();
  EXPECT_TRUE(waitUntil([&] { return waiters.passed == 2; }));
  EXPECT_EQ(passesWithoutBlocking(gate), 0);
}

TEST(Gate, TimedWaitOnClosedGateTimesOut) {
  Gate gate(0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(gate.wait(100));
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(100));
  EXPECT_EQ(gate.waitingThreads(), 0);
}

TEST(Gate, TimedWaitOnOpenGatePassesAtOnce) {
  Gate gate(0);
  gate.open();
  EXPECT_FALSE(gate.wait(10000));
}

TEST(Gate, TimedWaiterReleasedByWakeOnePasses) {
  Gate gate(0);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = gate.wait(60000) ? 1 : 0; });
  ASSERT_TRUE(waitUntil([&] { return gate.waitingThreads() == 1; }));
  gate.wakeOne();
  waiter.join();
  EXPECT_EQ(result, 0);
}

}  // namespace
