// Emitter: the typed source of a signal void(Args...).
//
// send(args..., mode) wraps copies of the arguments in one payload and makes
// one packet per connection (under the global connection lock for reading,
// held only while collecting). Then, with no lock held and in the reverse of
// the table's order (connections ordered by address), each packet is either
// delivered at once on the sending thread or posted to a message thread:
//
//   connection                      Queued          any other mode
//   delivers on sender's thread     post to sender  deliver now
//   receiver is the sending thread  post to it      deliver now
//   receiver is another thread      post to it      post to it
//
// Blocking and BlockingProcessing then wait until every packet of the
// emission has been delivered (or dropped), when at least one was posted;
// BlockingProcessing processes the sending thread's own queue every 100 ms
// meanwhile, so two threads that send to each other in that mode both
// complete. A plain Blocking send does not process its queue: a cycle of
// Blocking sends between threads deadlocks.
//
// UseDefault uses the emitter's default mode (Auto unless changed). The
// process-wide usage statistics count, per effective mode, packets
// delivered on the sending thread and packets posted.
//
// Thread-safety: every operation is const and may run on several threads at
// once; connecting and cutting wait only for collections in progress. Each
// listener's slot gets its own copy of every argument.
//
// DropMode is the drop mode the destructor cuts connections with:
// DeliverPending (default) lets queued packets run after the emitter has
// gone, DropPending drops them.
#pragma once

#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "vesk/connection.h"
#include "vesk/modes.h"
#include "vesk/payload.h"

namespace VESK {

template <class Signature, PacketDropMode DropMode = DeliverPending,
          class... Extra>
class Emitter;

template <class R, class... Args, PacketDropMode DropMode, class... Extra>
class Emitter<R(Args...), DropMode, Extra...> : public EmitterBase {
  static_assert(std::is_void_v<R>, "signals return void");
  static_assert(
      ((!std::is_lvalue_reference_v<Args> ||
        std::is_const_v<std::remove_reference_t<Args>>)&&...),
      "each listener gets its own copy: arguments cannot be non-const "
      "lvalue references");

 public:
  using Signature = void(Args...);
  using PayloadType = PayloadX<void, DropMode, Args...>;
  using ConnectionType = ConnectionX<void, Args...>;

  Emitter() noexcept : EmitterBase(Auto, DropMode) {}

  void send(Args... args, SendMode mode) const {
    // When every slot runs on this thread and now, the payload lives on the
    // stack; otherwise it goes to the heap and on to the queues.
    if (mode != Queued) {
      alignas(PayloadType) unsigned char storage[sizeof(PayloadType)];
      std::tuple<Args&...> arguments(args...);
      if (sendOnSendingThread(mode, &makeLocalPayload, &arguments, storage)) {
        return;
      }
    }
    sendOwnedPacket(Packet(new PayloadType(std::forward<Args>(args)...)), mode);
  }
  void send(Args... args) const {
    send(std::forward<Args>(args)..., UseDefault);
  }
  void operator()(Args... args, SendMode mode) const {
    send(std::forward<Args>(args)..., mode);
  }
  void operator()(Args... args) const {
    send(std::forward<Args>(args)..., UseDefault);
  }

 private:
  // Builds a payload with copies of the send's arguments in `storage`.
  static Payload* makeLocalPayload(void* arguments, void* storage) {
    return std::apply(
        [storage](Args&... values) -> Payload* {
          return new (storage) PayloadType(values...);
        },
        *static_cast<std::tuple<Args&...>*>(arguments));
  }
};

}  // namespace VESK
