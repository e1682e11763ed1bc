// One echo canceller on a far-end-only scene (speech-like noise and its echo
// 100 ms later), fed as the engine feeds it: 10 ms of reference samples,
// then the 10 ms microphone block. One iteration is one second of audio, so
// the CPU column is the CPU time per second of audio; cpu_percent states the
// share of one core that real time takes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "engine/echo_canceller.h"

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// One second: noise under a 2.5 Hz syllable envelope, RMS about 3000 at the
// peaks, and its echo at 0.5 of the level, 100 ms later.
struct Second {
  std::vector<int16_t> reference;
  std::vector<int16_t> microphone;
};

Second makeSecond(int32_t rate) {
  std::mt19937 generator(42u);
  std::normal_distribution<float> normal(0.0f, 3000.0f);
  const size_t n = static_cast<size_t>(rate);
  const size_t delay = n / 10;
  std::vector<float> far(n);
  for (size_t i = 0; i < n; i++) {
    const double envelope = 0.5 * (1.0 - std::cos(2.0 * 3.14159265358979 * 2.5 * static_cast<double>(i) / rate));
    far[i] = static_cast<float>(normal(generator) * envelope);
  }
  Second s;
  for (size_t i = 0; i < n; i++) {
    s.reference.push_back(static_cast<int16_t>(far[i]));
    // The echo of the previous pass through the second wraps round, so the
    // scene repeats seamlessly from one iteration to the next.
    s.microphone.push_back(static_cast<int16_t>(0.5f * far[(i + n - delay) % n]));
  }
  return s;
}

void CancelOneSecond(benchmark::State& state) {
  const int32_t rate = static_cast<int32_t>(state.range(0));
  const bool noiseSuppressor = state.range(1) != 0;
  EchoCanceller* canceller = EchoCanceller::create(rate, noiseSuppressor);
  if (canceller == nullptr) {
    state.SkipWithError("EchoCanceller::create failed");
    return;
  }
  const Second second = makeSecond(rate);
  const int32_t block = rate / 100;
  std::vector<int16_t> buffer(static_cast<size_t>(block));
  // One second of audio in 10 ms blocks.
  auto pass = [&] {
    for (size_t at = 0; at + buffer.size() <= second.reference.size(); at += buffer.size()) {
      for (size_t i = 0; i < buffer.size(); i++) canceller->addReferenceSample(second.reference[at + i]);
      for (size_t i = 0; i < buffer.size(); i++) buffer[i] = second.microphone[at + i];
      benchmark::DoNotOptimize(canceller->processBlock(buffer.data(), block));
    }
  };
  // Two seconds first, so the filters adapt and output flows.
  pass();
  pass();
  const double cpuStart = cpuSeconds();
  for (auto _ : state) {
    pass();
    benchmark::ClobberMemory();
  }
  const double perSecond = (cpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
  state.counters["cpu_percent"] = 100.0 * perSecond;
  char label[96];
  std::snprintf(label, sizeof label, "%d Hz, noise suppressor %s: %.2f ms CPU per second of audio", rate,
                noiseSuppressor ? "on" : "off", 1000.0 * perSecond);
  state.SetLabel(label);
  EchoCanceller::destroy(canceller);
}

BENCHMARK(CancelOneSecond)
    ->ArgNames({"rate", "ns"})
    ->ArgsProduct({{8000, 16000, 22050}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
