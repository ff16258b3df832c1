// Mutex: a mutual-exclusion lock that is recursive or not, fixed when it is
// built. No owner or depth is tracked.
//
// Thread-safety: every operation may be called from any thread; lock()
// throws std::system_error when the underlying mutex cannot be locked.
#pragma once

#include "tolb/export.h"
#include "tolb/thread_annotations.h"

namespace TOLB {

class VESK_EXPORT TOLB_CAPABILITY("mutex") Mutex {
 public:
  // Only Recursive (0) selects the recursive mutex; any other value behaves
  // as NonRecursive.
  enum RecursiveMode : int { Recursive = 0, NonRecursive = 1 };

  explicit Mutex(RecursiveMode mode);
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  ~Mutex();

  void lock() TOLB_ACQUIRE();
  void unlock() TOLB_RELEASE();
  // True when acquired; never blocks. A non-recursive mutex held by the
  // calling thread gives false.
  bool tryLock() TOLB_TRY_ACQUIRE(true);
  // Does nothing: no owner is tracked.
  void assertIsLockedOnThisThread() {}

 private:
  struct Impl;
  Impl* impl_;  // owned
};

}  // namespace TOLB
