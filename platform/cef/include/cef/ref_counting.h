// Stand-in of the browser framework's reference counting: an intrusive,
// atomic count in every framework object and `scoped_refptr`, the handle
// that holds one reference.
//
// Ownership: an object starts with no reference; each scoped_refptr that
// points at it holds one, and the object deletes itself (through its
// virtual destructor) when the last one is released.
// Thread-safety: the count is atomic, so handles to one object may be
// copied and dropped on any threads; a single handle is not thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

class CefBaseRefCounted {
 public:
  CefBaseRefCounted() = default;
  CefBaseRefCounted(const CefBaseRefCounted&) = delete;
  CefBaseRefCounted& operator=(const CefBaseRefCounted&) = delete;

  void addRef() const { references_.fetch_add(1, std::memory_order_relaxed); }

  // Drops one reference; deletes the object and returns true when it was
  // the last.
  bool release() const {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete this;
      return true;
    }
    return false;
  }

  bool hasOneRef() const {
    return references_.load(std::memory_order_acquire) == 1;
  }

 protected:
  virtual ~CefBaseRefCounted() = default;

 private:
  mutable std::atomic<int> references_{0};
};

template <class T>
class scoped_refptr {
 public:
  scoped_refptr() = default;
  scoped_refptr(std::nullptr_t) {}
  scoped_refptr(T* object) : object_(object) {
    if (object_) object_->addRef();
  }
  scoped_refptr(const scoped_refptr& other) : scoped_refptr(other.object_) {}
  scoped_refptr(scoped_refptr&& other) noexcept
      : object_(std::exchange(other.object_, nullptr)) {}
  template <class U>
  scoped_refptr(const scoped_refptr<U>& other) : scoped_refptr(other.get()) {}
  template <class U>
  scoped_refptr(scoped_refptr<U>&& other) noexcept : object_(other.detach()) {}
  ~scoped_refptr() {
    if (object_) object_->release();
  }

  scoped_refptr& operator=(scoped_refptr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void reset() { scoped_refptr().swap(*this); }
  void swap(scoped_refptr& other) noexcept {
    std::swap(object_, other.object_);
  }

  // Gives up the held reference without releasing it.
  T* detach() { return std::exchange(object_, nullptr); }

 private:
  T* object_ = nullptr;
};

template <class T, class U>
bool operator==(const scoped_refptr<T>& a, const scoped_refptr<U>& b) {
  return a.get() == b.get();
}
