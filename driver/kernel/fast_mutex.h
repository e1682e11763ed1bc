#pragma once
// The fast mutex, for passive-level code that may wait.
#include <stdint.h>

namespace kernel {

// Room for the platform's own mutex (32 bytes on x86); each backend keeps its
// mutex in it.
struct FastMutex {
  alignas(8) uintptr_t storage[8];
};

void initializeFastMutex(FastMutex& mutex);
// The forms that leave the level alone: for callers that cannot be
// suspended while holding it (plug-and-play and system threads).
void acquireFastMutexUnsafe(FastMutex& mutex);
void releaseFastMutexUnsafe(FastMutex& mutex);

}  // namespace kernel
