// connect: links an emitter to a listener's slot.
//
//   VESK::connect(emitter, listener, slot)            slot runs on this thread
//   VESK::connect(emitter, listener, slot, thread)    slot runs on `thread`
//   VESK::connect(emitter, listener, slot, {}, true)  slot runs on whatever
//                                                     thread sends
//
// `slot` is any callable invocable with the signal's arguments (a lambda, a
// function object) or a member function of the listener's class. It is
// stored in the connection and destroyed with it.
//
// The connection is built with the global connection lock held for writing,
// and its receiving thread and sender-thread flag are set before the lock is
// released, so no send sees a half-made connection. The returned pointer
// identifies the connection; it is valid only until the connection is cut
// (from either side) and must not be used to delete it.
#pragma once

#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "tolb/read_write_lock.h"
#include "vesk/connection.h"
#include "vesk/emitter.h"
#include "vesk/thread.h"

namespace VESK {

// The connection type that connect() makes: runs `slot` (on `target` when it
// is a member function).
template <class Slot, class ListenerT, class... Args>
class SlotConnection final : public ConnectionX<void, Args...> {
 public:
  template <class SlotArg>
  SlotConnection(ListenerT* target, EmitterBase* emitter, SlotArg&& slot)
      : ConnectionX<void, Args...>(target, emitter),
        target_(target),
        slot_(std::forward<SlotArg>(slot)) {}

  // The copy in `args` is the slot's own: it is handed over by move when
  // the slot accepts that, as an lvalue otherwise (a slot taking T& may
  // change it).
  void invoke(Args... args) override {
    if constexpr (std::is_member_function_pointer_v<Slot>) {
      if constexpr (std::is_invocable_v<Slot&, ListenerT&, Args&&...>) {
        std::invoke(slot_, *target_, std::forward<Args>(args)...);
      } else {
        std::invoke(slot_, *target_, args...);
      }
    } else if constexpr (std::is_invocable_v<Slot&, Args&&...>) {
      std::invoke(slot_, std::forward<Args>(args)...);
    } else {
      std::invoke(slot_, args...);
    }
  }

 private:
  ListenerT* target_;  // the listener; only used for member-function slots
  Slot slot_;
};

template <class... Args, PacketDropMode DropMode, class... Extra,
          class ListenerT, class Slot>
Connection* connect(Emitter<void(Args...), DropMode, Extra...>& emitter,
                    ListenerT& listener, Slot&& slot,
                    Thread receiver = Thread::getCurrentThread(),
                    bool deliverOnSenderThread = false) {
  static_assert(std::is_base_of_v<Listener, ListenerT>,
                "the listener must derive from VESK::Listener");
  using SlotType = std::decay_t<Slot>;
  if constexpr (std::is_member_function_pointer_v<SlotType>) {
    static_assert(std::is_invocable_v<SlotType&, ListenerT&, Args&...>,
                  "the slot must accept the signal's arguments");
  } else {
    static_assert(std::is_invocable_v<SlotType&, Args&...> ||
                      std::is_invocable_v<SlotType&, Args&&...>,
                  "the slot must accept the signal's arguments");
  }
  if (receiver.isEmpty() && !deliverOnSenderThread) {
    throw std::invalid_argument(
        "VESK::connect: a receiving thread is needed unless the slot runs on "
        "the sender's thread");
  }
  using ConnectionType = SlotConnection<SlotType, ListenerT, Args...>;
  TOLB::WriteLocker lock(*GetGlobalConnectionLock());
  auto* connection =
      new ConnectionType(&listener, &emitter, std::forward<Slot>(slot));
  connection->setReceiverThread(std::move(receiver));
  connection->setDeliverOnSenderThread(deliverOnSenderThread);
  return connection;
}

}  // namespace VESK
