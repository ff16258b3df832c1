#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <ostream>
#include <system_error>
#include <thread>

#include "test_support.h"
#include "tolb/mutex.h"
#include "tolb/read_write_lock.h"

namespace {

using TOLB::Mutex;
using TOLB::ReadWriteLock;
using vesk_test::waitUntil;

bool tryLockOnOtherThread(Mutex& mutex) {
  bool acquired = false;
  std::thread([&] {
    acquired = mutex.tryLock();
    if (acquired) mutex.unlock();
  }).join();
  return acquired;
}

TEST(Mutex, RecursiveLocksTwiceAndNeedsTwoUnlocks) {
  Mutex mutex(Mutex::Recursive);
  mutex.lock();
  mutex.lock();
  EXPECT_TRUE(mutex.tryLock());
  mutex.unlock();
  mutex.unlock();
  EXPECT_FALSE(tryLockOnOtherThread(mutex));
  mutex.unlock();
  EXPECT_TRUE(tryLockOnOtherThread(mutex));
}

TEST(Mutex, NonRecursiveRefusesItsOwner) {
  for (auto mode :
       {Mutex::NonRecursive, static_cast<Mutex::RecursiveMode>(7)}) {
    Mutex mutex(mode);
    mutex.lock();
    EXPECT_FALSE(mutex.tryLock());
    EXPECT_FALSE(tryLockOnOtherThread(mutex));
    mutex.unlock();
    EXPECT_TRUE(tryLockOnOtherThread(mutex));
  }
}

TEST(Mutex, ExcludesOtherThreads) {
  Mutex mutex(Mutex::NonRecursive);
  int shared = 0;  // guarded by mutex
  auto work = [&] {
    for (int i = 0; i < 10000; ++i) {
      mutex.lock();
      ++shared;
      mutex.unlock();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(shared, 20000);
}

TEST(ReadWriteLock, ReadersShareAndWriterWaitsForBoth) {
  ReadWriteLock lock;
  std::atomic<int> readersIn{0};
  std::atomic<bool> releaseReaders{false}, writerIn{false};
  auto reader = [&] {
    lock.readLock();
    ++readersIn;
    waitUntil([&] { return releaseReaders.load(); });
    lock.unlockRead();
  };
  std::thread r1(reader), r2(reader);
  ASSERT_TRUE(waitUntil([&] { return readersIn == 2; }));  // both at once

  std::thread writer([&] {
    lock.writeLock();
    writerIn = true;
    lock.unlockWrite();
  });
  EXPECT_FALSE(waitUntil([&] { return writerIn.load(); },
                         std::chrono::milliseconds(100)));
  releaseReaders = true;
  EXPECT_TRUE(waitUntil([&] { return writerIn.load(); }));
  r1.join();
  r2.join();
  writer.join();
}

struct DeadlockCase {
  const char* name;
  std::function<void(ReadWriteLock&)> second;
};

void PrintTo(const DeadlockCase& c, std::ostream* os) { *os << c.name; }

class ReadWriteLockWhileWriting
    : public ::testing::TestWithParam<DeadlockCase> {};

TEST_P(ReadWriteLockWhileWriting, ThrowsDeadlockCode35) {
  ReadWriteLock lock;
  lock.writeLock();
  try {
    GetParam().second(lock);
    ADD_FAILURE() << "no exception";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), 35);
    EXPECT_EQ(error.code().value(), EDEADLK);
  }
  lock.unlockWrite();
  // Nothing more is held after the throw: another thread can write now.
  bool acquired = false;
  std::thread([&] {
    lock.writeLock();
    acquired = true;
    lock.unlockWrite();
  }).join();
  EXPECT_TRUE(acquired);
  EXPECT_TRUE(lock.isWriteLockedOnThisThread());  // always true, by contract
}

INSTANTIATE_TEST_SUITE_P(
    All, ReadWriteLockWhileWriting,
    ::testing::Values(DeadlockCase{"WriteAgain",
                                   [](ReadWriteLock& l) { l.writeLock(); }},
                      DeadlockCase{"ReadWhileWriting",
                                   [](ReadWriteLock& l) { l.readLock(); }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
