#pragma once
// The kernel runtime's pseudo-random generator, shared by the whole system.
// The driver's only user is the echo canceller's comfort noise.
#include <stdint.h>

namespace kernel {

// The next value of the runtime's sequence, 0 .. 0x7FFF.
int32_t rand();

}  // namespace kernel
