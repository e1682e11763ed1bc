// End to end through kernel-streaming requests: the audio stack negotiates
// and opens both pins, the loudspeakers play what the render writes leave
// as, the microphone hears their echo, and the capture reads come back with
// the echo removed as well as when the two stream halves are driven
// directly; with the canceller off they come back bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "echo_scene.h"
#include "filter/capture_stream.h"
#include "filter/render_stream.h"
#include "ks_fixture.h"

namespace {

using sim::WaveFormat;

struct SceneCase {
  const char* name;
  uint32_t captureRate;
  uint16_t captureChannels;
  uint32_t expectedRenderRate;  // after the negotiation, with the canceller on
};

constexpr int kSeconds = 5;
constexpr int kBuffersPerSecond = 100;  // 10 ms buffers

struct Energies {
  double mic = 0;
  double out = 0;
  double erleDb() const { return 10 * std::log10(mic / std::max(out, 1.0)); }
};

// The loudspeakers and the microphone of the scene, as the device model's
// render sink and capture source: what is played comes back as echo.
class Room {
 public:
  explicit Room(int32_t rate) : path_(rate, 60.0) {}
  void played(const uint8_t* data, uint32_t bytes, const WaveFormat& f) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (uint32_t at = 0; at + f.frameBytes() <= bytes; at += f.frameBytes()) {
      int16_t left;
      std::memcpy(&left, data + at, 2);
      queue_.push_back(left);
    }
  }
  uint32_t capture(uint8_t* data, uint32_t bytes, const WaveFormat& f) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (uint32_t at = 0; at + f.frameBytes() <= bytes; at += f.frameBytes()) {
      int16_t p = 0;
      if (!queue_.empty()) {
        p = queue_.front();
        queue_.pop_front();
      }
      int16_t e = path_.echo(p);
      for (uint32_t ch = 0; ch < f.channels; ch++) {
        std::memcpy(data + at + 2 * ch, &e, 2);
        captured_.push_back(e);
      }
    }
    return bytes - bytes % f.frameBytes();
  }
  std::vector<int16_t> takeCaptured() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<int16_t> taken;
    taken.swap(captured_);
    return taken;
  }

 private:
  std::mutex mutex_;
  EchoPath path_;
  std::deque<int16_t> queue_;
  std::vector<int16_t> captured_;
};

std::vector<uint8_t> renderBuffer(FarEndTalker& talker, uint32_t frames) {
  std::vector<uint8_t> bytes(frames * 4);
  for (uint32_t i = 0; i < frames; i++) {
    int16_t s = talker.next();
    std::memcpy(bytes.data() + 4 * i, &s, 2);
    std::memcpy(bytes.data() + 4 * i + 2, &s, 2);
  }
  return bytes;
}

void accumulate(Energies& e, const std::vector<int16_t>& mic, const uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; i++) {
    int16_t o;
    std::memcpy(&o, out + 2 * i, 2);
    e.mic += static_cast<double>(mic[i]) * mic[i];
    e.out += static_cast<double>(o) * o;
  }
}

// The same scene through the two stream halves on a driver state of its own.
Energies directRun(const SceneCase& c, const EcSettings& settings, uint32_t renderRate) {
  DriverState driver{};
  initializeDriverState(driver);
  driver.settings = settings;
  EcStatus& s = driver.status;
  s.captureRunning = s.renderRunning = 1;
  s.readRate = c.captureRate;
  s.readChannels = c.captureChannels;
  s.readBits = 16;
  s.writeRate = renderRate;
  s.writeChannels = 2;
  s.writeBits = 16;
  FarEndTalker talker(static_cast<int32_t>(renderRate));
  Room room(static_cast<int32_t>(c.captureRate));
  WaveFormat renderFormat{2, renderRate, 16}, captureFormat{c.captureChannels, c.captureRate, 16};
  Energies energies;
  for (int buffer = 0; buffer < kSeconds * kBuffersPerSecond; buffer++) {
    std::vector<uint8_t> render = renderBuffer(talker, renderRate / kBuffersPerSecond);
    renderBufferWritten(driver, render.data(), static_cast<uint32_t>(render.size()));
    room.played(render.data(), static_cast<uint32_t>(render.size()), renderFormat);
    std::vector<uint8_t> capture(c.captureRate / kBuffersPerSecond * captureFormat.frameBytes());
    room.capture(capture.data(), static_cast<uint32_t>(capture.size()), captureFormat);
    std::vector<int16_t> mic = room.takeCaptured();
    captureBufferFilled(driver, capture.data(), static_cast<uint32_t>(capture.size()), true);
    if (buffer >= kSeconds * kBuffersPerSecond / 2) accumulate(energies, mic, capture.data(), mic.size());
  }
  destroyEngine(driver);
  return energies;
}

