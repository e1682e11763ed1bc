#include "dsp/block_framer.h"

#include <gtest/gtest.h>
#include <float.h>
#include <math.h>
#include <stdio.h>

#include <vector>

#include "dsp/fft_block.h"
#include "dsp/fft_workspace.h"
#include "pool_check.h"

namespace {

TEST(BlockFramer, CreateRefusesFramesItCannotCut) {
  struct Case {
    int32_t frameLength;
    int32_t capacity;
    bool built;
  };
  const Case cases[] = {
      {0, 1024, false},   {512, 0, false},  {-2, 1024, false}, {512, -1, false},
      {511, 1024, false},  // odd: the hop N/2 would not tile the frame
      {512, 511, false},   // capacity below N: frames would be read past the ring
      {512, 512, true},   {2, 2, true},     {512, 48000, true},
  };
  for (const Case& c : cases) {
    BlockFramer* framer = BlockFramer::create(c.frameLength, c.capacity);
    EXPECT_EQ(framer != nullptr, c.built) << "N " << c.frameLength << ", C " << c.capacity;
    if (framer != nullptr) {
      EXPECT_EQ(framer->frameLength, c.frameLength);
      EXPECT_EQ(framer->capacity, c.capacity);
      EXPECT_EQ(framer->ring->capacity, c.capacity);
      EXPECT_EQ(framer->outputFill, 0);
      for (int32_t i = 0; i < c.capacity; i++) ASSERT_EQ(framer->accumulator[i], 0.0f) << i;
    }
    BlockFramer::destroy(framer);
    EXPECT_EQ(framer, nullptr);
  }
}

TEST(BlockFramer, FirstFrameIsHalfZerosThenTheFirstHalfOfTheInput) {
  BlockFramer* framer = BlockFramer::create(8, 16);
  ASSERT_NE(framer, nullptr);
  EXPECT_EQ(framer->unread(), 0);
  EXPECT_EQ(framer->takeFrame(), nullptr) << "new framer";
  const int16_t src[] = {1, 2, 3, 4, 5, 6, 7, 8};
  framer->writeInt16(src, 3);
  EXPECT_EQ(framer->takeFrame(), nullptr) << "three of the four samples of a hop";
  framer->push(4.0f);
  const float* first = framer->takeFrame();
  ASSERT_NE(first, nullptr);
  const float expectedFirst[] = {0, 0, 0, 0, 1, 2, 3, 4};
  for (int i = 0; i < 8; i++) EXPECT_EQ(first[i], expectedFirst[i]) << "first frame, sample " << i;
  EXPECT_EQ(framer->takeFrame(), nullptr) << "no new hop yet";
  framer->writeInt16(src + 4, 4);
  const float* second = framer->takeFrame();
  ASSERT_NE(second, nullptr);
  for (int i = 0; i < 8; i++) EXPECT_EQ(second[i], static_cast<float>(i + 1)) << "second frame, sample " << i;
  BlockFramer::destroy(framer);
}

// Over many wraps of a ring whose capacity is no multiple of the hop, frame k
// is x[(k - 1) h .. (k + 1) h), with x zero before the start.
TEST(BlockFramer, FramesFollowTheStreamAcrossWraps) {
  struct Case {
    int32_t frameLength;
    int32_t capacity;
    int32_t writeRun;
  };
  const Case cases[] = {{8, 10, 3}, {8, 8, 4}, {8, 13, 5}, {512, 1024, 480}, {512, 48000, 4800}};
  for (const Case& c : cases) {
    BlockFramer* framer = BlockFramer::create(c.frameLength, c.capacity);
    ASSERT_NE(framer, nullptr);
    const int32_t h = c.frameLength / 2;
    auto x = [](int64_t n) { return n < 0 ? 0.0f : static_cast<float>(n % 20011 - 10000); };
    int64_t written = 0;
    int64_t frames = 0;
    for (int call = 0; call < 200; call++) {
      std::vector<int16_t> run(c.writeRun);
      for (int32_t i = 0; i < c.writeRun; i++) run[i] = static_cast<int16_t>(x(written + i));
      framer->writeInt16(run.data(), c.writeRun);
      written += c.writeRun;
      while (const float* frame = framer->takeFrame()) {
        for (int32_t i = 0; i < c.frameLength; i++) {
          ASSERT_EQ(frame[i], x((frames - 1) * h + i))
              << "N " << c.frameLength << ", C " << c.capacity << ", frame " << frames << ", sample " << i;
        }
        frames++;
      }
      ASSERT_EQ(frames, written / h) << "every whole hop is framed";
    }
    BlockFramer::destroy(framer);
  }
}

// A script of overlapAdd and consume on N = 4 (hop 2), C = 8, with the fill
// and the accumulator's finished samples and pending tail after each step.
TEST(BlockFramer, OverlapAddAndConsumeKeepFinishedSamplesAndTail) {
  struct Step {
    const char* what;
    bool add;  // overlapAdd(frame) when true, else consume(n)
    std::vector<float> frame;
    int32_t n;
    int32_t fill;
    std::vector<float> accumulator;  // [0, fill + hop)
  };
  const Step steps[] = {
      {"first frame", true, {1, 2, 3, 4}, 0, 2, {1, 2, 3, 4}},
      {"second frame adds onto the tail", true, {10, 20, 30, 40}, 0, 4, {1, 2, 13, 24, 30, 40}},
      {"third frame fills the accumulator", true, {100, 200, 300, 400}, 0, 6, {1, 2, 13, 24, 130, 240, 300, 400}},
      {"a frame that does not fit changes nothing", true, {7, 7, 7, 7}, 0, 6, {1, 2, 13, 24, 130, 240, 300, 400}},
      {"consume of more than fill changes nothing", false, {}, 7, 6, {1, 2, 13, 24, 130, 240, 300, 400}},
      {"consume of none changes nothing", false, {}, 0, 6, {1, 2, 13, 24, 130, 240, 300, 400}},
      {"a negative consume changes nothing", false, {}, -3, 6, {1, 2, 13, 24, 130, 240, 300, 400}},
      {"consume moves the rest and the tail down", false, {}, 1, 5, {2, 13, 24, 130, 240, 300, 400}},
      {"with fill 5 a frame still does not fit", true, {7, 7, 7, 7}, 0, 5, {2, 13, 24, 130, 240, 300, 400}},
      {"consume once more", false, {}, 1, 4, {13, 24, 130, 240, 300, 400}},
      {"now a frame fits again", true, {1, 1, 1, 1}, 0, 6, {13, 24, 130, 240, 301, 401, 1, 1}},
      {"consume of outputFill leaves only the tail", false, {}, 6, 0, {1, 1}},
      {"the next frame adds onto that tail", true, {5, 5, 5, 5}, 0, 2, {6, 6, 5, 5}},
  };
  BlockFramer* framer = BlockFramer::create(4, 8);
  ASSERT_NE(framer, nullptr);
  for (const Step& s : steps) {
    if (s.add) {
      framer->overlapAdd(s.frame.data());
    } else {
      framer->consume(s.n);
    }
    ASSERT_EQ(framer->outputFill, s.fill) << s.what;
    for (size_t i = 0; i < s.accumulator.size(); i++) {
      EXPECT_EQ(framer->accumulator[i], s.accumulator[i]) << s.what << ", accumulator[" << i << "]";
    }
    EXPECT_EQ(framer->output(s.fill), framer->accumulator) << s.what;
    EXPECT_EQ(framer->output(s.fill + 1), nullptr) << s.what << ": one more than is finished";
  }
  BlockFramer::destroy(framer);
}

// takeFrame, forward, inverse, overlapAdd with no change to the spectrum (or a
// change to polar form and back) returns the input delayed by N/2 = 256,
// scaled by the overlapped window w[j] + w[j + 256]. The symmetric Hann window
// has period N - 1 = 511, so that sum is
//   g(j) = 1 + sin(pi / 1022) cos(2 pi j / 511 + pi 256 / 511),  j = 0 .. 255,
// whose cosine never leaves [-1, 0]: the gain dips from 1 to 1 - 0.31 %
// (-0.027 dB) at mid-hop and never exceeds 1.
TEST(BlockFramer, IdentityChainDelaysByHalfAFrameWithTheWindowRipple) {
  constexpr int32_t kN = 512;
  constexpr int32_t kHop = kN / 2;
  constexpr int32_t kSamples = 40 * kHop;
  const double pi = 3.14159265358979323846;
  const double rippleBound = sin(pi / (kN * 2 - 2));
  // Three pass-band tones at fractional bins, peak below 24000 on the 16-bit scale.
  std::vector<float> x(kSamples);
  for (int32_t n = 0; n < kSamples; n++) {
    x[n] = static_cast<float>(
        8000 * sin(2 * pi * 10.3 * n / kN) + 8000 * sin(2 * pi * 37.7 * n / kN + 1) + 7000 * cos(2 * pi * 101.2 * n / kN));
  }
  float peak = 0;
  for (float v : x) peak = fmaxf(peak, fabsf(v));
  // A transform of 2^9 points with 1/sqrt(N) scaling loses about log2 N float
  // roundings of the signal's size per direction; allow 4 x eps x log2 N x
  // peak for the round trip, the window products and the overlap-add.
  const double tolerance = 4 * FLT_EPSILON * 9 * peak;

  for (bool polar : {false, true}) {
    FftBlock* block = FftBlock::create(kN, kN, 16000, FftBlock::kHann);
    FftWorkspace* ws = FftWorkspace::create(block);
    BlockFramer* framer = BlockFramer::create(kN, 4096);
    ASSERT_NE(block, nullptr);
    ASSERT_NE(ws, nullptr);
    ASSERT_NE(framer, nullptr);
    std::vector<float> y;
    for (int32_t start = 0; start < kSamples; start += kHop) {
      for (int32_t i = 0; i < kHop; i++) framer->push(x[start + i]);
      while (const float* frame = framer->takeFrame()) {
        block->forward(frame, ws);
        if (polar) {
          block->toPolar(ws);
          block->fromPolar(ws);
        }
        framer->overlapAdd(block->inverse(ws));
      }
      const float* out = framer->output(kHop);
      ASSERT_NE(out, nullptr);
      y.insert(y.end(), out, out + kHop);
      framer->consume(kHop);
    }
    // y[n] is x[n - 256]; the first frame's first half has no predecessor, so
    // the comparison starts after one full overlap.
    double worstResidual = 0, lowGain = 2, highGain = 0;
    for (int32_t n = kN; n < kSamples; n++) {
      const int32_t j = n % kHop;
      const double g = static_cast<double>(block->window[j]) + block->window[j + kHop];
      worstResidual = fmax(worstResidual, fabs(y[n] - g * x[n - kHop]));
      lowGain = fmin(lowGain, g);
      highGain = fmax(highGain, g);
      // Where the input is large the gain itself shows.
      if (fabs(x[n - kHop]) > 4000) {
        const double gain = y[n] / x[n - kHop];
        EXPECT_GE(gain, 1 - rippleBound - tolerance / 4000) << (polar ? "polar" : "spectrum") << ", n " << n;
        EXPECT_LE(gain, 1 + tolerance / 4000) << (polar ? "polar" : "spectrum") << ", n " << n;
      }
    }
    EXPECT_LT(worstResidual, tolerance) << (polar ? "polar" : "spectrum") << ": y[n] - g x[n - 256]";
    EXPECT_NEAR(lowGain, 1 - rippleBound, 1e-5) << "the dip at mid-hop";
    EXPECT_LE(highGain, 1.0);
    EXPECT_GT(highGain, 1 - 1e-5) << "the top at the hop's edges";
    // A delay of one sample more or less does not fit.
    double offByOne = 0;
    for (int32_t n = kN; n < kSamples; n++) offByOne = fmax(offByOne, fabs(y[n] - x[n - kHop - 1]));
    EXPECT_GT(offByOne, 100 * tolerance);
    printf("identity chain (%s): gain %.6f .. %.6f, worst residual %.4g (tolerance %.4g)\n",
           polar ? "polar" : "spectrum", lowGain, highGain, worstResidual, tolerance);
    BlockFramer::destroy(framer);
    FftWorkspace::destroy(ws);
    FftBlock::destroy(block);
  }
}

TEST(BlockFramer, CreationUnderRefusedAllocationsReleasesAll) {
  const int64_t steps = dsp_test::expectEveryRefusalReleasesAll<BlockFramer>(
      "BlockFramer(512, 1024)", [] { return BlockFramer::create(512, 1024); },
      [](BlockFramer*& f) { BlockFramer::destroy(f); });
  EXPECT_EQ(steps, 4) << "framer, ring, ring samples, accumulator";
}

TEST(BlockFramer, SteadyFramingDoesNotAllocate) {
  BlockFramer* framer = BlockFramer::create(512, 4096);
  ASSERT_NE(framer, nullptr);
  std::vector<int16_t> src(480);
  for (int32_t i = 0; i < 480; i++) src[i] = static_cast<int16_t>(i * 37);
  std::vector<float> processed(512, 0.25f);
  const int64_t before = dsp_test::totalAllocations();
  int64_t finished = 0;
  for (int call = 0; call < 20000; call++) {
    framer->writeInt16(src.data(), 480);
    framer->push(1.0f);
    while (framer->takeFrame() != nullptr) framer->overlapAdd(processed.data());
    if (framer->output(481) != nullptr) {
      framer->consume(481);
      finished += 481;
    }
  }
  EXPECT_EQ(dsp_test::totalAllocations(), before);
  EXPECT_GT(finished, 0);
  BlockFramer::destroy(framer);
}

}  // namespace
