// The simulated spin lock: a real lock on the lock's word, so that tests on
// several threads exercise it as the kernel would, and the levels it moves
// the calling thread between.
#include <sched.h>

#include <atomic>

#include "kernel/spin_lock.h"
#include "sim_kernel.h"

namespace {

thread_local kernel::Irql threadIrql = kernel::kPassiveLevel;
std::atomic<int64_t> atDispatchAcquisitions{0};
std::atomic<int64_t> raisingAcquisitions{0};

void spinAcquire(uintptr_t& word) {
  while (__atomic_exchange_n(&word, uintptr_t{1}, __ATOMIC_ACQUIRE) != 0) {
    while (__atomic_load_n(&word, __ATOMIC_RELAXED) != 0) sched_yield();
  }
}

}  // namespace

namespace kernel {

Irql currentIrql() { return threadIrql; }

LockHandle acquireSpinLock(SpinLock& lock) {
  LockHandle handle{threadIrql, threadIrql >= kDispatchLevel};
  if (handle.acquiredAtDispatch) {
    atDispatchAcquisitions++;
  } else {
    raisingAcquisitions++;
    threadIrql = kDispatchLevel;
  }
  spinAcquire(lock.word);
  return handle;
}

void releaseSpinLock(SpinLock& lock, LockHandle handle) {
  __atomic_store_n(&lock.word, uintptr_t{0}, __ATOMIC_RELEASE);
  if (!handle.acquiredAtDispatch) threadIrql = handle.previousIrql;
}

}  // namespace kernel

namespace sim {

void setCurrentIrql(kernel::Irql level) { threadIrql = level; }

LockCounters lockCounters() { return {atDispatchAcquisitions.load(), raisingAcquisitions.load()}; }

void resetLockCounters() {
  atDispatchAcquisitions = 0;
  raisingAcquisitions = 0;
}

}  // namespace sim
