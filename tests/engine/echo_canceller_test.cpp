// The echo canceller's object and per-block loop: creation and its sizes,
// the adaptation schedule, the shadow filter's copy rule, the echo-path
// read-outs, the start-up of the output and the DC removal.
#include "engine/echo_canceller.h"

#include <gtest/gtest.h>

#include <math.h>

#include <complex>
#include <random>
#include <vector>

#include "canceller_fixture.h"
#include "dsp/pool_check.h"

namespace {

class Canceller : public CancellerTest {};

constexpr int32_t K = EchoCanceller::kBins;

bool allZero(const float* v, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    if (v[i] != 0.0f) return false;
  }
  return true;
}
bool allZero(const ComplexFloat* v, int32_t n) { return allZero(reinterpret_cast<const float*>(v), 2 * n); }

TEST_F(Canceller, CreationDerivesEverySizeFromTheRate) {
  const struct {
    int32_t rate;
    int32_t powerWindow, estimateInterval, capacity, lowBin;
  } cases[] = {
      {8000, 2400, 1600, 10400, 5},
      {11025, 3307, 2205, 14332, 4},
      {16000, 4800, 3200, 20800, 3},
      {22050, 6615, 4410, 28665, 2},
  };
  for (const auto& c : cases) {
    for (bool ns : {false, true}) {
      EchoCanceller& ec = make(c.rate, ns);
      EXPECT_EQ(ec.powerWindow, c.powerWindow) << c.rate;
      EXPECT_EQ(ec.estimateInterval, c.estimateInterval) << c.rate;
      EXPECT_EQ(ec.referenceHistory->capacity, c.capacity) << c.rate;
      EXPECT_EQ(ec.micFramer->capacity, c.capacity) << c.rate;
      EXPECT_EQ(ec.micFramer->frameLength, 512) << c.rate;
      EXPECT_EQ(ec.lowBin, c.lowBin) << c.rate;
      EXPECT_EQ(ec.workingRate, c.rate);
      EXPECT_EQ(ec.fft->length, 512);
      EXPECT_EQ(ec.fft->sampleRate, c.rate);
      EXPECT_EQ(ec.fft->window[0], 0.0f) << "Hann over all 512 points";
      EXPECT_EQ(ec.half, 256);
      EXPECT_EQ(ec.frameLength, 512);
      EXPECT_EQ(ec.fftLength, 512);
      EXPECT_EQ(ec.ready, 1);
      EXPECT_EQ(ec.noiseSuppressor != nullptr, ns) << c.rate;
      EXPECT_TRUE(allZero(ec.correlation, ec.powerWindow)) << c.rate;
      for (const float* v : {ec.noiseFloor, ec.referenceSpectrumPower, ec.scratchPhase, ec.scratchMagnitude,
                             ec.filterMagnitude, ec.filterPhase, ec.echoMagnitude}) {
        EXPECT_TRUE(allZero(v, K)) << c.rate;
      }
      for (const ComplexFloat* v : {ec.scratchA, ec.scratchB, ec.shadowFilter, ec.filter}) {
        EXPECT_TRUE(allZero(v, K)) << c.rate;
      }
      EXPECT_EQ(ec.delay, 0);
      EXPECT_EQ(ec.holdBack, 0);
      EXPECT_EQ(ec.nextLag, 0);
      EXPECT_EQ(ec.adaptCount, 0);
    }
  }
}

TEST_F(Canceller, CreationRefusesUnusableRates) {
  // 0 and below; 150 Hz puts 80 Hz beyond the 256 bins; the largest rate
  // overflows the lag range's index.
  for (int32_t rate : {0, -8000, 150, INT32_MAX}) {
    const int64_t before = sim::poolCounters().liveBlocks;
    EchoCanceller* c = EchoCanceller::create(rate, true);
    EXPECT_EQ(c, nullptr) << rate;
    EchoCanceller::destroy(c);
    EXPECT_EQ(sim::poolCounters().liveBlocks, before) << rate;
  }
}

