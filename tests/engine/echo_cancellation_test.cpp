// The canceller on signals: a far-end talker heard through a short room with
// 100 ms of delay is found and removed; a near-end talker alone passes; a
// stationary noise is lowered by the noise suppressor; the stream paths
// never allocate.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <vector>

#include "canceller_fixture.h"

namespace {

class EchoScenes : public CancellerTest {};

constexpr int32_t kSeconds = 10;

struct Scene {
  std::vector<int16_t> mic;
  std::vector<int16_t> ref;
};

// Far-end only: the reference is speech-like noise at a syllable-peak RMS of
// 6000, the microphone holds its echo through the short room `delayMs` later.
Scene farEndOnly(int32_t rate, int32_t delayMs) {
  const size_t n = static_cast<size_t>(rate) * kSeconds;
  const std::vector<float> far = signals::speechLikeNoise(n, rate, 20261211u, 6000.0f);
  const std::vector<float> echo = signals::echoOf(far, signals::shortRoom(rate), rate * delayMs / 1000);
  Scene s;
  for (size_t i = 0; i < n; i++) {
    s.ref.push_back(signals::toInt16(far[i]));
    s.mic.push_back(signals::toInt16(echo[i]));
  }
  return s;
}

struct RateCase {
  int32_t rate;
  int32_t block;               // samples per call: 10 ms
  double minimumErle;          // dB, just below the figure measured
  double minimumResidualErle;  // dB, the same without the comfort noise
};

// 11025 Hz is here for its sweep: 3307 lags in chunks of 1102, whose last
// chunk must end at W for the delay to be chosen at all.
class FarEndEcho : public CancellerTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(FarEndEcho, DelayIsFoundAndTheEchoRemoved) {
  const RateCase& c = GetParam();
  EchoCanceller& ec = make(c.rate);
  const Scene scene = farEndOnly(c.rate, 100);
  const int64_t allocationsBefore = sim::poolCounters().totalAllocations;
  const signals::RunResult result = signals::run(ec, scene.mic, scene.ref, c.block);
  const std::vector<int16_t>& out = result.out;
  const std::vector<int32_t>& delays = result.delays;
  EXPECT_EQ(sim::poolCounters().totalAllocations, allocationsBefore)
      << "processBlock and addReferenceSample allocated";
  // Output starts with the latency of the first finished frame, which the
  // 256-sample hop can leave a block short of: the start-up leaves a block
  // or two unchanged, never more once the latency has grown to cover it.
  EXPECT_LT(result.lastUnchanged(), static_cast<size_t>(c.rate / 2)) << "blocks left unchanged after start-up";

  // The estimator sees the reference block of the current call already in
  // while the microphone block is not: the lag of the echo's direct path is
  // the acoustic delay plus one block.
  const int32_t expectedLag = c.rate / 10 + c.block;
  const size_t settled = delays.size() / 5;  // after 2 s
  int32_t worst = 0;
  for (size_t i = settled; i < delays.size(); i++) {
    const int32_t error = abs(delays[i] - expectedLag);
    worst = error > worst ? error : worst;
  }
  EXPECT_LE(worst, 3) << c.rate << " Hz: the delay estimate strays from " << expectedLag << " after 2 s";
  size_t settledAt = delays.size();  // first block from which the estimate stays within 3 samples
  while (settledAt > 0 && abs(delays[settledAt - 1] - expectedLag) <= 3) settledAt--;
  const double settledMs = 1000.0 * static_cast<double>(settledAt) * c.block / c.rate;

