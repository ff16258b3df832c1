// Emitters, listeners and the connections between them.
//
// A signal source (EmitterBase, the core of every VESK::Emitter) and a signal
// sink (Listener) are linked by Connection objects, each registered in both
// ends' tables. A connection is cut in one of two ways, chosen by a
// PacketDropMode: from the emitter's side (DeliverPending: packets already on
// their way still run the slot) or from the listener's side (DropPending:
// they are dropped; a blocking sender is still released).
//
// Locking: one process-wide ReadWriteLock, GetGlobalConnectionLock(), guards
// every emitter table, every listener table and each connection's `listener`,
// `emitter` and disconnect flags. It is not recursive. No operation holds it
// while a slot runs, a packet is posted, a wake-up callable runs or a sender
// waits, and it is never held together with the thread registry lock.
//
// Ownership: emitters and listeners belong to client code. A connection
// belongs to the pair it links and deletes itself once it has left the
// emitter's table and no packet refers to it. Its reference count holds
// one reference per ConnectedPacket (payload.h) plus one while it is in the
// emitter's table; the thread that drops the last reference destroys it,
// under the global lock for writing.
//
// Lifetime states:
//   Linked        both tables              -> Emitter-cut / Listener-cut
//   Emitter-cut   listener's table only    -> Listener-cut, or destroyed at
//                 (packets still run)         the last packet's release
//   Listener-cut  no table (packets drop)  -> destroyed at the last release
#pragma once

#include <atomic>
#include <utility>

#include "tolb/atomic_counter.h"
#include "tolb/export.h"
#include "tolb/read_write_lock.h"
#include "vesk/modes.h"
#include "vesk/thread.h"

namespace VESK {

class Connection;
class EmitterBase;
class Listener;
class Packet;
class Payload;
struct ConnectionTable;  // ordered set of Connection*, by address

// The lock behind every connection table; created on first call (thread-safe)
// and never destroyed.
VESK_EXPORT TOLB::ReadWriteLock* GetGlobalConnectionLock();

// Connection: the link between one emitter and one listener, and the
// receiving side of a signature's packets (ConnectionX::invoke runs the
// listener's slot).
//
// Construction registers the connection in both tables and takes no lock:
// whoever constructs one holds the global connection lock for writing (see
// VESK::connect in connect.h). receiverThread and deliverOnSenderThread are
// set by the derived connection before the lock is released and never
// change afterwards.
class VESK_EXPORT Connection {
 public:
  Connection(Listener* listener, EmitterBase* emitter);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  virtual ~Connection();

  // One more packet refers to the connection (atomic, no lock).
  void incRef() noexcept { ++referenceCount_; }
  // One packet fewer; the thread whose release is the last destroys the
  // connection under the global lock for writing. Takes the lock only then,
  // so it must not run on a thread that holds the global lock.
  void decRef();
  // Removes the connection from whichever tables still hold it and deletes
  // it. Called with the global lock held for writing.
  void destroy();
  // Emitter-side cut (the caller erases the emitter's table entry) and
  // listener-side cut (the caller erases the listener's table entry). Called
  // with the global lock held for writing.
  void disconnectEmitter();
  void disconnectListener();

  // The thread that must run the slot, and whether the slot may instead run
  // on whatever thread sends (send.cpp's dispatch table).
  const Thread& receiverThread() const noexcept { return receiverThread_; }
  void setReceiverThread(Thread thread) noexcept {
    receiverThread_ = std::move(thread);
  }
  bool deliverOnSenderThread() const noexcept { return deliverOnSenderThread_; }
  void setDeliverOnSenderThread(bool on) noexcept {
    deliverOnSenderThread_ = on;
  }

  // Read under the global lock (any mode).
  Listener* listener() const noexcept { return listener_; }
  EmitterBase* emitter() const noexcept { return emitter_; }
  bool isEmitterDisconnected() const noexcept { return emitterDisconnected_; }
  // Readable without the lock: delivery checks it to drop packets of a
  // connection cut from the listener's side.
  bool isListenerDisconnected() const noexcept {
    return listenerDisconnected_.load(std::memory_order_acquire);
  }

 private:
  // Drops the reference that the emitter's table holds; destroys the
  // connection when it was the last. Requires the global lock for writing.
  void leaveEmitterTable();

  Listener* listener_;     // guarded by the global lock
  EmitterBase* emitter_;   // guarded by the global lock
  Thread receiverThread_;  // set before first use, then constant
  // One per ConnectedPacket, plus one while in the emitter's table.
  TOLB::AtomicCounter referenceCount_{1};
  bool emitterDisconnected_ = false;               // guarded by the global lock
  std::atomic<bool> listenerDisconnected_{false};  // written under the lock
  bool deliverOnSenderThread_ = false;             // set before first use
};

// ConnectionX: the connection type of the signature R(Args...). invoke runs
// the listener's slot; client connection types (see connect.h) supply it.
// Each call gets its own copy of the emitted arguments.
template <class R, class... Args>
class ConnectionX : public Connection {
 public:
  using Connection::Connection;
  virtual R invoke(Args... args) = 0;
};

// Listener: the base of every object that receives signals. Copies start
// with no connections.
//
// Cut a listener (disconnect() from a registered thread, or let its
// destructor do it) before the derived object goes away: a cut made on the
// thread that runs its slots guarantees that no slot runs there afterwards.
// Cutting does not wait for slots already running on other threads.
class VESK_EXPORT Listener {
 public:
  Listener() noexcept = default;
  Listener(const Listener&) noexcept {}
  Listener& operator=(const Listener&) noexcept { return *this; }
  // Cuts every connection that is left, as DropPending, on whatever thread
  // it runs; queued packets for this listener are then dropped.
  virtual ~Listener() = 0;

