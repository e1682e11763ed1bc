#pragma once
// The process the calling thread runs in, as the driver records it.
#include <stdint.h>

namespace kernel {

// The id of the current process (the creator of a pin, in its creation's completion).
uint32_t currentProcessId();

}  // namespace kernel
