#include <enginequery/enginequery.h>
#include <eventsvc/eventsvc.h>

#include <cstdint>
#include <future>
#include <map>
#include <stdexcept>
#include <utility>

#include "instrumentation.h"
#include "thread_impl.h"

namespace VESK {
namespace {

// Binds each thread to its record. Read and written only by its own thread.
thread_local ThreadImpl* currentThreadSlot = nullptr;

// Every record ever made, newest first. Records are never freed; the list
// keeps them reachable after their threads have ended.
std::atomic<ThreadImpl*> allRecords{nullptr};

// The engine's main thread: its instance id is published once, by the first
// registration under mainThreadName. Built at load; destroyed at unload in
// reverse order, so a promise never fulfilled breaks its waiters then.
const std::string mainName{mainThreadName};
std::promise<unsigned long> mainThreadPromise;
const std::shared_future<unsigned long> mainThreadFuture =
    mainThreadPromise.get_future().share();
bool mainIdPublished = false;  // guarded by threadRegistryLock()
// 0 until a getNamedThread(mainThreadName) has taken the id from the future.
std::atomic<std::uint64_t> cachedMainEngineId{0};

// Both registries are guarded by threadRegistryLock(); never freed.
std::map<std::string, ThreadImpl*>& nameRegistry() {
  static auto* registry = new std::map<std::string, ThreadImpl*>;
  return *registry;
}

std::map<std::uint64_t, ThreadImpl*>& engineRegistry() {
  static auto* registry = new std::map<std::uint64_t, ThreadImpl*>;
  return *registry;
}

ThreadImpl* findIn(const std::map<std::uint64_t, ThreadImpl*>& registry,
                   std::uint64_t id) {
  auto found = registry.find(id);
  return found == registry.end() ? nullptr : found->second;
}

ThreadImpl* createRecord() {
  auto* record = new ThreadImpl;
  record->nextRecord = allRecords.load(std::memory_order_relaxed);
  while (!allRecords.compare_exchange_weak(record->nextRecord, record,
                                           std::memory_order_release,
                                           std::memory_order_relaxed)) {
  }
  return record;
}

ThreadImpl* slotRecord(bool create) {
  if (currentThreadSlot || !create) return currentThreadSlot;
  currentThreadSlot = createRecord();
  return currentThreadSlot;
}

// Asked on every lookup, never cached: the process may start hosting the
// engine at any time.
bool engineModeActive() {
  namespace eventmgr = ostra::msg_svc::eventmgr;
  boost::shared_ptr<eventmgr::EventMgr> manager =
      eventmgr::createLocalEventMgr(eventmgr::EmID(1));
  return manager && manager->isEngineHosted();
}

// The registered main thread of the engine instance whose context is
// active, or null.
ThreadImpl* activeEngineThread(bool registryHeldForWriting) {
  const std::uint64_t id = enginequery::engineInstanceId();
  ThreadImpl* registered = nullptr;
  if (registryHeldForWriting) {
    registered = findIn(engineRegistry(), id);
  } else {
    TOLB::ReadLocker lock(threadRegistryLock());
    registered = findIn(engineRegistry(), id);
  }
  return registered && enginequery::isEngineContextActive() ? registered
                                                            : nullptr;
}

// Engine mode: the active engine thread; any other thread gets the record in
// its own slot (made once, then reused, so repeated lookups do not pile up
// records that are never freed).
ThreadImpl* lookupInEngineMode(bool create, bool registryHeldForWriting) {
  if (ThreadImpl* engineThread = activeEngineThread(registryHeldForWriting)) {
    return engineThread;
  }
  return create ? slotRecord(true) : nullptr;
}

// Set once a thread has registered as an engine's main thread (records are
// never removed, so it never goes back). Until then the engine registry is
// empty, and the engine-mode lookup gives exactly what the plain one gives
// whenever it may create a record (the thread's own record), and null
// whenever the thread has no record yet: in those cases the event-manager
// probe cannot change the answer and is not made.
std::atomic<bool> engineThreadRegistered{false};

ThreadImpl* lookup(bool create, bool registryHeldForWriting) {
  if (!engineThreadRegistered.load(std::memory_order_acquire)) {
    if (create) return slotRecord(true);
    if (!currentThreadSlot) return nullptr;
  }
  if (engineModeActive()) {
    return lookupInEngineMode(create, registryHeldForWriting);
  }
  return slotRecord(create);
}

void processStep(ThreadImpl& record) noexcept {
  try {
    QueuedPacket entry;
    if (!record.queue.try_pop(entry)) return;
    entry->deliver();
  } catch (...) {
    // Slot exceptions never get here (Payload::deliver discards them);
    // nothing else may stop the thread's processing either.
  }
}

// Counts a processing call on `record` for as long as it runs.
class ProcessingScope {
 public:
  explicit ProcessingScope(ThreadImpl& record) : record_(record) {
    ++record_.processingDepth;
  }
  ~ProcessingScope() { --record_.processingDepth; }
  ProcessingScope(const ProcessingScope&) = delete;
  ProcessingScope& operator=(const ProcessingScope&) = delete;

