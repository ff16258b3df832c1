// SendMode and PacketDropMode: how an emission is dispatched, and what a cut
// connection does with packets already on their way.
#pragma once

namespace VESK {

// How a send dispatches each connection's packet (see emitter.h).
enum SendMode : int {
  UseDefault = 0,  // the emitter's default mode
  Queued = 1,      // never run a slot during the send: post every packet
  Auto = 2,      // run at once on the receiving (or sending) thread, else post
  Blocking = 3,  // as Auto, then wait until every packet has been delivered
  BlockingProcessing = 4,  // as Blocking, processing the own queue meanwhile
};

// What happens to packets in flight when a connection is cut.
enum PacketDropMode : int {
  // Cut from the listener's side: queued packets are delivered without a
  // connection, so the slot does not run (they still release a blocking
  // sender).
  DropPending = 0,
  // Cut from the emitter's side: no new packets are made, but packets
  // already queued still run the slot.
  DeliverPending = 1,
};

}  // namespace VESK
