#pragma once
// Shared by the echo canceller's tests: a fixture that owns one canceller
// and checks the pool on the way out, and the test signals (speech-like
// noise, a short synthetic room, the far-end / near-end scenes).
#include <gtest/gtest.h>

#include <math.h>
#include <stdint.h>

#include <random>
#include <vector>

#include "dsp/block_framer.h"
#include "dsp/fft_block.h"
#include "dsp/fft_workspace.h"
#include "dsp/sample_ring.h"
#include "engine/echo_canceller.h"
#include "sim/kernel/sim_kernel.h"
#include "sim/kernel/sim_random.h"

class CancellerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetCounters();
    sim::seedRandom(1);
    liveBlocksBefore_ = sim::poolCounters().liveBlocks;
  }
  void TearDown() override {
    EchoCanceller::destroy(canceller);
    EXPECT_EQ(canceller, nullptr);
    EXPECT_EQ(sim::poolCounters().liveBlocks, liveBlocksBefore_) << "pool blocks left behind";
  }

  // Replaces the fixture's canceller with a new one for `rate` Hz.
  EchoCanceller& make(int32_t rate, bool noiseSuppressorOn = false) {
    EchoCanceller::destroy(canceller);
    canceller = EchoCanceller::create(rate, noiseSuppressorOn);
    EXPECT_NE(canceller, nullptr) << rate << " Hz";
    return *canceller;
  }

  // Makes x the DC-free value of every further reference sample: a mean of 0
  // at the count limit hardly moves (by s / 4294967295 per sample).
  static void freezeReferenceMean(EchoCanceller& c) {
    c.referenceMean = 0.0f;
    c.referenceMeanCount = EchoCanceller::kMeanCountLimit;
  }

  EchoCanceller* canceller = nullptr;

 private:
  int64_t liveBlocksBefore_ = 0;
};

namespace signals {

// Gaussian noise shaped by a slowly varying envelope: syllables of about
// 200 ms (a raised sine at 2.5 Hz) inside phrases with pauses (a slower
// 0.3 Hz envelope clipped at zero), low-passed a little so that the spectrum
// falls towards the top like a voice. `rms` is the level at a syllable peak.
inline std::vector<float> speechLikeNoise(size_t n, int32_t rate, uint32_t seed, float rms) {
  std::mt19937 generator(seed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::vector<float> out(n);
  float smoothed = 0.0f;
  const double pi = 3.14159265358979323846;
  for (size_t i = 0; i < n; i++) {
    const double t = static_cast<double>(i) / rate;
    const double syllable = 0.5 * (1.0 - cos(2.0 * pi * 2.5 * t));
    double phrase = 0.3 + 0.7 * sin(2.0 * pi * 0.3 * t + 1.0);
    if (phrase < 0.0) phrase = 0.0;
    smoothed = 0.6f * smoothed + 0.4f * normal(generator);
    out[i] = static_cast<float>(rms * 1.6 * smoothed * syllable * phrase);
  }
  return out;
}

// A short synthetic room: the direct path, then a few reflections over
// 12 ms decaying by about 6 dB each; the direct path dominates.
inline std::vector<float> shortRoom(int32_t rate) {
  std::vector<float> h(static_cast<size_t>(rate * 12 / 1000) + 1, 0.0f);
  h[0] = 0.7f;
  const int32_t reflections[] = {rate * 2 / 1000, rate * 5 / 1000, rate * 8 / 1000, rate * 12 / 1000};
  float gain = -0.35f;
  for (int32_t at : reflections) {
    h[static_cast<size_t>(at)] += gain;
    gain *= -0.5f;
  }
  return h;
}

// y[t] = sum_j h[j] x[t - delay - j], zero before the signal starts.
inline std::vector<float> echoOf(const std::vector<float>& x, const std::vector<float>& h, int32_t delay) {
  std::vector<float> y(x.size(), 0.0f);
  for (size_t t = 0; t < x.size(); t++) {
    double sum = 0.0;
    for (size_t j = 0; j < h.size(); j++) {
      if (h[j] == 0.0f) continue;
      const int64_t from = static_cast<int64_t>(t) - delay - static_cast<int64_t>(j);
      if (from >= 0) sum += h[j] * x[static_cast<size_t>(from)];
    }
    y[t] = static_cast<float>(sum);
  }
  return y;
}

inline int16_t toInt16(float v) {
  const float r = nearbyintf(v);
  return static_cast<int16_t>(r > 32767.0f ? 32767.0f : r < -32768.0f ? -32768.0f : r);
}

// Sum of squares of s[from .. to).
inline double energy(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; i++) sum += static_cast<double>(s[i]) * s[i];
  return sum;
}

struct RunResult {
  // The output stream: the processed blocks where processBlock replaced
  // them, the captured ones where it left them.
  std::vector<int16_t> out;
  int32_t block = 0;
  std::vector<bool> replaced;   // per block: processBlock returned its length
  std::vector<int32_t> delays;  // the delay estimate after each block
  // Start of the last block left unchanged (0 when none was).
  size_t lastUnchanged() const {
    for (size_t k = replaced.size(); k > 0; k--) {
      if (!replaced[k - 1]) return (k - 1) * static_cast<size_t>(block);
    }
    return 0;
  }
};

// Runs a scene through a canceller the way the engine does, block by block:
// the block's reference samples first (none when ref is empty), then the
// microphone block.
inline RunResult run(EchoCanceller& c, const std::vector<int16_t>& mic, const std::vector<int16_t>& ref,
                     int32_t block) {
  RunResult r;
  r.out = mic;
  r.block = block;
  for (size_t at = 0; at + static_cast<size_t>(block) <= mic.size(); at += static_cast<size_t>(block)) {
    for (int32_t i = 0; i < block; i++) {
      if (!ref.empty()) c.addReferenceSample(ref[at + static_cast<size_t>(i)]);
    }
    r.replaced.push_back(c.processBlock(&r.out[at], block) == block);
    r.delays.push_back(c.delay);
  }
  return r;
}

// The comfort-noise samples a fresh canceller's generator gives from seed 1
// (the fixture's seed), in order.
inline std::vector<int16_t> comfortNoiseSequence(size_t n) {
  sim::seedRandom(1);
  EchoCanceller generator{};
  std::vector<int16_t> noise(n);
  for (size_t i = 0; i < n; i++) noise[i] = generator.comfortNoise();
  return noise;
}

// A run's output minus its comfort noise: the replaced blocks, taken in
// order, carry one comfort-noise sample per sample from the generator's
// first one on, added before the final rounding (so this is within 1 of the
// processed signal). Blocks left unchanged are zeroed.
inline std::vector<int16_t> withoutComfortNoise(const RunResult& r) {
  std::vector<int16_t> residual(r.out.size(), 0);
  const std::vector<int16_t> noise = comfortNoiseSequence(r.out.size());
  size_t next = 0;
  for (size_t k = 0; k < r.replaced.size(); k++) {
    if (!r.replaced[k]) continue;
    for (size_t i = k * static_cast<size_t>(r.block); i < (k + 1) * static_cast<size_t>(r.block); i++) {
      residual[i] = static_cast<int16_t>(r.out[i] - noise[next++]);
    }
  }
  return residual;
}

}  // namespace signals
