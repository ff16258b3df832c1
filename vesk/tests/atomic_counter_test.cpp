#include <gtest/gtest.h>

#include <ostream>
#include <thread>
#include <vector>

#include "tolb/atomic_counter.h"

namespace {

using TOLB::AtomicCounter;

TEST(AtomicCounter, DerefReportsWhetherStillPositive) {
  AtomicCounter counter(5);
  EXPECT_TRUE(counter.deref());
  EXPECT_TRUE(counter.deref());
  EXPECT_TRUE(counter.deref());
  EXPECT_TRUE(counter.deref());
  EXPECT_FALSE(counter.deref());
  EXPECT_EQ(counter, 0);
}

struct Case {
  const char* name;
  int start;
  int (*operation)(AtomicCounter&);
  int result;
  int after;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"RefFromMinusOneIsNotPositive", -1,
     [](AtomicCounter& c) { return int(c.ref()); }, 0, 0},
    {"RefFromZeroIsPositive", 0, [](AtomicCounter& c) { return int(c.ref()); },
     1, 1},
    {"NotOnZeroIsFalse", 0, [](AtomicCounter& c) { return int(!c); }, 0, 0},
    {"NotOnThreeIsTrue", 3, [](AtomicCounter& c) { return int(!c); }, 1, 3},
    {"TestAndSetMatching", 1,
     [](AtomicCounter& c) { return int(c.testAndSet(1, 2)); }, 1, 2},
    {"TestAndSetNotMatching", 0,
     [](AtomicCounter& c) { return int(c.testAndSet(1, 2)); }, 0, 0},
    {"PreIncrementGivesNew", 4, [](AtomicCounter& c) { return ++c; }, 5, 5},
    {"PostIncrementGivesOld", 4, [](AtomicCounter& c) { return c++; }, 4, 5},
    {"PreDecrementGivesNew", 4, [](AtomicCounter& c) { return --c; }, 3, 3},
    {"PostDecrementGivesOld", 4, [](AtomicCounter& c) { return c--; }, 4, 3},
    {"AssignmentReplaces", 4, [](AtomicCounter& c) { return int(c = 9); }, 9,
     9},
    {"EqualityCompares", 7,
     [](AtomicCounter& c) { return int(c == 7 && c != 8); }, 1, 7},
};

class AtomicCounterCase : public ::testing::TestWithParam<Case> {};

TEST_P(AtomicCounterCase, GivesResultAndLeavesValue) {
  const Case& c = GetParam();
  AtomicCounter counter(c.start);
  EXPECT_EQ(c.operation(counter), c.result);
  EXPECT_EQ(int(counter), c.after);
}

INSTANTIATE_TEST_SUITE_P(All, AtomicCounterCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

TEST(AtomicCounter, CopyTakesCurrentValue) {
  AtomicCounter original(3);
  AtomicCounter copy(original);
  ++original;
  EXPECT_EQ(copy, 3);
  EXPECT_EQ(original, 4);
}

TEST(AtomicCounter, ConcurrentIncrementsAreNotLost) {
  AtomicCounter counter;
  constexpr int kThreads = 4, kEach = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        counter.ref();
        ++counter;
        counter.deref();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, kThreads * kEach);
}

}  // namespace
