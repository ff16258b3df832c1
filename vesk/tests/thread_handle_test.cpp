#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "vesk/thread.h"

namespace {

using VESK::Thread;

TEST(ThreadHandle, SameThreadSameRecord) {
  Thread first = Thread::getCurrentThread();
  Thread second = Thread::getCurrentThread();
  EXPECT_FALSE(first.isEmpty());
  EXPECT_EQ(first, second);
  EXPECT_EQ(Thread::getCurrentThreadIfRegistered(), first);
}

TEST(ThreadHandle, NewThreadIsUnknownUntilFirstLookup) {
  bool emptyBefore = false, sameAfter = false;
  std::string name;
  std::thread([&] {
    emptyBefore = Thread::getCurrentThreadIfRegistered().isEmpty();
    Thread created = Thread::getCurrentThread();
    sameAfter = Thread::getCurrentThreadIfRegistered() == created;
    name = created.getName();
  }).join();
  EXPECT_TRUE(emptyBefore);
  EXPECT_TRUE(sameAfter);
  EXPECT_EQ(name, "unnamed thread");
}

TEST(ThreadHandle, CopyAndMove) {
  Thread original = Thread::getCurrentThread();
  Thread copy(original);
  EXPECT_EQ(copy, original);
  Thread moved(std::move(copy));
  EXPECT_EQ(moved, original);
  EXPECT_TRUE(copy.isEmpty());  // NOLINT(bugprone-use-after-move)
  Thread assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned, original);
  EXPECT_TRUE(moved.isEmpty());  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(Thread().isEmpty());
}

TEST(ThreadHandle, ThreadsHaveDistinctRecordsThatOutliveThem) {
  constexpr int kThreads = 8;
  std::vector<Thread> handles(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&handles, i] {
      handles[i] = Thread::getCurrentThread();
      EXPECT_EQ(Thread::getCurrentThread(), handles[i]);
    });
  }
  for (auto& thread : threads) thread.join();

  std::set<VESK::ThreadImpl*> records;
  for (const Thread& handle : handles) {
    records.insert(handle.impl());
    EXPECT_EQ(handle.getName(), "unnamed thread");  // still valid after exit
  }
  records.insert(Thread::getCurrentThread().impl());
  EXPECT_EQ(records.size(), kThreads + 1u);
}

}  // namespace
