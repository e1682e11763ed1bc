// Every test that proves an allocation or a float save trusts these counters.
#include "sim/kernel/sim_kernel.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "kernel/float_state.h"
#include "kernel/pool.h"

namespace {

TEST(SimPool, CountsLiveBlocksAndBytesAndRefusesExactlyTheKthAllocation) {
  sim::resetCounters();
  const sim::PoolCounters start = sim::poolCounters();
  sim::failAllocation(3);
  void* a = kernel::poolAllocate(10);
  void* b = kernel::poolAllocate(100);
  void* refused = kernel::poolAllocate(1000);
  void* d = kernel::poolAllocate(7);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(refused, nullptr);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % kernel::kPoolAlignment, 0u);
  sim::PoolCounters now = sim::poolCounters();
  EXPECT_EQ(now.liveBlocks - start.liveBlocks, 3);
  EXPECT_EQ(now.liveBytes - start.liveBytes, 117);
  EXPECT_EQ(now.totalAllocations, 3);
  EXPECT_EQ(now.refusedAllocations, 1);
  kernel::poolFree(a);
  kernel::poolFree(b);
  kernel::poolFree(d);
  kernel::poolFree(nullptr);
  EXPECT_EQ(sim::poolCounters().liveBytes, start.liveBytes);
}

TEST(SimPool, ZeroedArraysRefuseOverflowingSizes) {
  EXPECT_EQ(kernel::poolAllocateZeroed<int32_t>(0), nullptr);
  EXPECT_EQ(kernel::poolAllocateZeroed<int32_t>(SIZE_MAX / 2), nullptr);
  int32_t* values = kernel::poolAllocateZeroed<int32_t>(5);
  ASSERT_NE(values, nullptr);
  for (int i = 0; i < 5; i++) EXPECT_EQ(values[i], 0);
  kernel::poolRelease(values);
  EXPECT_EQ(values, nullptr);
}

TEST(SimFloatState, RefusesThePlannedSavesThenSavesAgain) {
  sim::resetCounters();
  sim::failFloatSaves(2);
  bool saved[3];
  for (bool& s : saved) {
    kernel::FloatStateGuard guard;
    s = guard.saved();
  }
  EXPECT_FALSE(saved[0]);
  EXPECT_FALSE(saved[1]);
  EXPECT_TRUE(saved[2]);
  sim::FloatStateCounters counters = sim::floatStateCounters();
  EXPECT_EQ(counters.saves, 1);
  EXPECT_EQ(counters.restores, 1);
  EXPECT_EQ(counters.refusedSaves, 2);
}

}  // namespace