  // ERLE over the last 5 s, as the stream leaves the canceller: the echo
  // is suppressed below the comfort noise (RMS about 194), which then sets
  // the figure. The residual without the comfort noise (it is one known
  // integer sample per output sample) shows how far below.
  const size_t half = scene.mic.size() / 2;
  const double micEnergy = signals::energy(scene.mic, half, scene.mic.size());
  const double erle = 10.0 * log10(micEnergy / signals::energy(out, half, out.size()));
  const std::vector<int16_t> residual = signals::withoutComfortNoise(result);
  const double residualErle = 10.0 * log10(micEnergy / (signals::energy(residual, half, residual.size()) + 1.0));
  printf("%d Hz: delay %d (expected %d, settled after %.0f ms, worst error %d after 2 s), microphone RMS %.0f, "
         "ERLE %.2f dB, %.2f dB without the comfort noise\n",
         c.rate, ec.delay, expectedLag, settledMs, worst, sqrt(micEnergy / static_cast<double>(half)), erle,
         residualErle);
  EXPECT_GE(erle, c.minimumErle) << c.rate << " Hz: echo return loss enhancement";
  EXPECT_GE(residualErle, c.minimumResidualErle) << c.rate << " Hz: echo left under the comfort noise";
}

INSTANTIATE_TEST_SUITE_P(Rates, FarEndEcho,
                         ::testing::Values(RateCase{8000, 80, 15.5, 45.0}, RateCase{11025, 110, 15.6, 44.5},
                                           RateCase{16000, 160, 15.6, 46.5}),
                         [](const ::testing::TestParamInfo<RateCase>& test) {
                           return std::to_string(test.param.rate) + "Hz";
                         });

// A near-end talker alone (speech-like noise at a syllable-peak RMS of
// 3000) with no reference, or with a silent one: nothing adapts, the residual
// suppression finds nothing to remove, and the level leaves as it came (plus
// the comfort noise, +0.1 dB at this level; minus the bins below 80 Hz).
TEST_F(EchoScenes, NearEndAlonePassesAtItsLevel) {
  constexpr double kToleranceDb = 0.5;
  const struct {
    const char* name;
    int32_t rate;
    bool silentReference;
  } cases[] = {{"8000 Hz, no reference", 8000, false},
               {"8000 Hz, silent reference", 8000, true},
               {"16000 Hz, silent reference", 16000, true}};
  for (const auto& c : cases) {
    sim::seedRandom(1);
    EchoCanceller& ec = make(c.rate);
    const size_t n = static_cast<size_t>(c.rate) * 4;
    const std::vector<float> near = signals::speechLikeNoise(n, c.rate, 77u, 3000.0f);
    std::vector<int16_t> mic(n);
    for (size_t i = 0; i < n; i++) mic[i] = signals::toInt16(near[i]);
    const std::vector<int16_t> ref = c.silentReference ? std::vector<int16_t>(n, 0) : std::vector<int16_t>();
    const signals::RunResult r = signals::run(ec, mic, ref, c.rate / 100);
    const size_t half = n / 2;
    const double change = 10.0 * log10(signals::energy(r.out, half, n) / signals::energy(mic, half, n));
    printf("%s: near-end level change %+.3f dB\n", c.name, change);
    EXPECT_NEAR(change, 0.0, kToleranceDb) << c.name;
    EXPECT_EQ(ec.adaptCount, 0) << c.name;
  }
}

// A stationary background noise with the noise suppressor on: after its
// learning frames the suppressor holds the noise bands at their gain floor
// (0.19, -14.4 dB), and the residual suppression's floor keeps what is left.
TEST_F(EchoScenes, NoiseSuppressorLowersStationaryNoise) {
  constexpr double kMinimumReductionDb = 11.0;  // just below the figure measured
  const int32_t rate = 8000;
  const size_t n = static_cast<size_t>(rate) * 6;
  std::mt19937 generator(5u);
  std::normal_distribution<float> normal(0.0f, 1000.0f);
  std::vector<int16_t> mic(n);
  for (int16_t& v : mic) v = signals::toInt16(normal(generator));
  double level[2] = {0.0, 0.0};
  for (int on = 0; on < 2; on++) {
    sim::seedRandom(1);
    EchoCanceller& ec = make(rate, on == 1);
    const int64_t allocationsBefore = sim::poolCounters().totalAllocations;
    const signals::RunResult r = signals::run(ec, mic, std::vector<int16_t>(n, 0), rate / 100);
    EXPECT_EQ(sim::poolCounters().totalAllocations, allocationsBefore) << "noise suppressor " << on;
    level[on] = signals::energy(r.out, n / 2, n);
  }
  const double reduction = 10.0 * log10(level[0] / level[1]);
  printf("stationary noise at RMS 1000, 8000 Hz: lowered by %.2f dB with the noise suppressor\n", reduction);
  EXPECT_GE(reduction, kMinimumReductionDb);
}

}  // namespace
