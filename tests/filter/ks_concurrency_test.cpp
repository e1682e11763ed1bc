// Render writes, capture reads and control requests from three threads at
// once over the simulated stack, whose stream lock is a real lock: every
// buffer keeps its length, every request succeeds, and the echo is still
// removed. The native-tsan preset runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "echo_scene.h"
#include "ks_fixture.h"

namespace {

using sim::WaveFormat;

constexpr uint32_t kRate = 16000;        // Hz, both pins
constexpr uint32_t kFrames = kRate / 100;  // 10 ms buffers
constexpr int kBuffers = 800;              // 8 s
constexpr int kRenderLead = 2;             // buffers the render side may run ahead

class Concurrency : public KsFixture {};

TEST_F(Concurrency, RenderCaptureAndControlFromThreeThreads) {
  start();
  writeSettings(enabled(1));
  model.setNodeName(7, u"Wave Volume");

  std::mutex roomMutex;
  std::deque<int16_t> played;
  EchoPath path(kRate, 40.0);
  std::vector<int16_t> heard;
  model.setRenderSink([&](const uint8_t* d, uint32_t n, const WaveFormat&) {
    std::lock_guard<std::mutex> hold(roomMutex);
    for (uint32_t at = 0; at + 4 <= n; at += 4) {
      int16_t left;
      std::memcpy(&left, d + at, 2);
      played.push_back(left);
    }
  });
  model.setCaptureSource([&](uint8_t* d, uint32_t n, const WaveFormat&) {
    std::lock_guard<std::mutex> hold(roomMutex);
    for (uint32_t at = 0; at + 2 <= n; at += 2) {
      int16_t p = 0;
      if (!played.empty()) {
        p = played.front();
        played.pop_front();
      }
      int16_t e = path.echo(p);
      std::memcpy(d + at, &e, 2);
      heard.push_back(e);
    }
    return n;
  });

  kernel::FileObject* capture = openPin(2, 1, kRate, 16);
  std::vector<uint8_t> first;
  mixer->read(capture, first, kFrames * 2);  // claims the capture pin
  kernel::FileObject* render = openPin(0, 2, kRate, 16);
  mixer->filterHandle();  // opened before the threads share it

  std::atomic<int> written{0}, read{0};
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::vector<int16_t> output;

  std::thread renderer([&] {
    FarEndTalker talker(kRate);
    for (int k = 0; k < kBuffers; k++) {
      while (read.load() < k - kRenderLead) std::this_thread::yield();
      std::vector<uint8_t> bytes(kFrames * 4);
      for (uint32_t i = 0; i < kFrames; i++) {
        int16_t s = talker.next();
        std::memcpy(bytes.data() + 4 * i, &s, 2);
        std::memcpy(bytes.data() + 4 * i + 2, &s, 2);
      }
      sim::RequestResult r = mixer->write(render, bytes);
      if (r.status != kernel::kStatusSuccess || bytes.size() != kFrames * 4) failures++;
      written.store(k + 1);
    }
  });
  std::thread capturer([&] {
    for (int k = 0; k < kBuffers; k++) {
      while (written.load() < k + 1) std::this_thread::yield();
      std::vector<uint8_t> data;
      uint32_t dataUsed = 0;
      sim::RequestResult r = mixer->read(capture, data, kFrames * 2, &dataUsed);
      if (r.status != kernel::kStatusSuccess || dataUsed != kFrames * 2 || data.size() != kFrames * 2) failures++;
      for (uint32_t i = 0; i < kFrames; i++) {
        int16_t s;
        std::memcpy(&s, data.data() + 2 * i, 2);
        output.push_back(s);
      }
      read.store(k + 1);
    }
  });
  std::thread controller([&] {
    int round = 0;
    while (!done.load()) {
      writeSettings(enabled(1));
      EcStatus status = readStatus();
      if (status.readRate != kRate) failures++;
      std::u16string name;
      if (mixer->nodeName(7, name) != kernel::kStatusSuccess) failures++;
      if (mixer->setVolume(7, (round++ % 2) * 98304) != kernel::kStatusSuccess) failures++;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  renderer.join();
  capturer.join();
  done.store(true);
  controller.join();

  EXPECT_EQ(failures.load(), 0) << "requests that failed or buffers whose length changed";
  EXPECT_EQ(filter->state.status.active, 1u);
  // The microphone heard the first (priming) read too.
  ASSERT_EQ(heard.size(), output.size() + kFrames);
  double mic = 0, out = 0;
  for (size_t i = output.size() / 2; i < output.size(); i++) {
    mic += static_cast<double>(heard[i + kFrames]) * heard[i + kFrames];
    out += static_cast<double>(output[i]) * output[i];
  }
  double erleDb = 10 * std::log10(mic / std::max(out, 1.0));
  printf("echo return loss enhancement with three threads: %.1f dB\n", erleDb);
  EXPECT_GT(erleDb, 6.0) << "the echo is still removed";

  EXPECT_EQ(mixer->setState(capture, ks::KSSTATE_STOP), kernel::kStatusSuccess);
  EXPECT_EQ(mixer->setState(render, ks::KSSTATE_STOP), kernel::kStatusSuccess);
  model.setRenderSink(nullptr);
  model.setCaptureSource(nullptr);
}

}  // namespace
