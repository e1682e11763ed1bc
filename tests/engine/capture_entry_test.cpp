// The capture entry's gates: which buffers create the engine, which flags
// they raise, and that every buffer the engine cannot process passes as captured.
#include "engine/capture_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/driver_fixture.h"

namespace {

constexpr uint32_t kCaptureUnusable = EcStatus::kFlagCaptureFormatUnusable;
constexpr uint32_t kRenderUnusable = EcStatus::kFlagRenderFormatUnusable;

std::vector<int16_t> rampBuffer(size_t count) {
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; i++) samples[i] = static_cast<int16_t>(i * 37 - 9000);
  return samples;
}

struct GateCase {
  std::string name;
  uint32_t enable;
  uint32_t arrayEnable;
  uint32_t rateMask;
  uint32_t captureRate, captureChannels, captureBits;
  uint32_t renderRate, renderBits;
  int32_t sampleCount;
  bool engineBuilt;
  uint32_t flags;
};

class CaptureGates : public DriverFixture, public ::testing::WithParamInterface<GateCase> {};

TEST_P(CaptureGates, DecideEngineAndFlagsAndPassTheBufferUnchanged) {
  const GateCase& c = GetParam();
  driver.settings.enable = c.enable;
  driver.settings.rateMask = c.rateMask;
  driver.arraySettings.enable = c.arrayEnable;
  setStreams(c.captureRate, c.captureChannels, c.captureBits, c.renderRate, c.renderBits);

  // Twice: the decision repeats on each buffer and the second changes nothing more.
  for (int round = 0; round < 2; round++) {
    std::vector<int16_t> samples = rampBuffer(static_cast<size_t>(c.sampleCount));
    const std::vector<int16_t> captured = samples;
    processCaptureBuffer(driver, c.sampleCount, samples.data());
    EXPECT_EQ(samples, captured) << "round " << round;
    EXPECT_EQ(driver.engine.exists(), c.engineBuilt) << "round " << round;
    EXPECT_EQ(driver.status.flags, c.flags) << "round " << round;
    EXPECT_EQ(driver.status.active, c.engineBuilt ? 1u : 0u) << "the canceller runs with the engine";
  }
  if (c.engineBuilt) {
    EXPECT_EQ(driver.referenceStarted, 0);
    EXPECT_EQ(driver.status.framesPerBuffer, static_cast<uint32_t>(c.sampleCount) / c.captureChannels);
  }
}

// name, enable, array, mask, capture rate/channels/bits, render rate/bits, samples, engine, flags
INSTANTIATE_TEST_SUITE_P(
    Formats, CaptureGates,
    ::testing::Values(
        GateCase{"Mono16kPairedRender", 1, 0, 127, 16000, 1, 16, 16000, 16, 160, true, 0},
        GateCase{"Stereo48kPairedRender", 1, 0, 127, 48000, 2, 16, 48000, 16, 960, true, 0},
        GateCase{"Capture32BitContainers", 1, 0, 127, 22050, 2, 32, 44100, 32, 441, true, 0},
        GateCase{"RenderNotAMultiple", 1, 0, 127, 48000, 2, 16, 44100, 16, 960, false, kRenderUnusable},
        GateCase{"RenderBelowCapture", 1, 0, 127, 16000, 1, 16, 8000, 16, 160, false, kRenderUnusable},
        GateCase{"RateMaskWithout11025", 1, 0, 85, 11025, 1, 16, 11025, 16, 110, false, kCaptureUnusable},
        GateCase{"RateOutsideTheSeven", 1, 0, 127, 96000, 2, 16, 96000, 16, 960, false, kCaptureUnusable},
        GateCase{"Capture8Bit", 1, 0, 127, 16000, 1, 8, 16000, 16, 160, false, kCaptureUnusable},
        GateCase{"Capture8BitArrayOnly", 0, 1, 127, 16000, 2, 8, 0, 16, 320, false, kCaptureUnusable},
        GateCase{"Capture24Bit", 1, 0, 127, 16000, 1, 24, 16000, 16, 160, false, kCaptureUnusable},
        GateCase{"Render8Bit", 1, 0, 127, 16000, 1, 16, 16000, 8, 160, false, kRenderUnusable},
        GateCase{"Render24Bit", 1, 0, 127, 16000, 1, 16, 16000, 24, 160, false, kRenderUnusable},
        GateCase{"RenderNotRunning", 1, 0, 127, 16000, 1, 16, 0, 16, 160, false, 0},
        GateCase{"ArrayEnableWithCanceller", 1, 1, 127, 16000, 2, 16, 16000, 16, 320, false, 0},
        GateCase{"MoreSamplesThanTheWorkingRate", 1, 0, 127, 16000, 1, 16, 16000, 16, 16001, false, 0},
        GateCase{"BothEnablesOff", 0, 0, 127, 16000, 1, 8, 16000, 8, 160, false, 0}),
    [](const ::testing::TestParamInfo<GateCase>& test) { return test.param.name; });

using CaptureEntry = DriverFixture;

TEST_F(CaptureEntry, BothEnablesOffNeverTakeTheLock) {
  driver.settings.enable = 0;
  driver.arraySettings.enable = 0;
  setStreams(16000, 1, 16, 16000);
  std::vector<int16_t> samples = rampBuffer(160);
  processCaptureBuffer(driver, 160, samples.data());
  sim::LockCounters locks = sim::lockCounters();
  EXPECT_EQ(locks.atDispatchAcquisitions + locks.raisingAcquisitions, 0);
}

