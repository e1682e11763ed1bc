// The simulated floating-point save: host code needs no save, so this only
// counts saves and restores and refuses a save when a test asks it to.
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "kernel/float_state.h"
#include "sim_kernel.h"

namespace {

std::atomic<int64_t> saves{0};
std::atomic<int64_t> restores{0};
std::atomic<int64_t> refusedSaves{0};
std::atomic<int> savesToRefuse{0};

// Written into a saved area so that a restore can tell it was saved.
constexpr uint8_t kSavedMark = 0x5A;

}  // namespace

namespace kernel {

bool saveFloatState(FloatSaveArea& area) {
  int pending = savesToRefuse.load();
  while (pending > 0 && !savesToRefuse.compare_exchange_weak(pending, pending - 1)) {
  }
  if (pending > 0) {
    refusedSaves++;
    return false;
  }
  memset(area.bytes, kSavedMark, sizeof area.bytes);
  saves++;
  return true;
}

void restoreFloatState(FloatSaveArea& area) {
  if (area.bytes[0] != kSavedMark) abort();  // restore without a save
  area.bytes[0] = 0;
  restores++;
}

}  // namespace kernel

namespace sim {

FloatStateCounters floatStateCounters() { return {saves.load(), restores.load(), refusedSaves.load()}; }

void failFloatSaves(int count) { savesToRefuse = count; }

void resetFloatStateCounters() {
  saves = 0;
  restores = 0;
  refusedSaves = 0;
  savesToRefuse = 0;
}

}  // namespace sim
