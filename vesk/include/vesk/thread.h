// Thread: copyable handle of a message thread, that is, of an operating-
// system thread that libvesk knows. Each such thread has one record
// (ThreadImpl), created on demand and never freed, so a handle stays valid
// for the life of the process. Handles do not own records: copying copies
// the pointer, moving empties the source. An empty handle names no thread.
// Two handles denote the same thread when they hold the same record.
//
// A message thread has a queue of packets posted to it and an optional
// wake-up callable that every post runs (on the posting thread). The thread
// drains its queue by calling process(), processOne() or
// processCurrentQueue(), typically from its own event loop after the wake-up
// callable has told it that something arrived (EventLoopThread in
// event_loop_thread.h is a ready loop). Threads can be registered under
// names and looked up by name; the name mainThreadName ("TARVEX") is
// reserved for the computing engine's main thread, and looking it up blocks
// until that thread has registered.
//
// Engine mode: when the process hosts the computing engine (decided by the
// event-manager service on every lookup), the current thread of
// getCurrentThread() is the registered main thread of the engine instance
// whose context is active.
//
// Thread-safety: handles are plain values; the record they name is shared
// and safe to use from any thread. Names and registries are guarded by the
// thread registry lock, which is never held together with the global
// connection lock, nor while a slot or wake-up callable runs. Operations
// other than the constructors and static functions throw std::logic_error
// on an empty handle.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "tolb/export.h"

namespace VESK {

struct ThreadImpl;
class ConnectedPacket;

// The name reserved for the computing engine's main thread.
inline constexpr std::string_view mainThreadName = "TARVEX";

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

  // Names the calling thread and installs its wake-up callable (replacing
  // the previous one; an empty callable means none). mainThreadName also
  // publishes the thread as the engine's main thread, releasing every
  // getNamedThread(mainThreadName) that waits. Registering a name that
  // another thread holds moves the name to the calling thread; earlier
  // names of the calling thread still denote it.
  //
  // The wake-up callable runs on posting threads, concurrently with each
  // other and with processing; it must be cheap and thread-safe.
  static void registerThread(const std::string& name,
                             std::function<void()> wakeUp);
  // The thread registered under `name`, or an empty handle. For
  // mainThreadName it blocks (holding no lock) until the main thread has
  // registered; if the library unloads first it throws std::future_error.
  static Thread getNamedThread(const std::string& name);

  // A copy of the record's name.
  std::string getName() const;

  // Queues a copy of `packet` (one more payload and connection reference)
  // and runs the wake-up callable, on the calling thread, with no library
  // lock held. Never blocks.
  void post(const ConnectedPacket& packet) const;
  // As above, queuing `packet` itself: its references move to the queue.
  void post(ConnectedPacket&& packet) const;
  // Delivers queued packets until the queue is empty, including packets
  // posted meanwhile.
  void process() const;
  // Delivers at most one queued packet.
  void processOne() const;
  // Delivers at most the packets queued on entry; later posts stay queued.
  void processCurrentQueue() const;
  // Empties the queue without running any slot. A removed packet counts as
  // delivered without a connection, so a blocking sender waiting for it is
  // released.
  void clearQueue() const;
  int getQueueSize() const;
  // True while a processing operation runs on this record.
  bool processingMessages() const;
  // False while a CrossThreadSyncCallAsserter for this thread exists. The
  // library itself never consults it; it marks threads that client code
  // must not send to in a blocking mode.
  bool areCrossThreadSyncCallsAllowed() const;

  bool isEmpty() const noexcept { return impl_ == nullptr; }
  explicit operator bool() const noexcept { return impl_ != nullptr; }
  ThreadImpl* impl() const noexcept { return impl_; }

  friend bool operator==(const Thread& a, const Thread& b) noexcept {
    return a.impl_ == b.impl_;
  }

 private:
  ThreadImpl& record() const;

  ThreadImpl* impl_ = nullptr;
};

// Marks a thread as one that must not receive blocking sends, for as long
// as the asserter exists (nested asserters count). The handle must outlive
// the asserter.
class VESK_EXPORT CrossThreadSyncCallAsserter {
 public:
  explicit CrossThreadSyncCallAsserter(const Thread& thread);
  ~CrossThreadSyncCallAsserter();
  CrossThreadSyncCallAsserter(const CrossThreadSyncCallAsserter&) = delete;
  CrossThreadSyncCallAsserter& operator=(const CrossThreadSyncCallAsserter&) =
      delete;

 private:
  const Thread& thread_;
};

}  // namespace VESK
