#include "tolb/mutex.h"

#include <mutex>

namespace TOLB {

struct Mutex::Impl {
  std::recursive_mutex recursiveMutex;
  std::mutex plainMutex;
  bool recursive;
};

Mutex::Mutex(RecursiveMode mode) : impl_(new Impl) {
  impl_->recursive = (mode == Recursive);
}

Mutex::~Mutex() { delete impl_; }

void Mutex::lock() {
  if (impl_->recursive) {
    impl_->recursiveMutex.lock();
  } else {
    impl_->plainMutex.lock();
  }
}

void Mutex::unlock() {
  if (impl_->recursive) {
    impl_->recursiveMutex.unlock();
  } else {
    impl_->plainMutex.unlock();
  }
}

bool Mutex::tryLock() {
  return impl_->recursive ? impl_->recursiveMutex.try_lock()
                          : impl_->plainMutex.try_lock();
}

}  // namespace TOLB