TEST_F(Canceller, CreationRefusedAtEveryAllocationReleasesEverything) {
  for (bool ns : {false, true}) {
    const int64_t steps = dsp_test::expectEveryRefusalReleasesAll<EchoCanceller>(
        ns ? "with noise suppressor" : "without noise suppressor",
        [ns] { return EchoCanceller::create(16000, ns); }, [](EchoCanceller*& c) { EchoCanceller::destroy(c); });
    EXPECT_GT(steps, 20) << ns;
  }
}

TEST_F(Canceller, WithoutCreationNothingIsProcessed) {
  EchoCanceller blank{};
  std::vector<int16_t> block(80, 1234);
  EXPECT_EQ(blank.processBlock(block.data(), 80), 0);
  EXPECT_EQ(block, std::vector<int16_t>(80, 1234));
  blank.addReferenceSample(1000);
  EXPECT_EQ(blank.referenceSamples, 0);
  EXPECT_FALSE(blank.scaleEchoPath(2.0f));
  EXPECT_EQ(blank.echoPathFigure(1000.0f), 0u);
  EchoCanceller* none = nullptr;
  EchoCanceller::destroy(none);

  EchoCanceller& ec = make(8000);
  EXPECT_EQ(ec.processBlock(nullptr, 80), 0);
  EXPECT_EQ(ec.processBlock(block.data(), 0), 0);
  EXPECT_EQ(ec.processBlock(block.data(), -5), 0);
  EXPECT_EQ(ec.referenceSamples, 0) << "a refused block is not counted";
  EXPECT_EQ(ec.micFramer->unread(), 0);
}

TEST_F(Canceller, StepSizeFallsOverThreeHundredAdaptingFrames) {
  const struct {
    int32_t adaptCount;
    float mu;
  } cases[] = {{0, 0.2f}, {1, 0.1994f}, {150, 0.11f}, {299, 0.0206f}, {300, 0.02f}, {5000, 0.02f}};
  EchoCanceller& ec = make(8000);
  for (const auto& c : cases) {
    ec.adaptCount = c.adaptCount;
    // 0.2 - n 0.18 / 300 in float: a few ulps of 0.2.
    EXPECT_NEAR(ec.stepSize(), c.mu, 1e-6f) << "adaptCount " << c.adaptCount;
  }
}

TEST_F(Canceller, SilentReferenceLeavesTheFiltersAlone) {
  // A microphone full of noise and a reference whose power stays at or
  // below 10000 (RMS 100): below it nothing adapts.
  for (int16_t referenceLevel : {int16_t{0}, int16_t{95}}) {
    EchoCanceller& ec = make(8000);
    const std::vector<float> talk = signals::speechLikeNoise(16000, 8000, 3u, 3000.0f);
    std::vector<int16_t> mic(talk.size());
    std::vector<int16_t> ref(talk.size());
    for (size_t i = 0; i < talk.size(); i++) {
      mic[i] = signals::toInt16(talk[i]);
      ref[i] = static_cast<int16_t>(i % 2 == 0 ? referenceLevel : -referenceLevel);
    }
    signals::run(ec, mic, ref, 80);
    EXPECT_LE(ec.referencePower, EchoCanceller::kActiveReferencePower) << referenceLevel;
    EXPECT_EQ(ec.adaptCount, 0) << referenceLevel;
    EXPECT_EQ(ec.stepSize(), 0.2f) << referenceLevel;
    EXPECT_TRUE(allZero(ec.filter, K)) << referenceLevel;
    EXPECT_TRUE(allZero(ec.shadowFilter, K)) << referenceLevel;
    EXPECT_TRUE(allZero(ec.echoMagnitude, K)) << referenceLevel;
    EXPECT_TRUE(allZero(ec.referenceSpectrumPower, K)) << referenceLevel;
    EXPECT_TRUE(allZero(ec.correlation, ec.powerWindow)) << "the estimator does not run either";
    EXPECT_FALSE(allZero(ec.noiseFloor, K)) << "the noise floor keeps following the microphone";
  }
}

