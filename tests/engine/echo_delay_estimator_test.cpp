// Delay estimation and stream alignment: the realignment by the streams'
// movement, the sweep in chunks and its choice rule, the sweep completing at
// every rate, and the clamping of the reference frame.
#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "canceller_fixture.h"

namespace {

class DelayEstimator : public CancellerTest {};

constexpr int32_t W8000 = 2400;  // lags at 8000 Hz

// The correlation before the run: distinct, non-zero, so a shift shows.
float initial(int32_t lag) { return static_cast<float>(lag + 1); }

TEST_F(DelayEstimator, RealignmentFollowsTheStreamsMovement) {
  // A run with empty histories: each lag of the chunk 0 .. 799 gets a sum
  // of 0, so its value is 0.8 x its realigned value; lags 800 .. 2399 show
  // the realignment itself. shifted: C[i] = old C[i - shift], 0 outside.
  const struct {
    const char* name;
    int32_t d, delay, holdBack, adaptCount;
    int32_t newDelay, newHoldBack, newAdaptCount;
    bool cleared;
    int32_t shift;
  } cases[] = {
      {"no movement", 0, 100, 0, 250, 100, 0, 250, false, 0},
      {"reference ahead by 40", 40, 100, 0, 250, 140, 0, 250, false, 40},
      {"reference ahead, up to the last lag", 2299, 100, 0, 250, 2399, 0, 250, false, 2299},
      {"microphone ahead by 40", -40, 100, 0, 250, 60, 0, 250, false, -40},
      {"microphone ahead down to lag 0", -100, 100, 0, 250, 0, 0, 250, false, -100},
      {"reference behind by 300", -300, 100, 0, 250, 100, 300, 200, true, 0},
      {"reference behind by 150: twice the shortfall", -150, 100, 0, 250, 100, 100, 200, true, 0},
      {"reference behind, hold-back capped at W/2", -300, 100, 1000, 250, 100, 1200, 200, true, 0},
      {"restart keeps a low adaptCount", -300, 100, 0, 150, 100, 300, 150, true, 0},
      {"delay beyond the range: W - T", 2300, 100, 500, 250, 100, 0, 200, true, 0},
      {"delay beyond the range: more", 5000, 0, 500, 250, 0, 0, 200, true, 0},
      {"reference ahead by the most there is", INT32_MAX, 100, 500, 250, 100, 0, 200, true, 0},
      {"reference behind by the most there is", INT32_MIN, 100, 500, 250, 100, 1200, 200, true, 0},
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(8000);
    ASSERT_EQ(ec.powerWindow, W8000);
    for (int32_t lag = 0; lag < W8000; lag++) ec.correlation[lag] = initial(lag);
    ec.referenceSamples = c.d;
    ec.delay = c.delay;
    ec.holdBack = c.holdBack;
    ec.adaptCount = c.adaptCount;
    ec.estimateDelay(ec.estimateInterval);

    EXPECT_EQ(ec.delay, c.newDelay) << c.name;
    EXPECT_EQ(ec.holdBack, c.newHoldBack) << c.name;
    EXPECT_EQ(ec.adaptCount, c.newAdaptCount) << c.name;
    EXPECT_EQ(ec.referenceSamples, 0) << c.name;
    EXPECT_EQ(ec.nextLag, 800) << c.name;
    int32_t wrong = 0;
    for (int32_t lag = 0; lag < W8000; lag++) {
      const int32_t from = lag - c.shift;
      float expected = c.cleared || from < 0 || from >= W8000 ? 0.0f : initial(from);
      if (lag < 800) expected *= 0.8f;
      if (ec.correlation[lag] != expected) wrong++;
    }
    EXPECT_EQ(wrong, 0) << c.name << ": correlation entries not where the realignment puts them";
  }
}

// The last chunk of a sweep (lags 1600 .. 2399 at 8000 Hz) over empty
// histories: every lag there becomes 0.8 x its value, and the choice rule
// runs on the result.
TEST_F(DelayEstimator, SweepChoosesAClearlyStrongerLagOnly) {
  const struct {
    const char* name;
    int32_t delay;
    float atDelay;
    int32_t lagA;
    float a;
    int32_t lagB;
    float b;
    int32_t newDelay;
  } cases[] = {
      {"peak 1.5 times the current value", 100, 1000.0f, 2000, 1500.0f / 0.8f, 0, 0.0f, 100},
      {"peak 2.5 times the current value", 100, 1000.0f, 2000, 2500.0f / 0.8f, 0, 0.0f, 2000},
      {"negative peak counts by magnitude", 100, 1000.0f, 2000, -2500.0f / 0.8f, 0, 0.0f, 2000},
      {"a tie takes the lower lag", 0, 0.0f, 2100, 1e6f, 1700, -1e6f, 1700},
      {"the current lag is the strongest", 1800, 4000.0f, 2000, 1000.0f, 0, 0.0f, 1800},
      {"an earlier chunk's lag can win", 2300, 10.0f, 300, 5000.0f, 0, 0.0f, 300},
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(8000);
    ec.nextLag = 1600;
    ec.delay = c.delay;
    ec.correlation[c.delay] = c.atDelay;
    ec.correlation[c.lagA] = c.a;
    ec.correlation[c.lagB] += c.b;
    ec.estimateDelay(ec.estimateInterval);
    EXPECT_EQ(ec.nextLag, W8000) << c.name;
    EXPECT_EQ(ec.delay, c.newDelay) << c.name;
  }

  // A chunk that does not end the sweep never chooses, however strong.
  EchoCanceller& ec = make(8000);
  ec.nextLag = 800;
  ec.correlation[1000] = 1e9f;
  ec.estimateDelay(ec.estimateInterval);
  EXPECT_EQ(ec.nextLag, 1600);
  EXPECT_EQ(ec.delay, 0);
}

// Reference noise in the history and the same noise `lag` samples later at
// the microphone: the sweep finds the lag in the runs a sweep takes, at
// every rate. At 11025 Hz the 3307 lags are not a whole number of 1102-lag
// chunks; the last chunk ends at W (a single lag) and the sweep completes.
TEST_F(DelayEstimator, SweepCompletesAndFindsTheLagAtEveryRate) {
  const struct {
    int32_t rate;
    int32_t runs;                  // estimator runs in one sweep
    std::vector<int32_t> chunkEnds;  // nextLag after each run
  } cases[] = {
      {8000, 3, {800, 1600, 2400}},
      {11025, 4, {1102, 2204, 3306, 3307}},
      {16000, 3, {1600, 3200, 4800}},
      {22050, 3, {2205, 4410, 6615}},
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(c.rate);
    freezeReferenceMean(ec);
    const int32_t lag = c.rate / 10 + 7;
    std::mt19937 generator(static_cast<uint32_t>(c.rate));
    std::uniform_int_distribution<int> noise(-8000, 8000);
    std::vector<int16_t> far(static_cast<size_t>(c.rate));
    for (int16_t& v : far) v = static_cast<int16_t>(noise(generator));
    for (size_t t = 0; t < far.size(); t++) {
      ec.addReferenceSample(far[t]);
      ec.micFramer->push(t >= static_cast<size_t>(lag) ? far[t - static_cast<size_t>(lag)] : 0.0f);
    }
    ec.referenceSamples = 0;
    for (int32_t run = 0; run < c.runs; run++) {
      EXPECT_EQ(ec.delay, 0) << c.rate << " Hz, before run " << run + 1;
      ec.estimateDelay(ec.estimateInterval);
      EXPECT_EQ(ec.nextLag, c.chunkEnds[static_cast<size_t>(run)]) << c.rate << " Hz, run " << run + 1;
    }
    EXPECT_EQ(ec.delay, lag) << c.rate << " Hz: the completed sweep chooses the lag";
    ec.estimateDelay(ec.estimateInterval);
    EXPECT_EQ(ec.nextLag, c.chunkEnds[0]) << c.rate << " Hz: the next sweep starts again at lag 0";
  }
}

TEST_F(DelayEstimator, HoldBackShiftsTheMicrophoneWindow) {
  // The microphone window ends holdBack samples before the newest one, so
  // it meets the reference holdBack samples further back: the echo of a
  // reference `lag` back is found at lag + holdBack.
  EchoCanceller& ec = make(8000);
  freezeReferenceMean(ec);
  std::mt19937 generator(9u);
  std::uniform_int_distribution<int> noise(-8000, 8000);
  const int32_t lag = 600;
  const int32_t holdBack = 300;
  std::vector<int16_t> far(8000);
  for (int16_t& v : far) v = static_cast<int16_t>(noise(generator));
  for (size_t t = 0; t < far.size(); t++) {
    ec.addReferenceSample(far[t]);
    ec.micFramer->push(t >= static_cast<size_t>(lag) ? far[t - static_cast<size_t>(lag)] : 0.0f);
  }
  ec.referenceSamples = 0;
  ec.holdBack = holdBack;
  for (int run = 0; run < 3; run++) ec.estimateDelay(ec.estimateInterval);
  EXPECT_EQ(ec.delay, lag + holdBack);
}

TEST_F(DelayEstimator, ReferenceFrameIsAlignedAndClamped) {
  // a = max(pending, pending + referenceSamples + delay), kept between the
  // newest 512 samples (a = -1) and the oldest the ring holds
  // (capacity - 513 = 9887 at 8000 Hz); the frame ends a + 1 samples before
  // the newest reference sample.
  const struct {
    const char* name;
    int32_t unread, holdBack, referenceSamples, delay;
    int32_t a;
  } cases[] = {
      {"behind the delay: the larger of 100 and 80", 100, 0, -20, 0, 100},
      {"the delay adds", 100, 0, 0, 300, 400},
      {"reference ahead", 100, 0, 50, 300, 450},
      {"hold-back counts as not arrived", 400, 300, 0, 0, 100},
      {"beyond the history: the oldest samples", 100, 0, 0, 20000, 9887},
      {"before the newest sample: the newest 512", 10, 600, 0, 0, -1},
  };
  for (const auto& c : cases) {
    for (int32_t writeIndex : {0, 5000, 10399}) {
      EchoCanceller& ec = make(8000);
      SampleRing* ring = ec.micFramer->ring;
      ring->writeIndex = c.unread;
      ring->readIndex = 0;
      ec.referenceHistory->writeIndex = writeIndex;
      ec.holdBack = c.holdBack;
      ec.referenceSamples = c.referenceSamples;
      ec.delay = c.delay;
      const float* frame = ec.referenceFrame();
      const float* newest = ec.referenceHistory->newest();
      EXPECT_EQ(newest - frame - 512, c.a) << c.name;
      const float* storage = ec.referenceHistory->samples;
      EXPECT_GE(frame, storage) << c.name << ", writeIndex " << writeIndex;
      EXPECT_LE(frame + 512, storage + 2 * ec.referenceHistory->capacity)
          << c.name << ", writeIndex " << writeIndex << ": the frame leaves the history's storage";
    }
  }
}

TEST_F(DelayEstimator, EstimatorRunsEveryIntervalWhileTheReferenceIsActive) {
  // 80-sample blocks at 8000 Hz: the count passes 1600 on the 21st block,
  // then every 20 blocks; with a quiet reference nothing runs.
  for (bool active : {true, false}) {
    EchoCanceller& ec = make(8000);
    std::vector<int16_t> block(80, 0);
    std::vector<int32_t> runsAt;
    for (int call = 1; call <= 61; call++) {
      ec.referencePower = active ? 20000.0f : 10000.0f;
      const int32_t before = ec.nextLag;
      ec.processBlock(block.data(), 80);
      if (ec.nextLag != before) runsAt.push_back(call);
    }
    EXPECT_EQ(runsAt, active ? std::vector<int32_t>({21, 41, 61}) : std::vector<int32_t>()) << active;
    EXPECT_EQ(ec.sinceEstimate, 80) << active;
  }
}

}  // namespace
