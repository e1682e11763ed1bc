// Building, enabling, disabling and tearing down the engine, the statistics,
// the gain compensation and the reference path into the cancellers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/block_resampler.h"
#include "engine/capture_entry.h"
#include "engine/echo_canceller.h"
#include "engine/engine_state.h"
#include "support/driver_fixture.h"

namespace {

class EngineLifecycle : public DriverFixture {
 protected:
  EngineState& engine = driver.engine;
};

struct LayoutCase {
  const char* name;
  int32_t channels, mode, captureRate, renderRate, sampleCount;
  int32_t workingRate, captureFrames, workingBlockLength, referenceBlockLength;
  bool secondChannel, convertsCapture, convertsReference;
};

TEST_F(EngineLifecycle, ConfigureBuildsWhatTheFormatNeeds) {
  const LayoutCase cases[] = {
      {"48000 stereo mode 0, 10 ms", 2, 0, 48000, 48000, 960, 8000, 480, 80, 480, false, true, true},
      {"48000 stereo mode 2", 2, 2, 48000, 48000, 960, 8000, 480, 80, 480, true, true, true},
      {"44100 mono, render 44100", 1, 0, 44100, 44100, 441, 22050, 441, 220, 440, false, true, true},
      {"22050 mono, render 22050", 1, 0, 22050, 22050, 220, 22050, 220, 220, 0, false, false, false},
      {"22050 mono, render 44100", 1, 0, 22050, 44100, 220, 22050, 220, 220, 440, false, false, true},
      {"16000 mono, render 48000", 1, 0, 16000, 48000, 160, 16000, 160, 160, 480, false, false, true},
      {"16000 mono, a whole second", 1, 0, 16000, 16000, 16000, 16000, 16000, 16000, 0, false, false, false},
      {"8000 mono, render 192000", 1, 0, 8000, 192000, 80, 8000, 80, 80, 1920, false, false, true},
  };
  for (const LayoutCase& c : cases) {
    ASSERT_TRUE(engine.configure(c.channels, c.mode, c.captureRate, c.renderRate, c.sampleCount, true, true, false))
        << c.name;
    EXPECT_EQ(engine.workingRate, c.workingRate) << c.name;
    EXPECT_EQ(engine.captureFrames, c.captureFrames) << c.name;
    EXPECT_EQ(engine.workingBlockLength, c.workingBlockLength) << c.name;
    EXPECT_EQ(engine.workingCapacity, 2 * c.workingBlockLength) << c.name;
    EXPECT_NE(engine.canceller1, nullptr) << c.name;
    EXPECT_EQ(engine.canceller2 != nullptr, c.secondChannel) << c.name;
    EXPECT_EQ(engine.captureBuffer2 != nullptr, c.secondChannel) << c.name;
    EXPECT_EQ(engine.downResampler1 != nullptr, c.convertsCapture) << c.name;
    EXPECT_EQ(engine.downResampler2 != nullptr, c.convertsCapture && c.secondChannel) << c.name;
    EXPECT_EQ(engine.referenceResampler != nullptr, c.convertsReference) << c.name;
    if (c.convertsReference) {
      EXPECT_EQ(engine.referenceBlockLength, c.referenceBlockLength) << c.name;
      EXPECT_NE(engine.referenceBlock, nullptr) << c.name;
      EXPECT_NE(engine.referenceOut, nullptr) << c.name;
    }
    engine.releaseAll();
  }
}

TEST_F(EngineLifecycle, RenderRatesAreAcceptedAsWholeMultiplesOfTheWorkingRate) {
  const struct {
    int32_t captureRate, renderRate;
    bool accepted;
  } cases[] = {
      {44100, 44100, true}, {44100, 48000, false}, {48000, 44100, false}, {48000, 96000, true},
      {8000, 192000, true}, {8000, 200000, false}, {11025, 44100, true}, {16000, 0, false},
  };
  for (const auto& c : cases) {
    int32_t count = c.captureRate / 100;
    EXPECT_EQ(engine.configure(1, 0, c.captureRate, c.renderRate, count, true, false, false), c.accepted)
        << c.captureRate << " capture, " << c.renderRate << " render";
    engine.releaseAll();
  }
}

TEST_F(EngineLifecycle, ConfigureUnderAllocationFailureLeavesNothing) {
  for (bool noiseSuppressor : {false, true}) {
    const int64_t before = sim::poolCounters().liveBlocks;
    for (int64_t k = 1;; k++) {
      sim::failAllocation(k);
      bool built = engine.configure(2, 2, 48000, 48000, 960, true, noiseSuppressor, false);
      sim::failAllocation(0);
      if (built) break;
      EXPECT_FALSE(engine.exists()) << "allocation " << k;
      EXPECT_EQ(engine.canceller1, nullptr) << "allocation " << k;
      ASSERT_EQ(sim::poolCounters().liveBlocks, before) << "allocation " << k << " refused";
      ASSERT_LT(k, 10000) << "configure never succeeded";
    }
    engine.releaseAll();
    EXPECT_EQ(sim::poolCounters().liveBlocks, before);
  }
}

TEST_F(EngineLifecycle, SwitchingOffAndOnNeitherAccumulatesNorKeepsAStaleResampler) {
  ASSERT_TRUE(engine.configure(1, 0, 16000, 48000, 160, true, true, false));
  const int64_t built = sim::poolCounters().liveBlocks;
  for (int round = 0; round < 5; round++) {
    engine.disableCanceller();
    EXPECT_EQ(engine.canceller1, nullptr);
    EXPECT_NE(engine.referenceResampler, nullptr) << "the engine keeps its resamplers while off";
    ASSERT_TRUE(engine.enableCanceller(true, 48000));
    EXPECT_EQ(sim::poolCounters().liveBlocks, built) << "round " << round;
  }
  // Off, then on again with the render rate now at the working rate: the
  // reference must no longer pass through the 48000 Hz resampler.
  engine.disableCanceller();
  ASSERT_TRUE(engine.enableCanceller(true, 16000));
  EXPECT_EQ(engine.referenceResampler, nullptr);
  EXPECT_EQ(engine.referenceBlock, nullptr);
  EXPECT_EQ(engine.renderRate, 16000);
  engine.feedReferenceSample(1000);
  EXPECT_EQ(engine.referenceCount, 1) << "one sample goes straight to the cancellers";
}

TEST_F(EngineLifecycle, EnableCancellerRefusesAnUnacceptedRenderRateWithoutChangingIt) {
  ASSERT_TRUE(engine.configure(1, 0, 16000, 16000, 160, false, true, false));
  EXPECT_EQ(engine.canceller1, nullptr);
  EXPECT_FALSE(engine.enableCanceller(true, 44100));
  EXPECT_EQ(engine.renderRate, 0);
  EXPECT_TRUE(engine.enableCanceller(false, 32000));
  EXPECT_EQ(engine.canceller1->noiseSuppressor, nullptr);
  EXPECT_TRUE(engine.enableCanceller(true, 44100)) << "an existing canceller is kept";
}

TEST_F(EngineLifecycle, DestroyEngineClearsItsStatusWords) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000);
  std::vector<int16_t> samples(160, 0);
  processCaptureBuffer(driver, 160, samples.data());
  ASSERT_TRUE(engine.exists());
  EXPECT_EQ(driver.status.active, 1u);
  EXPECT_EQ(driver.status.framesPerBuffer, 160u);
  driver.status.flags = EcStatus::kFlagRenderFormatUnusable | EcStatus::kFlagUserModeCapture;
  destroyEngine(driver);
  EXPECT_FALSE(engine.exists());
  EXPECT_EQ(engine.canceller1, nullptr);
  EXPECT_EQ(driver.status.active, 0u);
  EXPECT_EQ(driver.status.framesPerBuffer, 0u);
  EXPECT_EQ(driver.status.flags, 0u);
}

