// ThreadImpl: the record of one message thread, and the process-wide thread
// registry lock. Records are created on demand and never freed.
#pragma once

#include <string>

#include "tolb/read_write_lock.h"
#include "vesk/thread.h"

namespace VESK {

struct ThreadImpl {
  std::string name = "unnamed thread";  // guarded by threadRegistryLock()
  // Next record of the process-wide list of every record ever made; set
  // once, before the record is published.
  ThreadImpl* nextRecord = nullptr;
};

// Guards every record's name and the name registries. Never held together
// with the global connection lock, nor while a slot or wake-up runs.
TOLB::ReadWriteLock& threadRegistryLock();

// The calling thread's record; created when there is none and `create` is
// set, otherwise null.
ThreadImpl* lookupCurrentThread(bool create);

}  // namespace VESK