TEST_F(Canceller, FirstAdaptingFrameTakesTheNormalisedStep) {
  // The microphone frame is the reference frame itself (an echo path of 1,
  // aligned): Y = X, so with W = 0 the error is X and the step is
  // mu |X|^2 / max(P, 250000) at phase 0, with P = 0.5 |X|^2 of this frame:
  // 0.4 where |X|^2 > 500000, less below. S takes the same step (its step
  // 0.2 equals mu at adaptCount 0). Float rounding of the polar round trip
  // stays within 1e-5 of the step.
  EchoCanceller& ec = make(8000);
  freezeReferenceMean(ec);
  std::mt19937 generator(11u);
  std::uniform_int_distribution<int> noise(-3000, 3000);
  for (int i = 0; i < 2000; i++) ec.addReferenceSample(static_cast<int16_t>(noise(generator)));
  ec.referenceSamples = 0;
  ASSERT_GT(ec.referencePower, EchoCanceller::kActiveReferencePower);
  const float* frame = ec.referenceHistory->newest() - 512;  // what referenceFrame gives with nothing pending
  ASSERT_EQ(ec.referenceFrame(), frame);
  ec.processFrame(frame);

  EXPECT_EQ(ec.adaptCount, 1);
  int32_t large = 0;
  for (int32_t k = 0; k < K; k++) {
    const float x2 = ec.refWorkspace->magnitude[k] * ec.refWorkspace->magnitude[k];
    EXPECT_FLOAT_EQ(ec.referenceSpectrumPower[k], 0.5f * x2) << "bin " << k;
    const float p = 0.5f * x2 > 250000.0f ? 0.5f * x2 : 250000.0f;
    const float expected = 0.2f * x2 / p;
    large += expected > 0.399f;
    EXPECT_NEAR(ec.filter[k].re, expected, 1e-5f) << "bin " << k;
    EXPECT_NEAR(ec.filter[k].im, 0.0f, 1e-5f) << "bin " << k;
    EXPECT_NEAR(ec.filterMagnitude[k], expected, 1e-5f) << "bin " << k;
    EXPECT_NEAR(ec.shadowFilter[k].re, expected, 1e-5f) << "bin " << k;
    EXPECT_GE(ec.echoMagnitude[k], ec.filterMagnitude[k]) << "bin " << k << ": H is kept at or above |W|";
  }
  EXPECT_GT(large, 100) << "most bins of noise at this level take the full step";
}

