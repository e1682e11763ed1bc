// The simulated kernel runtime's rand: the classic C-runtime linear
// congruential generator, state = state x 214013 + 2531011 in 32-bit
// arithmetic, each value bits 16 .. 30 of the new state.
#include "sim_random.h"

#include <mutex>

#include "kernel/random.h"

namespace {

constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;
constexpr uint32_t kLoadSeed = 1u;

std::mutex randomMutex;
uint32_t state = kLoadSeed;

}  // namespace

namespace kernel {

int32_t rand() {
  std::lock_guard<std::mutex> hold(randomMutex);
  state = state * kMultiplier + kIncrement;
  return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

}  // namespace kernel

namespace sim {

void seedRandom(uint32_t seed) {
  std::lock_guard<std::mutex> hold(randomMutex);
  state = seed;
}

}  // namespace sim
