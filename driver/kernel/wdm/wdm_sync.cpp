// Levels, the spin lock, the fast mutex, events, remove locks and the
// floating-point state over the kernel's own objects, each kept in the room
// our interface reserves for it.
#include "kernel/event.h"
#include "kernel/fast_mutex.h"
#include "kernel/float_state.h"
#include "kernel/irql.h"
#include "kernel/remove_lock.h"
#include "kernel/spin_lock.h"
#include "wdm_platform.h"

namespace {

static_assert(kernel::kPassiveLevel == PASSIVE_LEVEL && kernel::kDispatchLevel == DISPATCH_LEVEL);
static_assert(sizeof(kernel::Irql) == sizeof(KIRQL));
static_assert(sizeof(KSPIN_LOCK) == sizeof(kernel::SpinLock) && alignof(KSPIN_LOCK) <= alignof(kernel::SpinLock));
static_assert(sizeof(FAST_MUTEX) <= sizeof(kernel::FastMutex) && alignof(FAST_MUTEX) <= alignof(kernel::FastMutex));
static_assert(sizeof(KEVENT) <= sizeof(kernel::Event) && alignof(KEVENT) <= alignof(kernel::Event));
static_assert(sizeof(IO_REMOVE_LOCK) <= sizeof(kernel::RemoveLock) &&
              alignof(IO_REMOVE_LOCK) <= alignof(kernel::RemoveLock));
static_assert(sizeof(KFLOATING_SAVE) <= sizeof(kernel::FloatSaveArea) &&
              alignof(KFLOATING_SAVE) <= alignof(kernel::FloatSaveArea));

KSPIN_LOCK* native(kernel::SpinLock& lock) { return reinterpret_cast<KSPIN_LOCK*>(&lock.word); }
FAST_MUTEX* native(kernel::FastMutex& mutex) { return reinterpret_cast<FAST_MUTEX*>(mutex.storage); }
KEVENT* native(kernel::Event& event) { return reinterpret_cast<KEVENT*>(event.storage); }
IO_REMOVE_LOCK* native(kernel::RemoveLock& lock) { return reinterpret_cast<IO_REMOVE_LOCK*>(lock.storage); }

// The platform's remove-lock routines take the size of the lock they are
// given, so that a checking kernel knows whether its debug block is there.
constexpr ULONG kRemoveLockBytes = sizeof(IO_REMOVE_LOCK);

}  // namespace

namespace kernel {

Irql currentIrql() { return KeGetCurrentIrql(); }

LockHandle acquireSpinLock(SpinLock& lock) {
  LockHandle handle{};
  if (KeGetCurrentIrql() >= DISPATCH_LEVEL) {
    handle.previousIrql = DISPATCH_LEVEL;
    handle.acquiredAtDispatch = true;
#if defined(_M_IX86)
    KefAcquireSpinLockAtDpcLevel(native(lock));
#else
    KeAcquireSpinLockAtDpcLevel(native(lock));
#endif
  } else {
    handle.acquiredAtDispatch = false;
#if defined(_M_IX86)
    handle.previousIrql = KfAcquireSpinLock(native(lock));
#else
    handle.previousIrql = KeAcquireSpinLockRaiseToDpc(native(lock));
#endif
  }
  return handle;
}

void releaseSpinLock(SpinLock& lock, LockHandle handle) {
#if defined(_M_IX86)
  if (handle.acquiredAtDispatch) {
    KefReleaseSpinLockFromDpcLevel(native(lock));
  } else {
    KfReleaseSpinLock(native(lock), handle.previousIrql);
  }
#else
  if (handle.acquiredAtDispatch) {
    KeReleaseSpinLockFromDpcLevel(native(lock));
  } else {
    KeReleaseSpinLock(native(lock), handle.previousIrql);
  }
#endif
}

void initializeFastMutex(FastMutex& mutex) { ExInitializeFastMutex(native(mutex)); }
void acquireFastMutexUnsafe(FastMutex& mutex) { ExAcquireFastMutexUnsafe(native(mutex)); }
void releaseFastMutexUnsafe(FastMutex& mutex) { ExReleaseFastMutexUnsafe(native(mutex)); }

void initializeEvent(Event& event, EventType type, bool signalled) {
  KeInitializeEvent(native(event), type == EventType::Notification ? NotificationEvent : SynchronizationEvent,
                    signalled ? TRUE : FALSE);
}
void setEvent(Event& event) { KeSetEvent(native(event), IO_NO_INCREMENT, FALSE); }
void clearEvent(Event& event) { KeClearEvent(native(event)); }
void waitForEvent(Event& event) { KeWaitForSingleObject(native(event), Executive, KernelMode, FALSE, nullptr); }

void initializeRemoveLock(RemoveLock& lock, uint32_t tag, uint32_t maxLockedMinutes, uint32_t highWatermark) {
  IoInitializeRemoveLockEx(native(lock), tag, maxLockedMinutes, highWatermark, kRemoveLockBytes);
}

Status acquireRemoveLock(RemoveLock& lock, const void* tag) {
  return IoAcquireRemoveLockEx(native(lock), const_cast<void*>(tag), __FILE__, __LINE__, kRemoveLockBytes);
}

void releaseRemoveLock(RemoveLock& lock, const void* tag) {
  IoReleaseRemoveLockEx(native(lock), const_cast<void*>(tag), kRemoveLockBytes);
}

void releaseRemoveLockAndWait(RemoveLock& lock, const void* tag) {
  IoReleaseRemoveLockAndWaitEx(native(lock), const_cast<void*>(tag), kRemoveLockBytes);
}

#if defined(_M_IX86)
bool saveFloatState(FloatSaveArea& area) {
  return NT_SUCCESS(KeSaveFloatingPointState(reinterpret_cast<KFLOATING_SAVE*>(area.bytes)));
}
void restoreFloatState(FloatSaveArea& area) {
  KeRestoreFloatingPointState(reinterpret_cast<KFLOATING_SAVE*>(area.bytes));
}
#else
// 64-bit Windows keeps the SSE state of every thread itself: there is
// nothing to save, and the headers do not declare the routines.
bool saveFloatState(FloatSaveArea&) { return true; }
void restoreFloatState(FloatSaveArea&) {}
#endif

}  // namespace kernel
