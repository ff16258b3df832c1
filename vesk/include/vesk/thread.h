// Thread: copyable handle of a message thread, that is, of an operating-
// system thread that libvesk knows. Each such thread has one record
// (ThreadImpl), created on demand and never freed, so a handle stays valid
// for the life of the process. Handles do not own records: copying copies
// the pointer, moving empties the source. An empty handle names no thread.
// Two handles denote the same thread when they hold the same record.
//
// Thread-safety: handles are plain values; the record they name is shared
// and safe to use from any thread. A thread's name is written only under the
// thread registry lock and read under it.
#pragma once

#include <string>
#include <utility>

#include "tolb/export.h"

namespace VESK {

struct ThreadImpl;

class VESK_EXPORT Thread {
 public:
  Thread() noexcept = default;
  explicit Thread(ThreadImpl* impl) noexcept : impl_(impl) {}
  Thread(const Thread&) noexcept = default;
  Thread& operator=(const Thread&) noexcept = default;
  Thread(Thread&& other) noexcept
      : impl_(std::exchange(other.impl_, nullptr)) {}
  Thread& operator=(Thread&& other) noexcept {
    impl_ = std::exchange(other.impl_, nullptr);
    return *this;
  }
  ~Thread() = default;

  // The calling thread's record, created (named "unnamed thread") if there
  // is none yet.
  static Thread getCurrentThread();
  // The calling thread's record, or an empty handle; creates nothing.
  static Thread getCurrentThreadIfRegistered();

  // A copy of the record's name. Requires a non-empty handle.
  std::string getName() const;

  bool isEmpty() const noexcept { return impl_ == nullptr; }
  explicit operator bool() const noexcept { return impl_ != nullptr; }
  ThreadImpl* impl() const noexcept { return impl_; }

  friend bool operator==(const Thread& a, const Thread& b) noexcept {
    return a.impl_ == b.impl_;
  }

 private:
  ThreadImpl* impl_ = nullptr;
};

}  // namespace VESK