 private:
  ThreadImpl& record_;
};

}  // namespace

TOLB::ReadWriteLock& threadRegistryLock() {
  // Never destroyed: records and their users live until the process ends.
  static TOLB::ReadWriteLock* const lock = new TOLB::ReadWriteLock;
  return *lock;
}

ThreadImpl* lookupCurrentThread(bool create) { return lookup(create, false); }

ThreadImpl* lookupSendingThread() {
  if (engineThreadRegistered.load(std::memory_order_acquire) &&
      engineModeActive()) {
    if (ThreadImpl* engineThread = activeEngineThread(false)) {
      return engineThread;
    }
  }
  return currentThreadSlot;
}

Thread Thread::getCurrentThread() { return Thread(lookupCurrentThread(true)); }

Thread Thread::getCurrentThreadIfRegistered() {
  return Thread(lookupCurrentThread(false));
}

void Thread::registerThread(const std::string& name,
                            std::function<void()> wakeUp) {
  WakeUp callable;
  if (wakeUp) {
    callable = std::make_shared<const std::function<void()>>(std::move(wakeUp));
  }
  WakeUp previous;  // destroyed after the lock is released
  {
    TOLB::WriteLocker lock(threadRegistryLock());
    ThreadImpl* record = lookup(true, true);
    record->name = name;
    {
      std::lock_guard<std::mutex> wakeUpLock(record->wakeUpMutex);
      previous = std::exchange(record->wakeUp, std::move(callable));
    }
    if (name == mainName) {
      const std::uint64_t id = enginequery::engineInstanceId();
      if (!mainIdPublished) {
        mainThreadPromise.set_value(id);
        mainIdPublished = true;
      }
      engineRegistry()[id] = record;
      engineThreadRegistered.store(true, std::memory_order_release);
    } else {
      nameRegistry()[name] = record;
    }
  }
}

Thread Thread::getNamedThread(const std::string& name) {
  const bool isMain = name == mainName;
  if (isMain && cachedMainEngineId.load() == 0) {
    // Waits on a copy of the shared state, without any library lock, so
    // the registering thread is never held up and an unloading library
    // breaks the wait instead of destroying what it waits on.
    std::shared_future<unsigned long> future = mainThreadFuture;
    cachedMainEngineId.store(future.get());
  }
  TOLB::ReadLocker lock(threadRegistryLock());
  if (isMain) {
    return Thread(findIn(engineRegistry(), cachedMainEngineId.load()));
  }
  auto found = nameRegistry().find(name);
  return Thread(found == nameRegistry().end() ? nullptr : found->second);
}

ThreadImpl& Thread::record() const {
  if (!impl_) throw std::logic_error("VESK::Thread: empty handle");
  return *impl_;
}

std::string Thread::getName() const {
  const ThreadImpl& self = record();
  TOLB::ReadLocker lock(threadRegistryLock());
  return self.name;
}

void Thread::post(const ConnectedPacket& packet) const {
  post(ConnectedPacket(packet));
}

void Thread::post(ConnectedPacket&& packet) const {
  ThreadImpl& self = record();
  self.queue.push(QueuedPacket(std::in_place, std::move(packet)));
  WakeUp wakeUp;
  {
    std::lock_guard<std::mutex> lock(self.wakeUpMutex);
    wakeUp = self.wakeUp;
  }
  if (wakeUp) (*wakeUp)();
}

void Thread::process() const {
  ThreadImpl& self = record();
  VESK_INSTRUMENTATION_SCOPE("Thread::process()");
  ProcessingScope processing(self);
  while (self.queue.size() > 0) processStep(self);
}

void Thread::processOne() const {
  ThreadImpl& self = record();
  ProcessingScope processing(self);
  processStep(self);
}

void Thread::processCurrentQueue() const {
  ThreadImpl& self = record();
  VESK_INSTRUMENTATION_SCOPE("Thread::processCurrentQueue()");
  ProcessingScope processing(self);
  const auto queuedOnEntry = self.queue.size();
  for (decltype(self.queue.size()) steps = 0;
       steps < queuedOnEntry && self.queue.size() > 0; ++steps) {
    processStep(self);
  }
}

void Thread::clearQueue() const {
  ThreadImpl& self = record();
  QueuedPacket entry;
  while (self.queue.size() > 0) {
    if (!self.queue.try_pop(entry)) continue;
    // Counted as a delivery without a connection, exactly as a packet of a
    // DropPending cut: its slot does not run, and a blocking sender waiting
    // for it is released instead of stranded.
    entry->drop();
    entry.reset();
  }
}

int Thread::getQueueSize() const {
  const auto size = record().queue.size();
  return size > 0 ? static_cast<int>(size) : 0;
}

bool Thread::processingMessages() const { return record().processingDepth > 0; }

bool Thread::areCrossThreadSyncCallsAllowed() const {
  return record().syncCallBlockers == 0;
}

CrossThreadSyncCallAsserter::CrossThreadSyncCallAsserter(const Thread& thread)
    : thread_(thread) {
  if (thread_.isEmpty()) {
    throw std::logic_error("VESK::CrossThreadSyncCallAsserter: empty handle");
  }
  ++thread_.impl()->syncCallBlockers;
}

CrossThreadSyncCallAsserter::~CrossThreadSyncCallAsserter() {
  --thread_.impl()->syncCallBlockers;
}

}  // namespace VESK