TEST_F(EngineLifecycle, CompensateGainScalesTheEchoPathMagnitudes) {
  EXPECT_FALSE(engine.compensateGain(-6, 0)) << "without a canceller";
  ASSERT_TRUE(engine.configure(2, 2, 16000, 16000, 320, true, false, false));
  for (EchoCanceller* c : {engine.canceller1, engine.canceller2}) {
    for (int k = 0; k < EchoCanceller::kBins; k++) c->filterMagnitude[k] = 1.0f;
  }
  ASSERT_TRUE(engine.compensateGain(-6, 0));
  for (EchoCanceller* c : {engine.canceller1, engine.canceller2}) {
    EXPECT_NEAR(c->filterMagnitude[100], 1.9953f, 1e-4f) << "10^(6/20)";
  }
  EXPECT_EQ(engine.echoPathFigure(1000.0f), 1995u);
}

TEST_F(EngineLifecycle, ReferenceAtTheWorkingRateGoesStraightToEveryCanceller) {
  ASSERT_TRUE(engine.configure(2, 2, 16000, 16000, 320, true, false, false));
  for (int i = 0; i < 10; i++) engine.feedReferenceSample(100);
  EXPECT_EQ(engine.canceller1->referenceSamples, 10);
  EXPECT_EQ(engine.canceller2->referenceSamples, 10);
  EXPECT_EQ(engine.referenceCount, 10);
  EXPECT_FLOAT_EQ(engine.referenceMeanSquare, 10000.0f);
}

