// The canceller's reference input: the running DC mean with its count
// limit, the 16-bit wrap of the DC-free value, the history and the
// incremental power over the last W samples.
#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "canceller_fixture.h"

namespace {

class ReferenceInput : public CancellerTest {};

TEST_F(ReferenceInput, ConstantReferenceIsRemovedFromTheFirstSample) {
  EchoCanceller& ec = make(8000);
  for (int i = 0; i < 3000; i++) ec.addReferenceSample(1000);
  EXPECT_EQ(ec.referenceMean, 1000.0f);
  EXPECT_EQ(ec.referenceMeanCount, 3000u);
  EXPECT_EQ(ec.referencePower, 0.0f);
  EXPECT_EQ(ec.referenceSamples, 3000);
  const float* newest = ec.referenceHistory->newest();
  for (int i = 0; i < 3000; i++) ASSERT_EQ(newest[-i], 0.0f) << "sample " << 2999 - i;
}

TEST_F(ReferenceInput, DcFreeReferenceWrapsToSixteenBits) {
  // The mean is held where it rounds to the value given (a count at the
  // limit moves it by s / 4294967295 only).
  const struct {
    float mean;
    int16_t s;
    int16_t x;
  } cases[] = {
      {-1.2f, 32767, -32768},  // 32768 wraps
      {1.4f, -32768, 32767},   // -32769 wraps
      {-0.5f, 100, 100},       // -0.5 rounds to even: 0
      {1.5f, 100, 98},         // 1.5 rounds to even: 2
      {2.5f, -100, -102},      // 2.5 rounds to even: 2
      {-3.0f, 32764, 32767},
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(8000);
    ec.referenceMean = c.mean;
    ec.referenceMeanCount = EchoCanceller::kMeanCountLimit;
    ec.addReferenceSample(c.s);
    EXPECT_EQ(*ec.referenceHistory->newest(), static_cast<float>(c.x)) << "s " << c.s << ", mean " << c.mean;
    EXPECT_EQ(ec.referenceMeanCount, EchoCanceller::kMeanCountLimit) << "the count stays at its limit";
  }
}

TEST_F(ReferenceInput, ReferenceMeanCountStopsAtItsLimit) {
  EchoCanceller& ec = make(8000);
  ec.referenceMeanCount = EchoCanceller::kMeanCountLimit - 1;
  ec.addReferenceSample(20000);
  EXPECT_EQ(ec.referenceMeanCount, EchoCanceller::kMeanCountLimit);
  ec.addReferenceSample(20000);
  EXPECT_EQ(ec.referenceMeanCount, EchoCanceller::kMeanCountLimit);
  // 20000 / 4294967294, then (20000 + n mean) / (n + 1): about twice that.
  EXPECT_NEAR(ec.referenceMean, 2.0 * 20000.0 / 4294967295.0, 1e-9);
}

TEST_F(ReferenceInput, ReferencePowerIsTheMeanSquareOfTheLastWindow) {
  // +-a alternating with the mean held at 0, so every DC-free value is +-a:
  // after k samples the power is a^2 min(k, W) / W, and it returns to 0
  // once W zeros have followed. Each step adds or removes a^2 / W in float:
  // after 2W steps the error stays below 2W x 2^-23 x a^2 ~ 6e-4 a^2.
  constexpr int32_t W = 2400;
  constexpr float a = 3000.0f;
  const struct {
    int32_t loud, quiet;  // samples of +-a, then of 0
    float power;
  } cases[] = {
      {W / 4, 0, a * a / 4}, {W / 2, 0, a * a / 2}, {W, 0, a * a}, {3 * W, 0, a * a},
      {W, W / 2, a * a / 2}, {W, W, 0.0f},           {W, 3 * W, 0.0f},
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(8000);
    ASSERT_EQ(ec.powerWindow, W);
    freezeReferenceMean(ec);
    for (int32_t i = 0; i < c.loud; i++) ec.addReferenceSample(static_cast<int16_t>(i % 2 == 0 ? a : -a));
    for (int32_t i = 0; i < c.quiet; i++) ec.addReferenceSample(0);
    EXPECT_NEAR(ec.referencePower, c.power, 6e-4 * a * a) << c.loud << " loud, " << c.quiet << " quiet";
    EXPECT_EQ(ec.referenceSamples, c.loud + c.quiet);
  }
}

TEST_F(ReferenceInput, ReferenceAndMicrophoneCountsMeetInReferenceSamples) {
  EchoCanceller& ec = make(8000);
  std::vector<int16_t> block(80, 0);
  const struct {
    int32_t references, microphone, total;
  } steps[] = {{80, 80, 0}, {100, 80, 20}, {0, 80, -60}, {200, 0, 140}};
  for (const auto& s : steps) {
    for (int32_t i = 0; i < s.references; i++) ec.addReferenceSample(0);
    if (s.microphone > 0) ec.processBlock(block.data(), s.microphone);
    EXPECT_EQ(ec.referenceSamples, s.total);
  }
}

TEST_F(ReferenceInput, StreamCountIsHeldAtItsRange) {
  // A reference paused for days while the microphone runs (or the reverse)
  // holds referenceSamples at the int32 limits instead of overflowing; the
  // reference frame is then the oldest or the newest the history holds.
  const struct {
    int32_t before;
    int32_t references, microphone;
    int32_t after;
    int32_t a;  // the reference frame ends a + 1 before the newest sample
  } cases[] = {
      {INT32_MIN + 10, 0, 80, INT32_MIN, 0},  // nothing pending: a = max(0, 0 + D + 0)
      {INT32_MAX - 1, 5, 0, INT32_MAX, 9887},  // capacity 10400 - 513
  };
  for (const auto& c : cases) {
    EchoCanceller& ec = make(8000);
    ec.referenceSamples = c.before;
    for (int32_t i = 0; i < c.references; i++) ec.addReferenceSample(0);
    std::vector<int16_t> block(static_cast<size_t>(c.microphone), 0);
    if (c.microphone > 0) ec.processBlock(block.data(), c.microphone);
    EXPECT_EQ(ec.referenceSamples, c.after) << c.before;
    ec.micFramer->ring->readIndex = ec.micFramer->ring->writeIndex;  // nothing pending
    const float* frame = ec.referenceFrame();
    EXPECT_EQ(ec.referenceHistory->newest() - frame - 512, c.a) << c.before;
  }
}

TEST_F(ReferenceInput, ReferenceInputNeverAllocates) {
  EchoCanceller& ec = make(22050);
  const int64_t before = sim::poolCounters().totalAllocations;
  for (int32_t i = 0; i < 3 * ec.referenceHistory->capacity; i++) {
    ec.addReferenceSample(static_cast<int16_t>((i * 7919) % 20000 - 10000));
  }
  EXPECT_EQ(sim::poolCounters().totalAllocations, before);
}

}  // namespace
