// Remove locks, fast mutexes and events over real atomics, so that tests on
// several threads wait and wake as the kernel's objects do.
#include <stdlib.h>

#include <map>
#include <new>
#include <thread>

#include "kernel/event.h"
#include "kernel/fast_mutex.h"
#include "kernel/irql.h"
#include "kernel/remove_lock.h"
#include "sim_io_state.h"

namespace {

constexpr uint32_t kInitialisedMark = 0x4B4C434B;

struct SimRemoveLock {
  uint32_t mark;
  uint32_t tag;
  uint32_t maxLockedMinutes;
  uint32_t highWatermark;
  std::atomic<int32_t> count;  // the device's own hold (1) plus every acquisition
  std::atomic<int32_t> removed;
};
static_assert(sizeof(SimRemoveLock) <= sizeof(kernel::RemoveLock));

struct SimFastMutex {
  uint32_t mark;
  std::atomic<int32_t> locked;
  std::atomic<std::thread::id> owner;
};
static_assert(sizeof(SimFastMutex) <= sizeof(kernel::FastMutex));

struct SimEvent {
  uint32_t mark;
  kernel::EventType type;
  std::atomic<int32_t> signalled;
};
static_assert(sizeof(SimEvent) <= sizeof(kernel::Event));

template <typename Sim, typename Storage>
Sim& checked(Storage& storage, const char* what) {
  Sim& object = *std::launder(static_cast<Sim*>(static_cast<void*>(storage.storage)));
  if (object.mark != kInitialisedMark) {
    sim::recordViolation(std::string(what) + " used before it was initialised");
    abort();
  }
  return object;
}

// The tags of the acquisitions still outstanding, per lock: a release with
// a tag that was never acquired is what a checking kernel stops on.
std::mutex tagMutex;
std::map<const void*, std::multiset<const void*>> outstandingTags;

void takeTag(const kernel::RemoveLock& lock, const void* tag) {
  std::lock_guard<std::mutex> hold(tagMutex);
  outstandingTags[&lock].insert(tag);
}

void giveTag(const kernel::RemoveLock& lock, const void* tag) {
  std::lock_guard<std::mutex> hold(tagMutex);
  auto& tags = outstandingTags[&lock];
  auto it = tags.find(tag);
  if (it == tags.end()) {
    sim::recordViolation("remove lock released with a tag it was not acquired with");
    return;
  }
  tags.erase(it);
}

void requirePassive(const char* what) {
  if (kernel::currentIrql() != kernel::kPassiveLevel) sim::recordViolation(std::string(what) + " above passive level");
}

}  // namespace

namespace kernel {

void initializeRemoveLock(RemoveLock& lock, uint32_t tag, uint32_t maxLockedMinutes, uint32_t highWatermark) {
  auto* sim = new (lock.storage) SimRemoveLock{};
  sim->mark = kInitialisedMark;
  sim->tag = tag;
  sim->maxLockedMinutes = maxLockedMinutes;
  sim->highWatermark = highWatermark;
  sim->count.store(1);
  sim->removed.store(0);
  std::lock_guard<std::mutex> hold(tagMutex);
  outstandingTags.erase(&lock);
}

Status acquireRemoveLock(RemoveLock& lock, const void* tag) {
  auto& sim = checked<SimRemoveLock>(lock, "remove lock");
  int32_t count = ++sim.count;
  if (sim.removed.load() != 0) {
    if (--sim.count == 0) sim.count.notify_all();
    return kStatusDeletePending;
  }
  if (sim.highWatermark != 0 && count - 1 > static_cast<int32_t>(sim.highWatermark)) {
    sim::recordViolation("remove lock held more often than its high watermark");
  }
  takeTag(lock, tag);
  return kStatusSuccess;
}

void releaseRemoveLock(RemoveLock& lock, const void* tag) {
  auto& sim = checked<SimRemoveLock>(lock, "remove lock");
  giveTag(lock, tag);
  int32_t count = --sim.count;
  if (count < 0) sim::recordViolation("remove lock released more often than acquired");
  if (count == 0) sim.count.notify_all();
}

void releaseRemoveLockAndWait(RemoveLock& lock, const void* tag) {
  requirePassive("waiting for a remove lock");
  auto& sim = checked<SimRemoveLock>(lock, "remove lock");
  sim.removed.store(1);
  giveTag(lock, tag);
  --sim.count;  // the caller's acquisition
  --sim.count;  // the device's own hold
  for (int32_t count = sim.count.load(); count > 0; count = sim.count.load()) sim.count.wait(count);
}

void initializeFastMutex(FastMutex& mutex) {
  auto* sim = new (mutex.storage) SimFastMutex{};
  sim->mark = kInitialisedMark;
  sim->locked.store(0);
}

void acquireFastMutexUnsafe(FastMutex& mutex) {
  auto& sim = checked<SimFastMutex>(mutex, "fast mutex");
  requirePassive("fast mutex acquired");
  if (sim.locked.load() != 0 && sim.owner.load() == std::this_thread::get_id()) {
    sim::recordViolation("fast mutex acquired twice by one thread");
    abort();  // the kernel would deadlock here
  }
  while (sim.locked.exchange(1) != 0) sim.locked.wait(1);
  sim.owner.store(std::this_thread::get_id());
}

void releaseFastMutexUnsafe(FastMutex& mutex) {
  auto& sim = checked<SimFastMutex>(mutex, "fast mutex");
  if (sim.locked.load() == 0 || sim.owner.load() != std::this_thread::get_id()) {
    sim::recordViolation("fast mutex released by a thread that does not hold it");
  }
  sim.owner.store(std::thread::id());
  sim.locked.store(0);
  sim.locked.notify_one();
}

void initializeEvent(Event& event, EventType type, bool signalled) {
  auto* sim = new (event.storage) SimEvent{};
  sim->mark = kInitialisedMark;
  sim->type = type;
  sim->signalled.store(signalled ? 1 : 0);
}

void setEvent(Event& event) {
  auto& sim = checked<SimEvent>(event, "event");
  sim.signalled.store(1);
  sim.signalled.notify_all();
}

void clearEvent(Event& event) { checked<SimEvent>(event, "event").signalled.store(0); }

void waitForEvent(Event& event) {
  requirePassive("waiting for an event");
  auto& sim = checked<SimEvent>(event, "event");
  for (;;) {
    if (sim.type == EventType::Synchronization) {
      int32_t expected = 1;
      if (sim.signalled.compare_exchange_strong(expected, 0)) return;
    } else if (sim.signalled.load() != 0) {
      return;
    }
    sim.signalled.wait(0);
  }
}

}  // namespace kernel

namespace sim {

RemoveLockInfo removeLockInfo(const kernel::RemoveLock& lock) {
  const auto& sim = *reinterpret_cast<const SimRemoveLock*>(lock.storage);
  int32_t count = sim.count.load();
  bool removed = sim.removed.load() != 0;
  return {sim.tag, sim.maxLockedMinutes, sim.highWatermark, removed ? count : count - 1, removed};
}

namespace detail {

void resetRemoveLocks() {
  std::lock_guard<std::mutex> hold(tagMutex);
  outstandingTags.clear();
}

}  // namespace detail
}  // namespace sim