class EndToEnd : public KsFixture, public ::testing::WithParamInterface<SceneCase> {
 protected:
  // The whole scene through requests; `bitExact` asks every read to come
  // back exactly as the microphone heard it.
  Energies requestRun(const SceneCase& c, bool bitExact, uint32_t expectedRenderRate, uint32_t& renderRate) {
    Room room(static_cast<int32_t>(c.captureRate));
    model.setRenderSink([&](const uint8_t* d, uint32_t n, const WaveFormat& f) { room.played(d, n, f); });
    model.setCaptureSource([&](uint8_t* d, uint32_t n, const WaveFormat& f) { return room.capture(d, n, f); });

    WaveFormat captureFormat{}, renderFormat{};
    kernel::FileObject* capture = openPin(2, c.captureChannels, c.captureRate, 16, &captureFormat);
    EXPECT_EQ(captureFormat, (WaveFormat{c.captureChannels, c.captureRate, 16})) << c.name;
    // The application records before it plays: its first read claims the
    // capture pin, whose rate then steers the render pin's negotiation.
    const uint32_t bytes = c.captureRate / kBuffersPerSecond * captureFormat.frameBytes();
    std::vector<uint8_t> data;
    EXPECT_EQ(mixer->read(capture, data, bytes).status, kernel::kStatusSuccess);
    bool exact = room.takeCaptured() == std::vector<int16_t>(bytes / 2, 0) && data == std::vector<uint8_t>(bytes, 0);
    kernel::FileObject* render = openPin(0, 2, 48000, 16, &renderFormat);
    EXPECT_EQ(renderFormat.rate, expectedRenderRate) << c.name << ": the render pin's negotiated rate";
    renderRate = renderFormat.rate;
    FarEndTalker talker(static_cast<int32_t>(renderRate));
    Energies energies;
    for (int buffer = 0; buffer < kSeconds * kBuffersPerSecond; buffer++) {
      std::vector<uint8_t> played = renderBuffer(talker, renderRate / kBuffersPerSecond);
      size_t written = played.size();
      EXPECT_EQ(mixer->write(render, played).status, kernel::kStatusSuccess);
      EXPECT_EQ(played.size(), written);
      uint32_t dataUsed = 0;
      EXPECT_EQ(mixer->read(capture, data, bytes, &dataUsed).status, kernel::kStatusSuccess);
      EXPECT_EQ(dataUsed, bytes) << "buffer " << buffer;
      std::vector<int16_t> mic = room.takeCaptured();
      if (bitExact) exact = exact && std::memcmp(mic.data(), data.data(), data.size()) == 0;
      if (buffer >= kSeconds * kBuffersPerSecond / 2) accumulate(energies, mic, data.data(), mic.size());
      if (buffer % 10 == 9) readStatus();  // the application polls every 100 ms
    }
    if (bitExact) {
      EXPECT_TRUE(exact) << c.name << ": with the canceller off the samples come back bit for bit";
    } else {
      // A microphone volume step of +6 dB while active scales the echo-path
      // estimate by 10^(6/20) = 1.995 at once; the figure is rounded to
      // whole thousandths, hence the tolerance of one count.
      model.setNodeName(3, u"Microphone Volume");
      std::u16string name;
      EXPECT_EQ(mixer->nodeName(3, name), kernel::kStatusSuccess);
      uint32_t before = readStatus().echoPathGain;
      EXPECT_EQ(mixer->setVolume(3, 6 * 65536), kernel::kStatusSuccess);
      uint32_t after = readStatus().echoPathGain;
      EXPECT_EQ(filter->pins.micLevel, 60);
      EXPECT_GT(before, 0u) << c.name;
      EXPECT_NEAR(after, before * std::pow(10.0, 6.0 / 20.0), 1.0 + 1e-3 * before) << c.name;
    }
    EXPECT_EQ(mixer->setState(capture, ks::KSSTATE_STOP), kernel::kStatusSuccess);
    EXPECT_EQ(mixer->setState(render, ks::KSSTATE_STOP), kernel::kStatusSuccess);
    EXPECT_FALSE(filter->state.engine.exists()) << "the stop took the engine down";
    mixer->close(capture);
    mixer->close(render);
    model.setRenderSink(nullptr);
    model.setCaptureSource(nullptr);
    return energies;
  }
};

TEST_P(EndToEnd, EchoIsRemovedAsWellAsByTheStreamHalvesDirectly) {
  const SceneCase& c = GetParam();
  start();
  EcSettings settings = enabled(1);
  writeSettings(settings);
  uint32_t renderRate = 0;
  Energies requests = requestRun(c, false, c.expectedRenderRate, renderRate);
  EXPECT_EQ(filter->state.status.active, 0u);
  Energies direct = directRun(c, settings, renderRate);
  printf("%s: echo return loss enhancement through requests %.2f dB, direct %.2f dB\n", c.name, requests.erleDb(),
         direct.erleDb());
  RecordProperty("erleRequestsDb", std::to_string(requests.erleDb()));
  RecordProperty("erleDirectDb", std::to_string(direct.erleDb()));
  EXPECT_GT(direct.erleDb(), 10.0) << c.name;
  EXPECT_NEAR(requests.erleDb(), direct.erleDb(), 1.0) << c.name;
}

TEST_P(EndToEnd, WithTheCancellerOffTheMicrophoneComesBackBitForBit) {
  const SceneCase& c = GetParam();
  start();
  writeSettings(enabled(0));
  uint32_t renderRate = 0;
  // Nothing steers the render rate while the canceller is off.
  Energies off = requestRun(c, true, 48000, renderRate);
  EXPECT_NEAR(off.erleDb(), 0.0, 1e-9) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, EndToEnd,
                         ::testing::Values(SceneCase{"16000 Hz mono", 16000, 1, 16000},
                                           SceneCase{"48000 Hz stereo", 48000, 2, 48000}),
                         [](const ::testing::TestParamInfo<SceneCase>& test) {
                           return std::to_string(test.param.captureRate) + "Hz" +
                                  std::to_string(test.param.captureChannels) + "ch";
                         });

}  // namespace