TEST_F(CaptureEntry, TakesTheLockInTheFormOfTheCallersLevel) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000);
  std::vector<int16_t> samples = rampBuffer(160);
  processCaptureBuffer(driver, 160, samples.data());  // passive level: the raising form
  sim::setCurrentIrql(kernel::kDispatchLevel);
  processCaptureBuffer(driver, 160, samples.data());
  sim::LockCounters locks = sim::lockCounters();
  EXPECT_EQ(locks.raisingAcquisitions, 1);
  EXPECT_EQ(locks.atDispatchAcquisitions, 1);
  EXPECT_EQ(kernel::currentIrql(), kernel::kDispatchLevel) << "the at-dispatch form leaves the level alone";
}

TEST_F(CaptureEntry, ExistingEngineRechecksTheRenderFormatOnEveryBuffer) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000);
  std::vector<int16_t> samples = rampBuffer(160);
  processCaptureBuffer(driver, 160, samples.data());
  ASSERT_TRUE(driver.engine.exists());

  // With the canceller switched off, every buffer that wants it checks the
  // render format before building it again.
  struct Step {
    uint32_t renderRate, renderBits, flags;
  };
  const Step steps[] = {
      {44100, 16, kRenderUnusable},  // not a multiple of 16000
      {48000, 16, 0},                // a usable render format clears the flag again
      {48000, 8, kRenderUnusable},   // a width the reference path cannot read
      {32000, 32, 0},
  };
  for (const Step& step : steps) {
    driver.engine.disableCanceller();
    driver.status.active = 0;
    driver.status.writeRate = step.renderRate;
    driver.status.writeBits = step.renderBits;
    const std::vector<int16_t> captured = samples;
    processCaptureBuffer(driver, 160, samples.data());
    EXPECT_EQ(driver.status.flags, step.flags) << step.renderRate << " Hz, " << step.renderBits << " bits";
    EXPECT_EQ(samples, captured);
    EXPECT_TRUE(driver.engine.exists()) << "a format change does not tear the engine down";
    EXPECT_EQ(driver.engine.canceller1 != nullptr, step.flags == 0) << step.renderRate << " Hz";
    EXPECT_EQ(driver.status.active, step.flags == 0 ? 1u : 0u);
  }
}

TEST_F(CaptureEntry, ArrayEnableSuspendsAnExistingEngine) {
  driver.settings.enable = 1;
  setStreams(48000, 2, 16, 48000);
  std::vector<int16_t> samples = rampBuffer(960);
  processCaptureBuffer(driver, 960, samples.data());
  ASSERT_TRUE(driver.engine.exists());
  driver.arraySettings.enable = 1;
  const std::vector<int16_t> captured = samples;
  processCaptureBuffer(driver, 960, samples.data());
  EXPECT_EQ(samples, captured);
  EXPECT_TRUE(driver.engine.exists());
}

TEST_F(CaptureEntry, CreateEngineNeedsARunningCapturePinAndNoEngineYet) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000);
  driver.status.captureRunning = 0;
  EXPECT_FALSE(createEngine(driver, 160));
  driver.status.captureRunning = 1;
  EXPECT_FALSE(createEngine(driver, 0));
  EXPECT_FALSE(createEngine(driver, -160));
  EXPECT_TRUE(createEngine(driver, 160));
  EXPECT_FALSE(createEngine(driver, 160)) << "the engine exists already";
  EXPECT_EQ(driver.engine.captureFrames, 160);
}

TEST_F(CaptureEntry, CreationUnderAllocationFailureLeavesNoEngineAndNothingAllocated) {
  // 48000 Hz stereo in mode 2 builds the most: two capture buffers and two
  // channels of rate conversion. Fail each allocation in turn.
  driver.settings.enable = 1;
  driver.settings.micMode = 2;
  setStreams(48000, 2, 16, 48000);
  const int64_t before = sim::poolCounters().liveBlocks;
  for (int64_t k = 1;; k++) {
    sim::failAllocation(k);
    bool built = createEngine(driver, 960);
    sim::failAllocation(0);
    if (built) {
      EXPECT_GT(k, 2) << "at least the two capture buffers are allocated";
      break;
    }
    EXPECT_FALSE(driver.engine.exists()) << "allocation " << k;
    EXPECT_EQ(sim::poolCounters().liveBlocks, before) << "allocation " << k << " failed";
    ASSERT_LT(k, 1000) << "creation never succeeded";
  }
}

TEST(OutputPeak, IsTheLargestMagnitudeAsUnsigned) {
  struct Case {
    std::vector<int16_t> samples;
    uint32_t peakBefore, peakAfter;
  };
  const Case cases[] = {
      {{-32768, -32768}, 0, 32768},
      {{32767, -5}, 0, 32767},
      {{100, -200}, 300, 300},  // a running maximum: it never goes down
      {{}, 7, 7},
  };
  for (const Case& c : cases) {
    uint32_t peak = c.peakBefore;
    updatePeak(peak, c.samples.data(), static_cast<int32_t>(c.samples.size()));
    EXPECT_EQ(peak, c.peakAfter) << "from " << c.peakBefore;
  }
}

}  // namespace
