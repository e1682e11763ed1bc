// The whole engine through the two stream halves, as the driver runs it: a
// 10 ms render buffer fed as reference, then the 10 ms capture buffer
// processed in place. One iteration is one second of audio, so the CPU column
// is the CPU time per second of audio. A second benchmark prints the driver
// pool bytes the engine holds at each capture rate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "engine/driver_state.h"
#include "filter/capture_stream.h"
#include "filter/render_stream.h"
#include "sim/kernel/sim_kernel.h"

namespace {

struct Scene {
  uint32_t captureRate, captureChannels, renderRate, renderChannels;
};

// One second of 16-bit frames: speech-like noise for the loudspeakers, its
// echo 60 ms later at half the level on every microphone channel.
struct Second {
  std::vector<int16_t> render;
  std::vector<int16_t> capture;
};

Second makeSecond(const Scene& scene) {
  std::mt19937 generator(7u);
  std::normal_distribution<float> normal(0.0f, 3000.0f);
  const size_t renderFrames = scene.renderRate, ratio = scene.renderRate / scene.captureRate;
  std::vector<float> far(renderFrames);
  for (size_t i = 0; i < renderFrames; i++) {
    double envelope = 0.5 * (1.0 - std::cos(2.0 * M_PI * 2.5 * static_cast<double>(i) / scene.renderRate));
    far[i] = static_cast<float>(normal(generator) * envelope);
  }
  Second s;
  for (size_t i = 0; i < renderFrames; i++) {
    for (uint32_t ch = 0; ch < scene.renderChannels; ch++) s.render.push_back(static_cast<int16_t>(far[i]));
  }
  const size_t delay = scene.captureRate * 60 / 1000;
  for (size_t i = 0; i < scene.captureRate; i++) {
    auto echo = static_cast<int16_t>(0.5f * far[((i + scene.captureRate - delay) % scene.captureRate) * ratio]);
    for (uint32_t ch = 0; ch < scene.captureChannels; ch++) s.capture.push_back(echo);
  }
  return s;
}

// A driver state with the records and stream fields of a running call.
void startCall(DriverState& driver, const Scene& scene) {
  initializeDriverState(driver);
  driver.settings.enable = 1;
  driver.settings.noiseCancel = 1;
  EcStatus& status = driver.status;
  status.captureRunning = status.renderRunning = 1;
  status.readRate = scene.captureRate;
  status.readChannels = scene.captureChannels;
  status.writeRate = scene.renderRate;
  status.writeChannels = scene.renderChannels;
  status.readBits = status.writeBits = 16;
}

void EngineOneSecond(benchmark::State& state) {
  const Scene scene{static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)),
                    static_cast<uint32_t>(state.range(2)), static_cast<uint32_t>(state.range(3))};
  static DriverState driver;
  startCall(driver, scene);
  const Second second = makeSecond(scene);
  const size_t renderValues = scene.renderRate / 100 * scene.renderChannels;
  const size_t captureValues = scene.captureRate / 100 * scene.captureChannels;
  std::vector<uint8_t> render(renderValues * 2), capture(captureValues * 2);
  for (auto _ : state) {
    for (size_t buffer = 0; buffer < 100; buffer++) {
      std::memcpy(render.data(), second.render.data() + buffer * renderValues, render.size());
      renderBufferWritten(driver, render.data(), static_cast<uint32_t>(render.size()));
      std::memcpy(capture.data(), second.capture.data() + buffer * captureValues, capture.size());
      captureBufferFilled(driver, capture.data(), static_cast<uint32_t>(capture.size()), true);
    }
    benchmark::DoNotOptimize(capture.data());
  }
  if (driver.status.active == 0) state.SkipWithError("the canceller never ran");
  destroyEngine(driver);
}

// capture rate, capture channels, render rate, render channels
BENCHMARK(EngineOneSecond)->Args({16000, 1, 16000, 2})->Args({48000, 2, 48000, 2})->Unit(benchmark::kMillisecond);

// The pool the engine holds once its canceller runs, per capture rate, for
// mono capture with render at the capture rate and the noise suppressor on.
void EnginePoolBytes(benchmark::State& state) {
  const uint32_t rate = static_cast<uint32_t>(state.range(0));
  static DriverState driver;
  int64_t held = 0;
  for (auto _ : state) {
    int64_t before = sim::poolCounters().liveBytes;
    startCall(driver, {rate, 1, rate, 2});
    std::vector<uint8_t> capture(rate / 100 * 2, 0);
    captureBufferFilled(driver, capture.data(), static_cast<uint32_t>(capture.size()), true);
    held = sim::poolCounters().liveBytes - before;
    destroyEngine(driver);
  }
  state.counters["pool_bytes"] = static_cast<double>(held);
  std::printf("engine at %u Hz holds %lld bytes of driver pool\n", rate, static_cast<long long>(held));
}

BENCHMARK(EnginePoolBytes)->Arg(8000)->Arg(11025)->Arg(16000)->Arg(22050)->Arg(32000)->Arg(44100)->Arg(48000)
    ->Iterations(1);

}  // namespace
