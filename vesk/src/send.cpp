// Sending: one emission from the collection of its packets to their
// delivery, and the process-wide usage statistics.
#include <boost/container/small_vector.hpp>

#include <array>
#include <atomic>

#include "connection_table.h"
#include "instrumentation.h"
#include "vesk/payload.h"

namespace VESK {
namespace {

// Indexed by the effective send mode 0..5. The counters are independent of
// each other and of the sends; each increment is one atomic step.
struct UsageStats {
  std::atomic<unsigned> delivered{0};  // slot ran on the sending thread
  std::atomic<unsigned> posted{0};     // packet put on a queue
};
constexpr int kStatsSlots = 6;
std::array<UsageStats, kStatsSlots> usageStats;

bool countable(int mode) noexcept {
  return static_cast<unsigned>(mode) < kStatsSlots;
}

// One emission: the packets made for the connections present when the send
// collected them, dispatched with no library lock held.
class SendPackets {
 public:
  SendPackets(Packet& packet, int mode) : packet_(packet), mode_(mode) {}

  // Requires the global connection lock (any mode).
  void collect(const ConnectionTable& table) {
    packets_.reserve(table.entries.size());
    for (Connection* connection : table.entries) {
      packets_.emplace_back(packet_, connection);
    }
  }

  void send() {
    const bool synchronous = mode_ > Auto;
    if (synchronous) {
      packet_.payload()->setSynchronous(static_cast<int>(packets_.size()));
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
    if (countable(mode_)) {
      usageStats[mode_].delivered.fetch_add(1, std::memory_order_relaxed);
    }
    return false;
  }

  bool post(const Thread& thread, ConnectedPacket& packet) {
    thread.post(packet);
    if (countable(mode_)) {
      usageStats[mode_].posted.fetch_add(1, std::memory_order_relaxed);
    }
    return true;
  }

  void syncPacketWithThread() {
    VESK_INSTRUMENTATION_SCOPE("SendPackets::syncPacketWithThread()");
    const Thread self = sendingThread();
    Payload& payload = *packet_.payload();
    if (mode_ == Blocking) {
      payload.wait();
    } else if (mode_ == BlockingProcessing) {
      // Process the own queue between slices, so that a thread this one
      // waits for can send back to it in a blocking mode.
      while (payload.wait(100)) self.process();
    }
  }

  // The sending thread, looked up once per emission and only when needed
  // (creating its record if it has none).
  const Thread& sendingThread() {
    if (sender_.isEmpty()) sender_ = Thread::getCurrentThread();
    return sender_;
  }

  Packet& packet_;
  const int mode_;
  boost::container::small_vector<ConnectedPacket, 4> packets_;
  Thread sender_;
};

}  // namespace

void EmitterBase::sendPacket(Packet& packet, SendMode mode, bool) const {
  // A default of UseDefault stays 0 and then behaves as Auto (counted in 0).
  const int effectiveMode = mode == UseDefault ? defaultMode() : mode;
  SendPackets packets(packet, effectiveMode);
  {
    TOLB::ReadLocker lock(*GetGlobalConnectionLock());
    if (tableSize(connections_) == 0) return;
    packets.collect(*connections_);
  }
  packets.send();
}

unsigned EmitterBase::getUsageStatsDelivered(SendMode mode) noexcept {
  return countable(mode) ? usageStats[mode].delivered.load() : 0;
}

unsigned EmitterBase::getUsageStatsPosted(SendMode mode) noexcept {
  return countable(mode) ? usageStats[mode].posted.load() : 0;
}

}  // namespace VESK
