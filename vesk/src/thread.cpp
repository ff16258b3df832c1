#include "thread_impl.h"

#include <atomic>

namespace VESK {
namespace {

// Binds each thread to its record. Read and written only by its own thread.
thread_local ThreadImpl* currentThreadSlot = nullptr;

// Every record ever made, newest first. Records are never freed; the list
// keeps them reachable after their threads have ended.
std::atomic<ThreadImpl*> allRecords{nullptr};

ThreadImpl* createRecord() {
  auto* record = new ThreadImpl;
  record->nextRecord = allRecords.load(std::memory_order_relaxed);
  while (!allRecords.compare_exchange_weak(record->nextRecord, record,
                                           std::memory_order_release,
                                           std::memory_order_relaxed)) {
  }
  return record;
}

}  // namespace

TOLB::ReadWriteLock& threadRegistryLock() {
  // Never destroyed: records and their users live until the process ends.
  static TOLB::ReadWriteLock* const lock = new TOLB::ReadWriteLock;
  return *lock;
}

ThreadImpl* lookupCurrentThread(bool create) {
  if (currentThreadSlot || !create) return currentThreadSlot;
  currentThreadSlot = createRecord();
  return currentThreadSlot;
}

Thread Thread::getCurrentThread() { return Thread(lookupCurrentThread(true)); }

Thread Thread::getCurrentThreadIfRegistered() {
  return Thread(lookupCurrentThread(false));
}

std::string Thread::getName() const {
  TOLB::ReadLocker lock(threadRegistryLock());
  return impl_->name;
}

}  // namespace VESK
