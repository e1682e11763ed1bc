#pragma once
// A fresh driver state per test, with the pool checked on the way out: every
// test must leave behind exactly what it found.
#include <gtest/gtest.h>

#include "engine/driver_state.h"
#include "sim/kernel/sim_kernel.h"
#include "sim/kernel/sim_random.h"

class DriverFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetCounters();
    sim::seedRandom(1);  // the comfort noise then sounds the same whatever ran before
    liveBlocksBefore_ = sim::poolCounters().liveBlocks;
    initializeDriverState(driver);
  }
  void TearDown() override {
    destroyEngine(driver);
    sim::setCurrentIrql(kernel::kPassiveLevel);
    EXPECT_EQ(sim::poolCounters().liveBlocks, liveBlocksBefore_) << "pool blocks left behind";
  }

  // The stream fields pin tracking would write for a running capture and render pin.
  void setStreams(uint32_t captureRate, uint32_t captureChannels, uint32_t captureBits, uint32_t renderRate,
                  uint32_t renderBits = 16, uint32_t renderChannels = 2) {
    EcStatus& s = driver.status;
    s.captureRunning = 1;
    s.readRate = captureRate;
    s.readChannels = captureChannels;
    s.readBits = captureBits;
    s.renderRunning = renderRate != 0;
    s.writeRate = renderRate;
    s.writeChannels = renderChannels;
    s.writeBits = renderBits;
  }

  DriverState driver{};

 private:
  int64_t liveBlocksBefore_ = 0;
};
