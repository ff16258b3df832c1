// Payloads and packets: what one emission carries to its listeners.
//
// Payload: a heap object holding the emitted arguments and running them
// against one connection (performDeliver). Optionally synchronous: it then
// counts outstanding deliveries and opens its gate when the last one is
// done, releasing a blocking sender. Reference-counted intrusively: the
// emitter's Packet adopts the creator's reference, every further Packet
// (also the one inside each ConnectedPacket) adds one, and the Packet whose
// release brings the count to 0 deletes the payload, on whatever thread.
//
// Packet: a counted handle on a payload. ConnectedPacket: a packet paired
// with the connection it is meant for, holding one connection reference;
// it is the unit delivered at once or queued on a message thread.
//
// Thread-safety: reference counts and the pending-delivery count are atomic,
// so packets of one payload may be copied, delivered and released on any
// threads at once; exactly one thread deletes the payload and exactly one
// opens its gate. deliver() may run concurrently for one payload, so
// performDeliver only reads the bound arguments. setSynchronous must be
// called before the payload is handed to another thread.
//
// Slot exceptions: Payload::deliver is the one place where libvesk discards
// what a listener's slot throws; the synchronous bookkeeping still happens.
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "tolb/atomic_counter.h"
#include "tolb/export.h"
#include "tolb/gate.h"
#include "vesk/connection.h"
#include "vesk/modes.h"

namespace VESK {

class VESK_EXPORT Payload {
 public:
  Payload() noexcept = default;
  Payload(const Payload&) = delete;
  Payload& operator=(const Payload&) = delete;
  virtual ~Payload();  // frees the gate, if any

  void incRef() noexcept { ++referenceCount_; }
  // Subtracts one and returns the new count; never deletes (Packet does).
  int decRef() noexcept { return --referenceCount_; }
  int refCount() const noexcept { return referenceCount_; }

  // Makes the payload wait for n deliveries: installs a new closed gate
  // (freeing any previous one) and sets the pending count to n.
  void setSynchronous(int n);
  bool isSynchronous() const noexcept { return gate_ != nullptr; }

  // One delivery attempt: runs performDeliver(connection) unless connection
  // is null, discarding anything it throws; then, for a synchronous payload,
  // counts the delivery and opens the gate when it was the last. A null
  // connection (a dropped packet) therefore still counts.
  void deliver(Connection* connection);

  // Blocks until the gate opens. Throws std::logic_error unless
  // setSynchronous has been called.
  void wait();
  // Waits at most `milliseconds`; true when the wait timed out, false when
  // every delivery is done. Throws as wait() does.
  bool wait(unsigned long milliseconds);

  virtual void performDeliver(Connection* connection) = 0;

 private:
  TOLB::Gate& requireGate() const;

  TOLB::Gate* gate_ = nullptr;             // owned; set before sharing
  TOLB::AtomicCounter pendingDeliveries_;  // deliveries still awaited
  TOLB::AtomicCounter referenceCount_{1};  // one per Packet
};

// PayloadX: the payload of one emission of the signature R(Args...), made by
// an Emitter whose drop mode is DropMode (which does not change how the
// payload behaves). `call` holds copies of the emitted arguments; each
// delivery calls ConnectionX<R, Args...>::invoke with fresh copies, so no
// listener sees another listener's changes to its argument.
template <class R, PacketDropMode DropMode, class... Args>
class PayloadX final : public Payload {
 public:
  using ConnectionType = ConnectionX<R, Args...>;

  // ConnectionType::invoke bound to the stored arguments.
  struct BoundInvoke {
    std::tuple<std::decay_t<Args>...> arguments;

    R operator()(ConnectionType* connection) const {
      return std::apply(
          [connection](const std::decay_t<Args>&... values) -> R {
            return connection->invoke(values...);
          },
          arguments);
    }
  };

  template <class... Values>
  explicit PayloadX(Values&&... values)
      : call{std::tuple<std::decay_t<Args>...>(
            std::forward<Values>(values)...)} {}

  // The connection was made for the same signature as the emitter.
  void performDeliver(Connection* connection) override {
    call(static_cast<ConnectionType*>(connection));
  }

  const BoundInvoke call;
};

class VESK_EXPORT Packet {
 public:
  // Adopts the reference that the caller holds on `payload`.
  explicit Packet(Payload* payload) noexcept : payload_(payload) {}
  Packet(const Packet& other) noexcept : payload_(other.payload_) { incRef(); }
  Packet(Packet&& other) noexcept
      : payload_(std::exchange(other.payload_, nullptr)) {}
  // Sharing the payload already held changes nothing.
  Packet& operator=(const Packet& other) noexcept {
    if (other.payload_ != payload_) {
      decRef();
      payload_ = other.payload_;
      incRef();
    }
    return *this;
  }
  Packet& operator=(Packet&& other) noexcept {
    if (this != &other) {
      decRef();
      payload_ = std::exchange(other.payload_, nullptr);
    }
    return *this;
  }
  ~Packet() { decRef(); }

  void incRef() noexcept {
    if (payload_) payload_->incRef();
  }
  // Releases the reference; deletes the payload when it was the last.
  void decRef() noexcept {
    if (payload_ && payload_->decRef() == 0) delete payload_;
    payload_ = nullptr;
  }
  void deliver(Connection* connection) const { payload_->deliver(connection); }
  Payload* payload() const noexcept { return payload_; }

 private:
  Payload* payload_;  // one reference, or null once released
};

class VESK_EXPORT ConnectedPacket {
 public:
  ConnectedPacket(const Packet& packet, Connection* connection) noexcept
      : packet_(packet), connection_(connection) {
    connection_->incRef();
  }
  ConnectedPacket(const ConnectedPacket& other) noexcept
      : packet_(other.packet_), connection_(other.connection_) {
    connection_->incRef();
  }
  // Takes over the payload reference that `packet` holds (no increment).
  ConnectedPacket(Packet&& packet, Connection* connection) noexcept
      : packet_(std::move(packet)), connection_(connection) {
    connection_->incRef();
  }
  ConnectedPacket(ConnectedPacket&& other) noexcept
      : packet_(std::move(other.packet_)),
        connection_(std::exchange(other.connection_, nullptr)) {}
  ConnectedPacket& operator=(ConnectedPacket&& other) noexcept {
    if (this != &other) {
      releaseConnection();
      connection_ = std::exchange(other.connection_, nullptr);
      packet_ = std::move(other.packet_);
    }
    return *this;
  }
  ConnectedPacket& operator=(const ConnectedPacket& other) {
    if (other.connection_ != connection_) {
      other.connection_->incRef();
      releaseConnection();
      connection_ = other.connection_;
    }
    packet_ = other.packet_;
    return *this;
  }
  // Releases the connection first, then the payload. The connection's
  // release may take the global lock for writing: never destroy a
  // ConnectedPacket while holding that lock.
  ~ConnectedPacket() { releaseConnection(); }

  Connection* getConnection() const noexcept { return connection_; }

  // Delivers to the connection, or without one (the slot does not run) once
  // the connection has been cut from the listener's side.
  void deliver() {
    packet_.deliver(connection_->isListenerDisconnected() ? nullptr
                                                          : connection_);
  }
  // Delivers without a connection: the slot does not run, but a blocking
  // sender counts the packet as delivered.
  void drop() { packet_.deliver(nullptr); }

 private:
  void releaseConnection() noexcept {
    if (connection_) connection_->decRef();
  }

  Packet packet_;
  Connection* connection_;  // one reference, or null once moved from
};

}  // namespace VESK
