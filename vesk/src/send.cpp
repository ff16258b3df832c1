// Sending: one emission from the collection of its packets to their
// delivery, and the process-wide usage statistics.
#include <boost/container/small_vector.hpp>

#include <array>
#include <atomic>

#include "connection_table.h"
#include "instrumentation.h"
#include "thread_impl.h"
#include "vesk/payload.h"

namespace VESK {
namespace {

// Indexed by the effective send mode 0..5.
constexpr int kStatsSlots = 6;

bool countable(int mode) noexcept {
  return static_cast<unsigned>(mode) < kStatsSlots;
}

// The usage statistics, kept per sending thread so that counting needs no
// read-modify-write shared with other threads: each block is written only
// by its own thread (one atomic load and store per count) and read by
// whoever asks for the totals, which add up every block ever made. Blocks
// are never freed; a thread's counts stay in the totals after it ends.
struct ThreadStats {
  std::array<std::atomic<unsigned>, kStatsSlots> delivered{};
  std::array<std::atomic<unsigned>, kStatsSlots> posted{};
  ThreadStats* next = nullptr;  // set once, before the block is published
};

std::atomic<ThreadStats*> allStats{nullptr};

ThreadStats& statsOfThisThread() {
  thread_local ThreadStats* stats = nullptr;
  if (!stats) {
    stats = new ThreadStats;
    stats->next = allStats.load(std::memory_order_relaxed);
    while (!allStats.compare_exchange_weak(stats->next, stats,
                                           std::memory_order_release,
                                           std::memory_order_relaxed)) {
    }
  }
  return *stats;
}

void bump(std::atomic<unsigned>& counter) noexcept {
  counter.store(counter.load(std::memory_order_relaxed) + 1,
                std::memory_order_relaxed);
}

void countDelivered(int mode) {
  if (countable(mode)) bump(statsOfThisThread().delivered[mode]);
}

void countPosted(int mode) {
  if (countable(mode)) bump(statsOfThisThread().posted[mode]);
}

template <class Field>
unsigned total(int mode, Field field) noexcept {
  unsigned sum = 0;
  for (ThreadStats* stats = allStats.load(std::memory_order_acquire); stats;
       stats = stats->next) {
    sum += (stats->*field)[mode].load(std::memory_order_relaxed);
  }
  return sum;
}

int effectiveMode(SendMode mode, SendMode defaultMode) noexcept {
  // A default of UseDefault stays 0 and then behaves as Auto (counted in 0).
  return mode == UseDefault ? defaultMode : mode;
}

// One emission: the packets made for the connections present when the send
// collected them, dispatched with no library lock held.
class SendPackets {
 public:
  SendPackets(Packet& packet, int mode)
      : payload_(packet.payload()), mode_(mode) {}

  // Requires the global connection lock (any mode). With `adopt`, the last
  // packet made takes over the reference that `packet` holds (which is
  // empty afterwards) instead of adding one.
  void collect(const ConnectionTable& table, Packet& packet, bool adopt) {
    const std::size_t count = table.entries.size();
    packets_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (adopt && i + 1 == count) {
        packets_.emplace_back(std::move(packet), table.entries[i]);
      } else {
        packets_.emplace_back(packet, table.entries[i]);
      }
    }
  }

  void send() {
    const bool synchronous = mode_ > Auto;
    if (synchronous) {
      payload_->setSynchronous(static_cast<int>(packets_.size()));
    }
    bool posted = false;
    // Reverse table order; each packet is released (and with it, maybe the
    // last reference of a cut connection) right after its dispatch.
    while (!packets_.empty()) {
      posted |= sendOne(packets_.back());
      packets_.pop_back();
    }
    if (synchronous && posted) syncPacketWithThread();
  }

 private:
  // Delivers at once or posts; true when it posted.
  bool sendOne(ConnectedPacket& packet) {
    const Connection& connection = *packet.getConnection();
    if (connection.deliverOnSenderThread()) {
      if (mode_ == Queued) return post(sendingThread(), packet);
      return deliverNow(packet);
    }
    // Queued sends to a receiving thread never look the sender up.
    const Thread& receiver = connection.receiverThread();
    if (mode_ != Queued && receiver == sendingThread()) {
      return deliverNow(packet);
    }
    return post(receiver, packet);
  }

  bool deliverNow(ConnectedPacket& packet) {
    packet.deliver();
    countDelivered(mode_);
    return false;
  }

  // The packet moves to the queue with its references.
  bool post(const Thread& thread, ConnectedPacket& packet) {
    thread.post(std::move(packet));
    countPosted(mode_);
    return true;
  }