// The shadow comparison on a prepared state: W = 1 in every bin, S = s
// (complex, per bin), no reference and no microphone spectrum so that S's
// own step changes nothing (its gradient is 0).
TEST_F(Canceller, ShadowFilterReplacesTheMainFilterOnlyByItsRule) {
  const float deg = 3.14159265f / 180.0f;
  const struct {
    const char* name;
    float r, phaseDeg;
    float spreadDeg;  // bins alternate between phase +spread and -spread around phaseDeg
    float previous;   // shadowRatio before
    int32_t adaptCount;
    bool copies;
  } cases[] = {
      {"r 1.3 coming down from 1.5", 1.3f, 0.0f, 0.0f, 1.5f, 300, true},
      {"r 1.3 going up from 1.25", 1.3f, 0.0f, 0.0f, 1.25f, 300, false},
      {"r 0.7 coming up from 0.5", 0.7f, 0.0f, 0.0f, 0.5f, 300, true},
      {"r 0.9 from 0.5", 0.9f, 0.0f, 0.0f, 0.5f, 300, false},
      {"r 0.9 from 1.5", 0.9f, 0.0f, 0.0f, 1.5f, 300, false},
      {"phase 4 degrees", 1.3f, 4.0f, 0.0f, 1.5f, 300, true},
      {"phase 6 degrees", 1.3f, 6.0f, 0.0f, 1.5f, 300, false},
      {"phase -6 degrees", 1.3f, -6.0f, 0.0f, 1.5f, 300, false},
      {"spread too wide", 1.3f, 0.0f, 40.0f, 1.5f, 300, false},  // mean 0.996, mean |Q| 1.3
      {"spread narrow", 1.3f, 0.0f, 10.0f, 1.5f, 300, true},     // mean 1.280
      {"main filter still settling", 1.3f, 0.0f, 0.0f, 1.5f, 299, false},
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(8000);
    for (int32_t k = 0; k < K; k++) {
      ec.filter[k] = {1.0f, 0.0f};
      ec.filterMagnitude[k] = 1.0f;
      const float spread = (k % 2 == 0 ? 1.0f : -1.0f) * c.spreadDeg;
      const std::complex<float> s = std::polar(c.r, (c.phaseDeg + spread) * deg);
      ec.shadowFilter[k] = {s.real(), s.imag()};
    }
    ec.shadowRatio = c.previous;
    ec.adaptCount = c.adaptCount;
    std::vector<ComplexFloat> shadow(ec.shadowFilter, ec.shadowFilter + K);
    ec.adaptShadow();

    const float expectedRe = c.copies ? shadow[7].re : 1.0f;
    EXPECT_FLOAT_EQ(ec.filter[7].re, expectedRe) << c.name;
    EXPECT_FLOAT_EQ(ec.echoMagnitude[7], c.copies ? c.r : 0.0f) << c.name << ": H follows a copy";
    EXPECT_NEAR(ec.filterMagnitude[8], c.copies ? c.r : 1.0f, 1e-6f) << c.name;
    EXPECT_EQ(ec.shadowFilter[9].re, shadow[9].re) << c.name << ": no gradient without signals";
    const float mean = c.r * cosf(c.spreadDeg * deg);
    EXPECT_NEAR(ec.shadowRatio, c.adaptCount < 300 ? c.previous : mean, 1e-5f) << c.name;
  }
}

TEST_F(Canceller, ShadowComparisonSkipsZeroAndInsignificantBins) {
  EchoCanceller& ec = make(8000);
  // Half the bins of W are 0 (S/W is NaN there) and leave the average at
  // 0.5: the others, at 1.0, pass the test 1.0 > 0.5 x 0.5; S/W = 1.3 there.
  for (int32_t k = 0; k < K; k++) {
    const bool live = k % 2 == 0;
    ec.filter[k] = {live ? 1.0f : 0.0f, 0.0f};
    ec.filterMagnitude[k] = live ? 1.0f : 0.0f;
    ec.shadowFilter[k] = {1.3f, 0.0f};
  }
  ec.shadowRatio = 1.5f;
  ec.adaptCount = 300;
  ec.adaptShadow();
  EXPECT_NEAR(ec.shadowRatio, 1.3f, 1e-5f) << "128 ratios of 1.3 summed in float";
  EXPECT_FLOAT_EQ(ec.filter[1].re, 1.3f) << "the copy takes S whole, zero bins of W included";

  // No bin significant at all (W = 0 everywhere): nothing changes.
  EchoCanceller& flat = make(8000);
  for (int32_t k = 0; k < K; k++) flat.shadowFilter[k] = {1.3f, 0.0f};
  flat.shadowRatio = 1.5f;
  flat.adaptCount = 300;
  flat.adaptShadow();
  EXPECT_EQ(flat.shadowRatio, 1.5f);
  EXPECT_EQ(flat.filter[3].re, 0.0f);
}