  // Table maintenance for Connection; the caller holds the global lock for
  // writing.
  void addConnection(Connection* connection);
  void removeConnection(Connection* connection) noexcept;

  // Listener-side cut of every connection (DropPending). Does nothing on a
  // thread that the library does not know (getCurrentThreadIfRegistered()
  // is empty).
  void disconnect();
  // Cut the connections from `emitter`: DropPending here, DeliverPending
  // handed to the emitter. Does nothing on an unregistered thread. Throws
  // std::invalid_argument for any other mode.
  void disconnectFrom(EmitterBase& emitter, PacketDropMode mode);

  // Size of the table, read under the global lock for reading.
  int numberOfConnections() const;

 private:
  void cutAll();  // requires the global lock for writing

  ConnectionTable* connections_ = nullptr;  // owned; guarded by the lock
};

// EmitterBase: the connection table and defaults of one emitter; sending
// (sendPacket) is described in emitter.h. Copies keep the defaults and start
// with no connections.
class VESK_EXPORT EmitterBase {
 public:
  EmitterBase(SendMode defaultMode, PacketDropMode defaultDropMode) noexcept
      : defaultMode_(defaultMode), defaultDropMode_(defaultDropMode) {}
  EmitterBase(const EmitterBase& other) noexcept
      : defaultMode_(other.defaultMode()),
        defaultDropMode_(other.defaultPacketDropMode()) {}
  EmitterBase& operator=(const EmitterBase& other) noexcept {
    setDefaultMode(other.defaultMode());
    setDefaultPacketDropMode(other.defaultPacketDropMode());
    return *this;
  }
  // Cuts every connection with the default drop mode: with DeliverPending,
  // queued packets still run after the emitter has gone.
  ~EmitterBase();

  void setDefaultMode(SendMode mode) noexcept {
    defaultMode_.store(mode, std::memory_order_relaxed);
  }
  SendMode defaultMode() const noexcept {
    return defaultMode_.load(std::memory_order_relaxed);
  }
  void setDefaultPacketDropMode(PacketDropMode mode) noexcept {
    defaultDropMode_.store(mode, std::memory_order_relaxed);
  }
  PacketDropMode defaultPacketDropMode() const noexcept {
    return defaultDropMode_.load(std::memory_order_relaxed);
  }

  // Size of the table, read under the global lock for reading.
  int numberOfConnections() const;

  // Table maintenance for Connection; the caller holds the global lock for
  // writing.
  void addConnection(Connection* connection);
  void removeConnection(Connection* connection) noexcept;

  // Cut the connections to `listener`: DeliverPending here (any thread),
  // DropPending handed to the listener (which does nothing on an
  // unregistered thread). Throws std::invalid_argument for any other mode.
  void disconnectFrom(Listener* listener, PacketDropMode mode);
  // Cut every connection: DeliverPending from the emitter's side,
  // DropPending from the listeners' side. Works on any thread.
  void disconnectFromAll(PacketDropMode mode);

  // Sends `packet` to every current connection (see emitter.h). The third
  // parameter has no effect.
  void sendPacket(Packet& packet, SendMode mode, bool unused = false) const;

  // The two halves of Emitter::send, not meant for other callers.
  //
  // Builds a payload with `make(arguments, storage)` in `storage` and
  // delivers it at once to every connection, as sendPacket would, when
  // every connection's slot runs on the sending thread in `mode`; returns
  // true then (also when there is no connection: nothing is built). Returns
  // false, having done nothing, when some packet would have to be posted.
  using MakePayload = Payload* (*)(void* arguments, void* storage);
  bool sendOnSendingThread(SendMode mode, MakePayload make, void* arguments,
                           void* storage) const;
  // sendPacket for a packet that belongs to the emission: its reference may
  // move to a queued packet instead of being shared.
  void sendOwnedPacket(Packet&& packet, SendMode mode) const;

  // Process-wide counts, per effective send mode 0..5, of packets whose slot
  // ran on the sending thread and of packets posted to a queue; 0 for any
  // other value.
  static unsigned getUsageStatsDelivered(SendMode mode) noexcept;
  static unsigned getUsageStatsPosted(SendMode mode) noexcept;

 private:
  void dispatch(Packet& packet, SendMode mode, bool owned) const;

  std::atomic<SendMode> defaultMode_;
  std::atomic<PacketDropMode> defaultDropMode_;
  ConnectionTable* connections_ = nullptr;  // owned; guarded by the lock
};

}  // namespace VESK