  void syncPacketWithThread() {
    VESK_INSTRUMENTATION_SCOPE("SendPackets::syncPacketWithThread()");
    const Thread self = sendingThread();
    if (mode_ == Blocking) {
      payload_->wait();
    } else if (mode_ == BlockingProcessing) {
      // Process the own queue between slices, so that a thread this one
      // waits for can send back to it in a blocking mode.
      while (payload_->wait(100)) self.process();
    }
  }

  // The sending thread, looked up once per emission and only when needed
  // (creating its record if it has none).
  const Thread& sendingThread() {
    if (sender_.isEmpty()) sender_ = Thread::getCurrentThread();
    return sender_;
  }

  // The caller keeps a reference for as long as a blocking send waits; a
  // non-blocking send never touches the payload after dispatching.
  Payload* payload_;
  const int mode_;
  boost::container::small_vector<ConnectedPacket, 4> packets_;
  Thread sender_;
};

// The connections of an emission that runs wholly on the sending thread,
// each holding one connection reference until its delivery is done.
class DirectConnections {
 public:
  DirectConnections() = default;
  DirectConnections(const DirectConnections&) = delete;
  DirectConnections& operator=(const DirectConnections&) = delete;
  ~DirectConnections() {
    while (!connections_.empty()) releaseLast();
  }

  // Requires the global connection lock. True (having taken a reference on
  // each) when every connection's slot runs on the sending thread `sender`
  // (null when the thread has no record, so no receiving thread is it).
  bool collect(const ConnectionTable& table, const ThreadImpl* sender) {
    for (const Connection* connection : table.entries) {
      if (connection->deliverOnSenderThread()) continue;
      if (!sender || connection->receiverThread().impl() != sender) {
        return false;
      }
    }
    connections_.reserve(table.entries.size());
    for (Connection* connection : table.entries) {
      connection->incRef();
      connections_.push_back(connection);
    }
    return true;
  }

  // Delivers to every connection in reverse table order, releasing each
  // right after its delivery, exactly as sendPacket does for packets it
  // delivers on the sending thread.
  void deliver(Payload& payload, int mode) {
    while (!connections_.empty()) {
      Connection* connection = connections_.back();
      payload.deliver(connection->isListenerDisconnected() ? nullptr
                                                           : connection);
      countDelivered(mode);
      releaseLast();
    }
  }

 private:
  void releaseLast() {
    Connection* connection = connections_.back();
    connections_.pop_back();
    connection->decRef();  // may destroy a connection cut meanwhile
  }

  boost::container::small_vector<Connection*, 4> connections_;
};

// Ends the life of a payload built in a caller's storage.
struct LocalPayload {
  Payload* payload;
  ~LocalPayload() { payload->~Payload(); }
};

}  // namespace

void EmitterBase::sendPacket(Packet& packet, SendMode mode, bool) const {
  dispatch(packet, mode, false);
}

void EmitterBase::sendOwnedPacket(Packet&& packet, SendMode mode) const {
  dispatch(packet, mode, true);
}

void EmitterBase::dispatch(Packet& packet, SendMode mode, bool owned) const {
  const int effective = effectiveMode(mode, defaultMode());
  // A packet the emission owns may hand its reference to a queued packet,
  // unless a blocking send still has to wait on the payload.
  const bool adopt = owned && effective <= Auto;
  SendPackets packets(packet, effective);
  {
    TOLB::ReadLocker lock(*GetGlobalConnectionLock());
    if (tableSize(connections_) == 0) return;
    packets.collect(*connections_, packet, adopt);
  }
  packets.send();
}

bool EmitterBase::sendOnSendingThread(SendMode mode, MakePayload make,
                                      void* arguments, void* storage) const {
  const int effective = effectiveMode(mode, defaultMode());
  if (effective == Queued) return false;
  // Looked up before the global lock is taken (the engine-mode lookup takes
  // the thread registry lock, never held together with it).
  const ThreadImpl* sender = lookupSendingThread();
  DirectConnections connections;
  {
    TOLB::ReadLocker lock(*GetGlobalConnectionLock());
    if (tableSize(connections_) == 0) return true;  // nothing to deliver
    if (!connections.collect(*connections_, sender)) return false;
  }
  // Every slot runs here and now, so nothing outlives this call: the
  // payload lives in the caller's storage, not on the heap. It is never
  // made synchronous: nothing would wait on it.
  LocalPayload local{make(arguments, storage)};
  connections.deliver(*local.payload, effective);
  return true;
}

unsigned EmitterBase::getUsageStatsDelivered(SendMode mode) noexcept {
  return countable(mode) ? total(mode, &ThreadStats::delivered) : 0;
}

unsigned EmitterBase::getUsageStatsPosted(SendMode mode) noexcept {
  return countable(mode) ? total(mode, &ThreadStats::posted) : 0;
}

}  // namespace VESK
