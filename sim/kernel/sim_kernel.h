#pragma once
// Test controls and accounting of the simulated kernel backend.
#include <stddef.h>
#include <stdint.h>

#include "kernel/irql.h"

namespace sim {

struct PoolCounters {
  int64_t liveBlocks;
  int64_t liveBytes;
  int64_t totalAllocations;  // successful ones since the last reset
  int64_t refusedAllocations;
};

PoolCounters poolCounters();
// The k-th allocation from now (1 = the next one) is refused; 0 refuses none.
void failAllocation(int64_t k);

// The level the calling thread runs at (passive unless a test says otherwise).
void setCurrentIrql(kernel::Irql level);

struct LockCounters {
  int64_t atDispatchAcquisitions;
  int64_t raisingAcquisitions;
};
LockCounters lockCounters();

struct FloatStateCounters {
  int64_t saves;
  int64_t restores;
  int64_t refusedSaves;
};
FloatStateCounters floatStateCounters();
// The next `count` saves fail.
void failFloatSaves(int count);

// Clears the counters and failure plans; live pool blocks stay counted.
void resetCounters();

}  // namespace sim
