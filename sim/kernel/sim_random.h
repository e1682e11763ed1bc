#pragma once
// Test control of the simulated kernel runtime's generator (kernel/random.h).
#include <stdint.h>

namespace sim {

// Restarts the sequence from `seed`, as the runtime's srand does; the
// sequence starts from seed 1 when the image loads.
void seedRandom(uint32_t seed);

}  // namespace sim
