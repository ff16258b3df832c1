// ThreadImpl: the record of one message thread, and the process-wide thread
// registry lock. Records are created on demand and never freed.
#pragma once

#include <tbb/concurrent_queue.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "tolb/atomic_counter.h"
#include "tolb/read_write_lock.h"
#include "vesk/payload.h"
#include "vesk/thread.h"

namespace VESK {

using WakeUp = std::shared_ptr<const std::function<void()>>;

// A queue entry: a packet, or nothing while the entry is the target of a
// pop.
using QueuedPacket = std::optional<ConnectedPacket>;

struct ThreadImpl {
  std::string name = "unnamed thread";  // guarded by threadRegistryLock()
  // Next record of the process-wide list of every record ever made; set
  // once, before the record is published.
  ThreadImpl* nextRecord = nullptr;
  // Packets posted to this thread, first in first out. Any thread may push
  // and pop; the capacity is never lowered, so pushing never blocks. Each
  // entry holds its packet by value (one payload and one connection
  // reference, as a shared copy would), so a post allocates nothing of its
  // own beyond the queue's pages. The pages come from the standard
  // allocator, which ThreadSanitizer sees: a page freed by the thread that
  // emptied it and reused by a poster is then known to be handed over, not
  // raced on (oneTBB's own allocator synchronises where it cannot look).
  tbb::concurrent_bounded_queue<QueuedPacket, std::allocator<QueuedPacket>>
      queue;
  // Run after every post. registerThread may replace it while other
  // threads post: a post copies the pointer under wakeUpMutex and runs the
  // callable after releasing it, so a replaced callable is destroyed once
  // its last running call has ended. The mutex is held only for the copy.
  std::mutex wakeUpMutex;
  WakeUp wakeUp;  // guarded by wakeUpMutex

  TOLB::AtomicCounter processingDepth;   // processing calls running now
  TOLB::AtomicCounter syncCallBlockers;  // CrossThreadSyncCallAsserters
};

// Guards every record's name and the name registries. Never held together
// with the global connection lock, nor while a slot or wake-up runs.
TOLB::ReadWriteLock& threadRegistryLock();

// The calling thread's record; created when there is none and `create` is
// set, otherwise null. In engine mode, the registered main thread of the
// engine instance whose context is active.
ThreadImpl* lookupCurrentThread(bool create);

// The record that lookupCurrentThread(true) would return, or null when it
// would have to create one (the thread has none yet). Creates nothing.
ThreadImpl* lookupSendingThread();

}  // namespace VESK
