#pragma once
// Pool accounting shared by the dsp tests: a creation refused at every one of
// its allocations in turn must leave the live count where it was.
#include <gtest/gtest.h>

#include <stdint.h>

#include "sim/kernel/sim_kernel.h"

namespace dsp_test {

inline int64_t liveBlocks() { return sim::poolCounters().liveBlocks; }
inline int64_t totalAllocations() { return sim::poolCounters().totalAllocations; }

// create() returns an object or none; destroy(T*&) releases it and sets none.
// Returns the number of allocations a successful creation makes.
template <typename T, typename Create, typename Destroy>
int64_t expectEveryRefusalReleasesAll(const char* what, Create create, Destroy destroy) {
  sim::failAllocation(0);
  const int64_t before = liveBlocks();
  const int64_t totalBefore = totalAllocations();
  T* whole = create();
  const int64_t steps = totalAllocations() - totalBefore;
  EXPECT_NE(whole, nullptr) << what << ": creation with a willing pool";
  destroy(whole);
  EXPECT_EQ(whole, nullptr) << what << ": destroy sets the pointer to none";
  EXPECT_EQ(liveBlocks(), before) << what << ": destroy releases every block";
  EXPECT_GT(steps, 0) << what;
  for (int64_t k = 1; k <= steps; k++) {
    sim::failAllocation(k);
    T* partial = create();
    sim::failAllocation(0);
    EXPECT_EQ(partial, nullptr) << what << ": allocation " << k << " of " << steps << " refused";
    if (partial != nullptr) destroy(partial);
    EXPECT_EQ(liveBlocks(), before) << what << ": allocation " << k << " of " << steps
                                    << " refused leaves blocks behind";
  }
  return steps;
}

}  // namespace dsp_test
