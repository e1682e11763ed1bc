// CPU time of the block resampler per second of mono audio: one benchmark
// iteration converts one second in 10 ms calls, so the CPU column reads as
// nanoseconds of processor time per second of audio.
#include <benchmark/benchmark.h>
#include <math.h>

#include <vector>

#include "dsp/block_resampler.h"

namespace {

void convertOneSecond(benchmark::State& state, int32_t inRate, int32_t outRate) {
  const int32_t inCount = inRate / 100, outCount = outRate / 100;
  BlockResampler* r = BlockResampler::create(outRate, inRate, inCount);
  if (r == nullptr) {
    state.SkipWithError("resampler not created");
    return;
  }
  std::vector<int16_t> in(inRate), out(outCount);
  for (int32_t i = 0; i < inRate; i++) {
    in[i] = static_cast<int16_t>(lrint(8000 * sin(2 * 3.14159265358979 * 440.0 * i / inRate) +
                                       3000 * sin(2 * 3.14159265358979 * 1750.0 * i / inRate)));
  }
  int64_t samples = 0;
  for (auto _ : state) {
    for (int32_t start = 0; start + inCount <= inRate; start += inCount) {
      samples += r->process(out.data(), outCount, in.data() + start, inCount);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  // Output samples per second of audio (the first call of a run gives none).
  state.counters["out_per_s"] = benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kAvgIterations);
  state.SetLabel("CPU time = ns per second of mono audio");
  BlockResampler::destroy(r);
}

void BM_Resample48000To8000(benchmark::State& state) { convertOneSecond(state, 48000, 8000); }
void BM_Resample8000To48000(benchmark::State& state) { convertOneSecond(state, 8000, 48000); }

BENCHMARK(BM_Resample48000To8000)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_Resample8000To48000)->Unit(benchmark::kNanosecond);

}  // namespace
