#include "echo_metrics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scenario_fixture.h"

namespace {

Signal mono(std::vector<double> samples, int32_t rate = 16000) { return {rate, 1, std::move(samples)}; }

// out[n] = gain x mic[n - lag]
Signal delayedCopy(const Signal& mic, double gain, int64_t lag) {
  Signal out{mic.rate, mic.channels, std::vector<double>(mic.samples.size(), 0.0)};
  size_t shift = static_cast<size_t>(lag * mic.channels);
  for (size_t i = shift; i < out.samples.size(); i++) out.samples[i] = gain * mic.samples[i - shift];
  return out;
}

TEST(EchoMetrics, EnergyCoversAllChannelsOfTheShiftedClippedRange) {
  Signal stereo{8000, 2, {1, 2, 3, 4, 5, 6}};  // frames (1,2) (3,4) (5,6)
  EXPECT_DOUBLE_EQ(energy(stereo, {0, 3}, 0), 91.0);
  EXPECT_DOUBLE_EQ(energy(stereo, {1, 2}, 0), 25.0);
  EXPECT_DOUBLE_EQ(energy(stereo, {1, 3}, 1), 61.0) << "frames 2 .. 3, clipped to the last frame";
  EXPECT_DOUBLE_EQ(energy(stereo, {0, 2}, -1), 5.0) << "frames -1 .. 1, clipped to the first";
}

TEST(EchoMetrics, ErleIsTheEnergyRatioInDecibels) {
  Signal mic = mono(scenario::speechLike(16000, 2.0, 7));
  struct Case {
    double gain;
    double erle;  // dB: 20 log10(1 / gain)
  };
  const Case cases[] = {{1.0, 0.0}, {0.1, 20.0}, {0.01, 40.0}, {2.0, -6.0206}};
  for (const Case& c : cases) {
    std::optional<double> erle = erleDb(mic, delayedCopy(mic, c.gain, 0), {{0, mic.frames()}}, 0);
    ASSERT_TRUE(erle.has_value());
    // The quantisation floor (1/12 per sample) against a mean square near
    // 10^7 moves the figure by far less than 0.01 dB up to 40 dB.
    EXPECT_NEAR(*erle, c.erle, 0.01) << "output gain " << c.gain;
  }
}

TEST(EchoMetrics, ErleReadsTheOutputLatencyFramesLater) {
  // A burst of echo in frames 4000 .. 8000, and its residual 800 frames later.
  std::vector<double> burst(16000, 0.0);
  for (size_t n = 4000; n < 8000; n++) burst[n] = 10000.0 * std::sin(0.3 * static_cast<double>(n));
  Signal mic = mono(burst);
  Signal out = delayedCopy(mic, 0.1, 800);
  EXPECT_NEAR(*erleDb(mic, out, {{4000, 8000}}, 800), 20.0, 0.01);
  // Read without the latency a fifth of the residual falls outside the
  // stretch and the figure comes out 10 log10(5/4) = 0.97 dB too good.
  EXPECT_NEAR(*erleDb(mic, out, {{4000, 8000}}, 0), 20.97, 0.02);
}

TEST(EchoMetrics, ErleEdgeCases) {
  Signal mic = mono(scenario::speechLike(16000, 1.0, 9));
  Signal silent = mono(std::vector<double>(mic.samples.size(), 0.0));
  // A silent output is bounded by the quantisation floor: finite and large.
  std::optional<double> perfect = erleDb(mic, silent, {{0, mic.frames()}}, 0);
  ASSERT_TRUE(perfect.has_value());
  EXPECT_GT(*perfect, 60.0);
  EXPECT_TRUE(std::isfinite(*perfect));
  EXPECT_FALSE(erleDb(silent, mic, {{0, mic.frames()}}, 0).has_value()) << "no echo to measure";
  EXPECT_FALSE(erleDb(mic, mic, {}, 0).has_value()) << "no stretches";
  EXPECT_FALSE(erleDb(mic, mic, {{5, 5}}, 0).has_value()) << "an empty stretch";
}

TEST(EchoMetrics, LatencyIsFoundToTheBlock) {
  struct Case {
    int32_t rate;
    int64_t lag;  // frames
  };
  // Blocks are rate / 1000 frames, so the lag is found rounded down to a block.
  const Case cases[] = {{16000, 0}, {16000, 1024}, {8000, 400}, {48000, 3360}, {11025, 770}};
  for (const Case& c : cases) {
    Signal mic = mono(scenario::speechLike(c.rate, 3.0, 10), c.rate);
    Signal out = delayedCopy(mic, 0.3, c.lag);
    int64_t block = c.rate / 1000;
    int64_t found = estimateLatency(mic, out, c.rate * 300 / 1000);
    EXPECT_LE(std::llabs(found - c.lag), block) << c.rate << " Hz, lag " << c.lag;
  }
}

TEST(EchoMetrics, LatencyStaysWithinItsRange) {
  Signal mic = mono(scenario::speechLike(16000, 2.0, 11));
  Signal out = delayedCopy(mic, 1.0, 8000);  // 500 ms, beyond the 300 ms searched
  EXPECT_LE(estimateLatency(mic, out, 4800), 4800);
  EXPECT_EQ(estimateLatency(mono({}), mono({}), 4800), 0) << "empty signals";
}

TEST(EchoMetrics, LevelsAreDecibelsOfFullScalePerWindow) {
  // A full-scale sine has a mean square of 32768^2 / 2: -3.01 dB.
  std::vector<double> sine(1600);
  for (size_t n = 0; n < sine.size(); n++) sine[n] = 32768.0 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(n) / 16000.0);
  for (size_t n = 800; n < 1200; n++) sine[n] *= 0.1;  // -20 dB
  for (size_t n = 1200; n < sine.size(); n++) sine[n] = 0.0;
  std::vector<double> levels = levelsDb(mono(sine), 400);
  ASSERT_EQ(levels.size(), 4u);
  EXPECT_NEAR(levels[0], -3.0103, 1e-3);
  EXPECT_NEAR(levels[1], -3.0103, 1e-3);
  EXPECT_NEAR(levels[2], -23.0103, 1e-3);
  EXPECT_EQ(levels[3], kFloorDb) << "silence reads the floor";
  EXPECT_EQ(levelsDb(mono(std::vector<double>(900, 1000.0)), 400).size(), 3u) << "a short last window counts";
}

}  // namespace