TEST_F(EngineLifecycle, ReferenceAtAHigherRateArrivesInWholeConvertedBlocks) {
  // 48000 Hz render, 8000 Hz working rate, 10 ms blocks: 480 in, 80 out.
  ASSERT_TRUE(engine.configure(1, 0, 48000, 48000, 480, true, false, false));
  ASSERT_EQ(engine.referenceBlockLength, 480);
  std::vector<int32_t> delivered;
  for (int block = 0; block < 4; block++) {
    for (int i = 0; i < 480; i++) engine.feedReferenceSample(static_cast<int16_t>(i));
    delivered.push_back(engine.canceller1->referenceSamples);
  }
  EXPECT_EQ(delivered, (std::vector<int32_t>{0, 80, 160, 240})) << "the first block fills the resampler";
}

TEST_F(EngineLifecycle, WithoutCancellersOnlyTheMeanSquareMoves) {
  engine.deliverReferenceSample(3);
  engine.deliverReferenceSample(-5);
  EXPECT_EQ(engine.referenceCount, 2);
  EXPECT_FLOAT_EQ(engine.referenceMeanSquare, 17.0f);
}

TEST_F(EngineLifecycle, SteadyProcessingNeverAllocatesAndTeardownReturnsEverything) {
  const int64_t before = sim::poolCounters().liveBlocks;
  driver.settings.enable = 1;
  driver.settings.micMode = 2;
  setStreams(48000, 2, 16, 48000);
  std::vector<int16_t> capture(960, 0);
  processCaptureBuffer(driver, 960, capture.data());
  ASSERT_EQ(driver.status.active, 1u);
  driver.referenceStarted = 1;
  const int64_t allocations = sim::poolCounters().totalAllocations;
  uint32_t seed = 1;
  for (int buffer = 0; buffer < 300; buffer++) {  // 3 s
    for (int i = 0; i < 480; i++) {
      seed = seed * 1103515245u + 12345u;
      engine.feedReferenceSample(static_cast<int16_t>((seed >> 16) % 8000 - 4000));
    }
    for (int16_t& s : capture) {
      seed = seed * 1103515245u + 12345u;
      s = static_cast<int16_t>((seed >> 16) % 4000 - 2000);
    }
    processCaptureBuffer(driver, 960, capture.data());
  }
  EXPECT_EQ(sim::poolCounters().totalAllocations, allocations);
  destroyEngine(driver);
  EXPECT_EQ(sim::poolCounters().liveBlocks, before);
}

}  // namespace
