#include "dsp/fft_block.h"

#include <gtest/gtest.h>
#include <float.h>
#include <math.h>

#include <vector>

#include "dsp/fft_workspace.h"
#include "pool_check.h"
#include "sim/kernel/sim_kernel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A fixed pseudo-random signal on the 16-bit scale.
std::vector<float> noise(int32_t n, uint32_t seed) {
  std::vector<float> v(n);
  for (int32_t i = 0; i < n; i++) {
    seed = seed * 1664525u + 1013904223u;
    v[i] = static_cast<float>(static_cast<int32_t>(seed >> 16) - 32768);
  }
  return v;
}

TEST(FftBlock, CreateRoundsTheFrameToAPowerOfTwoAndRefusesWhatCannotWork) {
  struct Case {
    int32_t frameLength;
    int32_t windowLength;
    int32_t sampleRate;
    bool built;
    int32_t order;
    int32_t length;
    float binWidth;
  };
  const Case cases[] = {
      {512, 512, 48000, true, 9, 512, 93.75f},
      {600, 512, 16000, true, 9, 512, 31.25f},  // 600 rounds down to 512
      {1023, 300, 8000, true, 9, 512, 15.625f},
      {1024, 1024, 44100, true, 10, 1024, 44100.0f / 1024},
      {8, 8, 8000, true, 3, 8, 1000.0f},
      {2, 2, 8000, true, 1, 2, 4000.0f},
      {512, 0, 8000, true, 9, 512, 15.625f},  // an all-zero window, as asked
      {600, 513, 16000, false, 0, 0, 0},      // L above the transform length 512
      {512, 513, 16000, false, 0, 0, 0},
      {512, -1, 16000, false, 0, 0, 0},
      {0, 0, 16000, false, 0, 0, 0},
      {-512, 512, 16000, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const int64_t before = dsp_test::liveBlocks();
    FftBlock* block = FftBlock::create(c.frameLength, c.windowLength, c.sampleRate, FftBlock::kHann);
    ASSERT_EQ(block != nullptr, c.built) << "N " << c.frameLength << ", L " << c.windowLength;
    if (block != nullptr) {
      EXPECT_EQ(block->fft->order, c.order) << "N " << c.frameLength;
      EXPECT_EQ(block->length, c.length) << "N " << c.frameLength;
      EXPECT_EQ(block->half, c.length / 2) << "N " << c.frameLength;
      EXPECT_EQ(block->windowLength, c.windowLength);
      EXPECT_EQ(block->sampleRate, c.sampleRate);
      EXPECT_EQ(block->binWidth, c.binWidth) << "N " << c.frameLength;
    }
    FftBlock::destroy(block);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(dsp_test::liveBlocks(), before) << "N " << c.frameLength << ", L " << c.windowLength;
  }
}

TEST(FftBlock, WindowsAreRectangularOrHannOverTheirLeadingValues) {
  struct Case {
    const char* name;
    int32_t windowLength;
    int32_t windowed;
    bool hann;
  };
  const Case cases[] = {
      {"rectangular, 300 ones", 300, FftBlock::kRectangular, false},
      {"rectangular over the whole frame", 512, FftBlock::kRectangular, false},
      {"windowed 2 is not Hann", 200, 2, false},
      {"Hann over the whole frame", 512, FftBlock::kHann, true},
      {"Hann over 300 values", 300, FftBlock::kHann, true},
  };
  for (const Case& c : cases) {
    FftBlock* block = FftBlock::create(512, c.windowLength, 16000, c.windowed);
    ASSERT_NE(block, nullptr) << c.name;
    const int32_t l = c.windowLength;
    for (int32_t n = 0; n < 512; n++) {
      double expected = 0;
      if (n < l) expected = c.hann ? 0.5 * (1 - cos(2 * kPi * n / (l - 1))) : 1.0;
      // The primitive's cosine recurrence drifts by a few float steps.
      ASSERT_NEAR(block->window[n], expected, 8 * FLT_EPSILON) << c.name << ", n " << n;
    }
    if (c.hann) {
      EXPECT_EQ(block->window[0], 0.0f) << c.name;
      EXPECT_NEAR(block->window[l - 1], 0.0f, 8 * FLT_EPSILON) << c.name;
      for (int32_t n = 0; n < l; n++) ASSERT_NEAR(block->window[n], block->window[l - 1 - n], 4 * FLT_EPSILON) << c.name;
    }
    FftBlock::destroy(block);
  }
}

// forward = packed spectrum of in x window, against a direct DFT in double:
// X[k] = 1/sqrt(N) sum_n in[n] w[n] e^(-2 pi i k n / N). The float transform
// errs by about eps x log2 N x the signal's root-mean-square per bin; allow 4x.
TEST(FftBlock, ForwardMatchesADirectTransformOfTheWindowedFrame) {
  for (int32_t windowed : {FftBlock::kRectangular, FftBlock::kHann}) {
    FftBlock* block = FftBlock::create(512, 512, 16000, windowed);
    FftWorkspace* ws = FftWorkspace::create(block);
    ASSERT_NE(ws, nullptr);
    const std::vector<float> in = noise(512, 7);
    double energy = 0;
    for (float v : in) energy += static_cast<double>(v) * v;
    const double tolerance = 4 * FLT_EPSILON * 9 * sqrt(energy / 512);
    const float* spectrum = block->forward(in.data(), ws);
    EXPECT_EQ(spectrum, ws->spectrum);
    for (int32_t n = 0; n < 512; n++) ASSERT_EQ(ws->time[n], in[n] * block->window[n]) << "windowed frame, n " << n;
    for (int32_t k = 0; k <= 256; k++) {
      double re = 0, im = 0;
      for (int32_t n = 0; n < 512; n++) {
        const double xw = static_cast<double>(in[n]) * block->window[n];
        re += xw * cos(2 * kPi * k * n / 512);
        im -= xw * sin(2 * kPi * k * n / 512);
      }
      re /= sqrt(512.0);
      im /= sqrt(512.0);
      EXPECT_NEAR(spectrum[2 * k], re, tolerance) << "windowed " << windowed << ", Re X" << k;
      EXPECT_NEAR(spectrum[2 * k + 1], (k == 0 || k == 256) ? 0.0 : im, tolerance)
          << "windowed " << windowed << ", Im X" << k;
    }
    FftWorkspace::destroy(ws);
    FftBlock::destroy(block);
  }
}

TEST(FftBlock, PolarFormCoversTheBinsBelowNyquistOnly) {
  FftBlock* block = FftBlock::create(512, 512, 16000, FftBlock::kHann);
  FftWorkspace* ws = FftWorkspace::create(block);
  ASSERT_NE(ws, nullptr);
  const std::vector<float> in = noise(512, 11);
  block->forward(in.data(), ws);
  const std::vector<float> original(ws->spectrum, ws->spectrum + 514);
  ws->magnitude[256] = -5.0f;  // the Nyquist bin is not converted
  EXPECT_EQ(block->toPolar(ws), ws->magnitude);
  for (int32_t k = 0; k < 256; k++) {
    const double re = original[2 * k], im = original[2 * k + 1];
    EXPECT_NEAR(ws->magnitude[k], hypot(re, im), 2 * FLT_EPSILON * hypot(re, im)) << "bin " << k;
    if (hypot(re, im) > 1) {
      EXPECT_NEAR(ws->phase[k], atan2(im, re), 1e-5) << "bin " << k;
    }
  }
  EXPECT_EQ(ws->magnitude[256], -5.0f);
  // Back to (re, im): the bins return up to the rounding of cos and sin; the
  // Nyquist bin keeps what it held.
  ws->spectrum[512] = 123.0f;
  ws->spectrum[513] = 0.0f;
  EXPECT_EQ(block->fromPolar(ws), ws->spectrum);
  for (int32_t i = 0; i < 512; i++) {
    const double size = hypot(original[i & ~1], original[i | 1]);
    EXPECT_NEAR(ws->spectrum[i], original[i], 4 * FLT_EPSILON * size + 1e-6) << "packed position " << i;
  }
  EXPECT_EQ(ws->spectrum[512], 123.0f);
  FftWorkspace::destroy(ws);
  FftBlock::destroy(block);
}

// inverse drops the Nyquist bin even when nothing touched the spectrum: a
// spectrum of the Nyquist bin alone comes back as silence, and the rest
// matches a direct synthesis x[n] = 1/sqrt(N) sum over the Hermitian spectrum.
TEST(FftBlock, InverseClearsNyquistAndMatchesADirectSynthesis) {
  FftBlock* block = FftBlock::create(512, 512, 16000, FftBlock::kHann);
  FftWorkspace* ws = FftWorkspace::create(block);
  ASSERT_NE(ws, nullptr);
  for (int32_t i = 0; i < 514; i++) ws->spectrum[i] = 0;
  ws->spectrum[512] = 1000.0f;
  EXPECT_EQ(block->inverse(ws), ws->time);
  for (int32_t n = 0; n < 512; n++) ASSERT_EQ(ws->time[n], 0.0f) << "Nyquist alone, n " << n;
  EXPECT_EQ(ws->spectrum[512], 0.0f);
  EXPECT_EQ(ws->spectrum[513], 0.0f);

  const std::vector<float> spectrum = noise(514, 3);
  for (int32_t i = 0; i < 514; i++) ws->spectrum[i] = spectrum[i];
  block->inverse(ws);
  const double tolerance = 4 * FLT_EPSILON * 9 * 32768;
  for (int32_t n = 0; n < 512; n++) {
    double x = spectrum[0];  // bin 0's real part; its imaginary part is ignored
    for (int32_t k = 1; k < 256; k++) {
      const double a = 2 * kPi * k * n / 512;
      x += 2 * (spectrum[2 * k] * cos(a) - spectrum[2 * k + 1] * sin(a));
    }
    x /= sqrt(512.0);
    ASSERT_NEAR(ws->time[n], x, tolerance) << "n " << n;
  }
  FftWorkspace::destroy(ws);
  FftBlock::destroy(block);
}

TEST(FftBlock, CreationUnderRefusedAllocationsReleasesAll) {
  dsp_test::expectEveryRefusalReleasesAll<FftBlock>(
      "FftBlock(512, 512, 48000, Hann)", [] { return FftBlock::create(512, 512, 48000, FftBlock::kHann); },
      [](FftBlock*& b) { FftBlock::destroy(b); });
}

// The transform setup is the second allocation: with it refused the block
// would transform nothing, so no block is made at all.
TEST(FftBlock, RefusesABlockWhoseTransformSetupFailed) {
  const int64_t before = dsp_test::liveBlocks();
  const int64_t refusedBefore = sim::poolCounters().refusedAllocations;
  sim::failAllocation(2);
  FftBlock* block = FftBlock::create(512, 512, 48000, FftBlock::kHann);
  const int64_t refused = sim::poolCounters().refusedAllocations - refusedBefore;
  sim::failAllocation(0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(dsp_test::liveBlocks(), before);
  FftBlock::destroy(block);
}

TEST(FftBlock, TransformsDoNotAllocate) {
  FftBlock* block = FftBlock::create(512, 512, 48000, FftBlock::kHann);
  FftWorkspace* ws = FftWorkspace::create(block);
  ASSERT_NE(ws, nullptr);
  const std::vector<float> in = noise(512, 5);
  const int64_t before = dsp_test::totalAllocations();
  for (int i = 0; i < 2000; i++) {
    block->forward(in.data(), ws);
    block->toPolar(ws);
    block->fromPolar(ws);
    block->inverse(ws);
  }
  EXPECT_EQ(dsp_test::totalAllocations(), before);
  FftWorkspace::destroy(ws);
  FftBlock::destroy(block);
}

}  // namespace
