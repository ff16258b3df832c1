#include "vesk/connection.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "connection_table.h"

namespace VESK {
namespace {

TOLB::ReadWriteLock& globalLock() { return *GetGlobalConnectionLock(); }

// Out-of-range drop modes would bounce between the emitter's and the
// listener's disconnectFrom for ever; refuse them up front.
void checkDropMode(PacketDropMode mode, const char* operation) {
  if (mode != DropPending && mode != DeliverPending) {
    throw std::invalid_argument(std::string(operation) +
                                ": unknown PacketDropMode " +
                                std::to_string(static_cast<int>(mode)));
  }
}

bool callingThreadIsKnown() {
  return !Thread::getCurrentThreadIfRegistered().isEmpty();
}

// The entries of `table`, copied so that cuts may change the table (and
// destroy connections) while they are walked.
std::vector<Connection*> snapshot(const ConnectionTable* table) {
  return table ? table->entries : std::vector<Connection*>();
}

}  // namespace

TOLB::ReadWriteLock* GetGlobalConnectionLock() {
  // Never destroyed: connections may be released by threads that outlive
  // static destruction.
  static TOLB::ReadWriteLock* const lock = new TOLB::ReadWriteLock;
  return lock;
}

// ---------------------------------------------------------------- Connection

Connection::Connection(Listener* listener, EmitterBase* emitter)
    : listener_(listener), emitter_(emitter) {
  emitter_->addConnection(this);
  try {
    listener_->addConnection(this);
  } catch (...) {
    emitter_->removeConnection(this);
    throw;
  }
}

Connection::~Connection() {
  // Only reached linked when a derived constructor threw inside connect(),
  // which holds the global lock: leave no dangling table entry behind.
  if (!emitterDisconnected_ && emitter_) emitter_->removeConnection(this);
  if (!listenerDisconnected_.load() && listener_) {
    listener_->removeConnection(this);
  }
}

void Connection::decRef() {
  // Counts that stay above 0 need no lock. The count reaches 0 only after
  // the connection has left the emitter's table, so no new packet can
  // refer to it and this thread alone destroys it.
  if (--referenceCount_ != 0) return;
  TOLB::WriteLocker lock(globalLock());
  destroy();
}

void Connection::destroy() {
  if (!emitterDisconnected_) {
    emitter_->removeConnection(this);
    emitterDisconnected_ = true;
  }
  if (!listenerDisconnected_.load()) {
    listener_->removeConnection(this);
    listenerDisconnected_.store(true, std::memory_order_release);
  }
  delete this;
}

void Connection::leaveEmitterTable() {
  emitterDisconnected_ = true;
  emitter_ = nullptr;
  if (--referenceCount_ == 0) destroy();
}

void Connection::disconnectEmitter() {
  if (emitterDisconnected_) return;
  leaveEmitterTable();  // may destroy the connection
}

void Connection::disconnectListener() {
  if (listenerDisconnected_.load()) return;
  listenerDisconnected_.store(true, std::memory_order_release);
  listener_ = nullptr;
  if (!emitterDisconnected_) {
    emitter_->removeConnection(this);
    leaveEmitterTable();  // may destroy the connection
  }
  // Already cut from the emitter's side: the last packet's release
  // destroys it (it may be waiting for the lock right now).
}

// ------------------------------------------------------------------ Listener

Listener::~Listener() {
  // Connections that still name this listener would call into a destroyed
  // object: cut them here, whatever thread this is.
  {
    TOLB::WriteLocker lock(globalLock());
    cutAll();
  }
  delete connections_;
}

void Listener::addConnection(Connection* connection) {
  if (!connections_) connections_ = new ConnectionTable;
  connections_->insert(connection);
}

void Listener::removeConnection(Connection* connection) noexcept {
  if (connections_) connections_->erase(connection);
}

void Listener::cutAll() {
  for (Connection* connection : snapshot(connections_)) {
    connection->disconnectListener();  // may destroy it
  }
  if (connections_) connections_->entries.clear();
}

void Listener::disconnect() {
  if (!callingThreadIsKnown()) return;
  TOLB::WriteLocker lock(globalLock());
  cutAll();
}

void Listener::disconnectFrom(EmitterBase& emitter, PacketDropMode mode) {
  checkDropMode(mode, "Listener::disconnectFrom");
  if (!callingThreadIsKnown()) return;
  if (mode != DropPending) {
    emitter.disconnectFrom(this, mode);
    return;
  }
  TOLB::WriteLocker lock(globalLock());
  for (Connection* connection : snapshot(connections_)) {
    if (connection->emitter() != &emitter) continue;
    connection->disconnectListener();  // may destroy it
    connections_->erase(connection);
  }
}

int Listener::numberOfConnections() const {
  TOLB::ReadLocker lock(globalLock());
  return tableSize(connections_);
}

// --------------------------------------------------------------- EmitterBase

EmitterBase::~EmitterBase() {
  disconnectFromAll(defaultPacketDropMode());
  delete connections_;
}

int EmitterBase::numberOfConnections() const {
  TOLB::ReadLocker lock(globalLock());
  return tableSize(connections_);
}

void EmitterBase::addConnection(Connection* connection) {
  if (!connections_) connections_ = new ConnectionTable;
  connections_->insert(connection);
}

void EmitterBase::removeConnection(Connection* connection) noexcept {
  if (connections_) connections_->erase(connection);
}

void EmitterBase::disconnectFrom(Listener* listener, PacketDropMode mode) {
  checkDropMode(mode, "EmitterBase::disconnectFrom");
  if (mode != DeliverPending) {
    listener->disconnectFrom(*this, mode);
    return;
  }
  TOLB::WriteLocker lock(globalLock());
  for (Connection* connection : snapshot(connections_)) {
    if (connection->listener() != listener) continue;
    connections_->erase(connection);
    connection->disconnectEmitter();  // may destroy it
  }
}

void EmitterBase::disconnectFromAll(PacketDropMode mode) {
  checkDropMode(mode, "EmitterBase::disconnectFromAll");
  TOLB::WriteLocker lock(globalLock());
  if (!connections_) return;
  if (mode == DeliverPending) {
    for (Connection* connection : snapshot(connections_)) {
      connections_->erase(connection);
      connection->disconnectEmitter();  // may destroy it
    }
    return;
  }
  while (!connections_->entries.empty()) {
    Connection* connection = connections_->entries.front();
    connection->listener()->removeConnection(connection);
    connection->disconnectListener();  // erases it from this table
  }
}

}  // namespace VESK
