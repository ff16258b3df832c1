#include "tolb/read_write_lock.h"

#include <pthread.h>

#include <cerrno>
#include <system_error>

namespace TOLB {

struct ReadWriteLock::Impl {
  pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;
};

namespace {

void throwIfDeadlock(int result, const char* what) {
  if (result == EDEADLK) {
    throw std::system_error(EDEADLK, std::generic_category(), what);
  }
}

}  // namespace

ReadWriteLock::ReadWriteLock() : impl_(new Impl) {}

ReadWriteLock::~ReadWriteLock() {
  pthread_rwlock_destroy(&impl_->lock);
  delete impl_;
}

void ReadWriteLock::readLock() {
  int result;
  // EAGAIN: the maximum number of readers is reached; try again at once.
  while ((result = pthread_rwlock_rdlock(&impl_->lock)) == EAGAIN) {
  }
  throwIfDeadlock(result, "ReadWriteLock::readLock");
}

void ReadWriteLock::unlockRead() { pthread_rwlock_unlock(&impl_->lock); }

void ReadWriteLock::writeLock() {
  throwIfDeadlock(pthread_rwlock_wrlock(&impl_->lock),
                  "ReadWriteLock::writeLock");
}

void ReadWriteLock::unlockWrite() { pthread_rwlock_unlock(&impl_->lock); }

}  // namespace TOLB
