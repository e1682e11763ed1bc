// The current process, as the kernel reports it.
#include "kernel/process.h"

#include "wdm_platform.h"

namespace kernel {

// Process ids are handle values; they fit 32 bits on every Windows.
uint32_t currentProcessId() { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(PsGetCurrentProcessId())); }

}  // namespace kernel
