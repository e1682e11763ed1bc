#pragma once
// The spin lock that guards the driver's records, status and engine.
#include <stdint.h>

#include "kernel/irql.h"

namespace kernel {

// One pointer-sized word, the size of the platform's own spin lock; each
// backend keeps its lock in it. Zero is the released state.
struct SpinLock {
  uintptr_t word;
};

// What a release needs to know about its acquisition: which form was used
// and the level to return to.
struct LockHandle {
  Irql previousIrql;
  bool acquiredAtDispatch;
};

// Takes the lock in the form the caller's level asks for: at dispatch level
// the at-dispatch-level form, below it the raising form.
LockHandle acquireSpinLock(SpinLock& lock);
void releaseSpinLock(SpinLock& lock, LockHandle handle);

// Holds a spin lock for the lifetime of a scope.
class SpinLockGuard {
 public:
  explicit SpinLockGuard(SpinLock& lock) : lock_(lock), handle_(acquireSpinLock(lock)) {}
  ~SpinLockGuard() { releaseSpinLock(lock_, handle_); }
  SpinLockGuard(const SpinLockGuard&) = delete;
  SpinLockGuard& operator=(const SpinLockGuard&) = delete;

 private:
  SpinLock& lock_;
  LockHandle handle_;
};

}  // namespace kernel
