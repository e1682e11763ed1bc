// The engine's transform pair: a 512-point forward and inverse real FFT with
// flag 4, as every canceller frame runs it. One iteration is one pair, so the
// Time column is already per pair; ns_per_pair states it explicitly.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/fft.h"

namespace {

constexpr int kOrder = 9;
constexpr int kSize = 1 << kOrder;  // samples

void ForwardInverse512(benchmark::State& state) {
  FftSetup* setup = nullptr;
  if (fftCreate(&setup, kOrder, kFftScaleBothBySqrtN, 0) != kPrimitiveDone) {
    state.SkipWithError("fftCreate failed");
    return;
  }
  std::vector<float> frame(kSize);
  for (int n = 0; n < kSize; ++n) frame[n] = static_cast<float>(1000.0 * std::sin(0.05 * n) + 37.0 * (n % 7));
  std::vector<float> spectrum(kSize + 2);
  std::vector<float> back(kSize);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    fftForward(frame.data(), spectrum.data(), setup, nullptr);
    benchmark::DoNotOptimize(spectrum.data());
    fftInverse(spectrum.data(), back.data(), setup, nullptr);
    benchmark::DoNotOptimize(back.data());
    benchmark::ClobberMemory();
  }
  const double elapsedNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  const double perPair = elapsedNs / static_cast<double>(state.iterations());
  state.counters["ns_per_pair"] = perPair;
  char label[96];
  std::snprintf(label, sizeof label, "512-point forward + inverse, flag 4: %.0f ns per pair", perPair);
  state.SetLabel(label);
  fftDestroy(setup);
}
BENCHMARK(ForwardInverse512);

}  // namespace