TEST_F(Canceller, EchoPathFigureAndScaling) {
  EchoCanceller& ec = make(8000);  // lowBin 5
  for (int32_t k = 0; k < K; k++) {
    ec.filterMagnitude[k] = k < ec.lowBin ? 100.0f : 0.25f + (k % 2 == 0 ? 0.125f : -0.125f);
    ec.filter[k] = {0.5f, 0.0f};
    ec.echoMagnitude[k] = 0.75f;
  }
  // Mean over bins 5 .. 255 (251 bins: 125 at 0.375, 126 at 0.125) = 0.249502
  const struct {
    float scale;
    uint32_t figure;
  } cases[] = {{1000.0f, 250u}, {10000.0f, 2495u}, {0.0f, 0u}, {-1000.0f, 0u}};
  for (const auto& c : cases) EXPECT_EQ(ec.echoPathFigure(c.scale), c.figure) << c.scale;

  EXPECT_TRUE(ec.scaleEchoPath(4.0f));
  EXPECT_EQ(ec.echoPathFigure(1000.0f), 998u);
  EXPECT_EQ(ec.filterMagnitude[0], 400.0f);
  EXPECT_EQ(ec.filter[10].re, 0.5f) << "W is not touched";
  EXPECT_EQ(ec.echoMagnitude[10], 0.75f) << "H is not touched";
}

TEST_F(Canceller, OutputStartsOnceAWholeBlockIsFinished) {
  // 80-sample blocks: the first frame is taken when more than 256 samples
  // wait (the fifth call); it finishes 256 output samples.
  EchoCanceller& ec = make(8000);
  for (int call = 1; call <= 5; call++) {
    std::vector<int16_t> block(80, static_cast<int16_t>(100 * call));
    const std::vector<int16_t> captured = block;
    const int32_t done = ec.processBlock(block.data(), 80);
    if (call < 5) {
      EXPECT_EQ(done, 0) << "call " << call;
      EXPECT_EQ(block, captured) << "call " << call << ": an unprocessed block is left as captured";
    } else {
      EXPECT_EQ(done, 80) << "call " << call;
    }
    EXPECT_EQ(ec.referenceSamples, -80 * call) << "call " << call;
  }
  EXPECT_EQ(ec.micFramer->outputFill, 256 - 80);
}

TEST_F(Canceller, ConstantMicrophoneGivesTheComfortNoiseOnly) {
  // The running mean removes a constant from the first sample on; what is
  // left is digital silence, whose output is the comfort noise alone.
  for (int16_t level : {int16_t{0}, int16_t{1000}, int16_t{-32768}, int16_t{32767}}) {
    sim::seedRandom(1);
    EchoCanceller& ec = make(8000);
    std::vector<int16_t> first(80, level);
    ec.processBlock(first.data(), 80);
    EXPECT_EQ(ec.micMean, static_cast<float>(level));
    EXPECT_EQ(ec.micMeanCount, 80u);
    const float* pushed = ec.micFramer->newest();
    for (int i = 0; i < 80; i++) ASSERT_EQ(pushed[-i], 0.0f) << "constant " << level << ", sample " << 79 - i;

    const std::vector<int16_t> mic(8000, level);
    sim::seedRandom(1);
    EchoCanceller& fresh = make(8000);
    const signals::RunResult r = signals::run(fresh, mic, {}, 80);
    const std::vector<int16_t> residual = signals::withoutComfortNoise(r);
    size_t nonzero = 0;
    for (int16_t v : residual) nonzero += v != 0;
    EXPECT_EQ(nonzero, 0u) << "constant " << level;
    EXPECT_LT(r.lastUnchanged(), 4000u) << "constant " << level << ": only start-up blocks are left unchanged";
  }
}

TEST_F(Canceller, MicrophoneMeanCountStopsAtItsLimit) {
  EchoCanceller& ec = make(8000);
  ec.micMeanCount = EchoCanceller::kMeanCountLimit - 1;
  ec.micMean = 0.0f;
  std::vector<int16_t> block(2, 30000);
  ec.processBlock(block.data(), 2);
  EXPECT_EQ(ec.micMeanCount, EchoCanceller::kMeanCountLimit);
  // Both samples weighed against the full count: 30000 / 4294967294 and
  // then about twice that.
  EXPECT_NEAR(ec.micMean, 2.0 * 30000.0 / 4294967294.0, 1e-9);
}

}  // namespace
