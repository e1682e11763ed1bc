#include "sim_kernel.h"

namespace sim {

void resetPoolCounters();
void resetLockCounters();
void resetFloatStateCounters();

void resetCounters() {
  resetPoolCounters();
  resetLockCounters();
  resetFloatStateCounters();
}

}  // namespace sim
