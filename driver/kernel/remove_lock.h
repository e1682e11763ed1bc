#pragma once
// The remove lock: every request inside the driver holds it, and a remove
// waits until all of them have left before the device goes away.
#include <stdint.h>

#include "kernel/status.h"

namespace kernel {

// Room for the platform's own lock, with the debug block a checking kernel
// adds (88 bytes on x86); each backend keeps its lock in it.
struct RemoveLock {
  alignas(8) uint8_t storage[160];
};

// The count starts at one, held by the device itself. `maxLockedMinutes` and
// `highWatermark` are what a checking kernel verifies: no acquisition held
// longer, no more outstanding at once.
void initializeRemoveLock(RemoveLock& lock, uint32_t tag, uint32_t maxLockedMinutes, uint32_t highWatermark);
// STATUS_DELETE_PENDING once a remove has begun; each success needs a release
// with the same tag (usually the request).
Status acquireRemoveLock(RemoveLock& lock, const void* tag);
void releaseRemoveLock(RemoveLock& lock, const void* tag);
// Releases the caller's acquisition and the device's own hold, refuses all
// later acquisitions and waits until every outstanding one is released.
void releaseRemoveLockAndWait(RemoveLock& lock, const void* tag);

}  // namespace kernel
