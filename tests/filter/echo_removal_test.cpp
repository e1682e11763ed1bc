// End to end through the two stream halves: render buffers feed the
// reference, capture buffers come back with the loudspeaker echo removed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "echo_scene.h"
#include "filter/capture_stream.h"
#include "filter/render_stream.h"
#include "support/driver_fixture.h"

namespace {

struct EchoCase {
  int32_t rate;
  uint32_t captureChannels;
  uint32_t micMode;
  double floorDb;  // asserted echo return loss enhancement, just below what is measured
};

class EchoRemoval : public DriverFixture, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(EchoRemoval, FarEndOnlyEchoIsRemoved) {
  const EchoCase& c = GetParam();
  driver.settings.enable = 1;
  driver.settings.micMode = c.micMode;
  setStreams(static_cast<uint32_t>(c.rate), c.captureChannels, 16, static_cast<uint32_t>(c.rate), 16, 2);

  FarEndTalker farEnd(c.rate);
  EchoPath room(c.rate, 60.0);
  const int32_t frames = c.rate / 100;  // 10 ms buffers
  const int seconds = 6;
  double micEnergy = 0, outEnergy = 0;
  bool firstBufferUnchanged = false;
  for (int buffer = 0; buffer < seconds * 100; buffer++) {
    std::vector<int16_t> render(static_cast<size_t>(2 * frames));
    for (int32_t i = 0; i < frames; i++) render[2 * i] = render[2 * i + 1] = farEnd.next();
    // The loudspeakers play what comes out of the render path.
    std::vector<uint8_t> renderBytes(render.size() * 2);
    std::memcpy(renderBytes.data(), render.data(), renderBytes.size());
    renderBufferWritten(driver, renderBytes.data(), static_cast<uint32_t>(renderBytes.size()));
    std::memcpy(render.data(), renderBytes.data(), renderBytes.size());

    std::vector<int16_t> capture(static_cast<size_t>(frames) * c.captureChannels);
    for (int32_t i = 0; i < frames; i++) {
      int16_t echo = room.echo(render[2 * i]);
      for (uint32_t ch = 0; ch < c.captureChannels; ch++) capture[i * c.captureChannels + ch] = echo;
    }
    const std::vector<int16_t> captured = capture;
    std::vector<uint8_t> captureBytes(capture.size() * 2);
    std::memcpy(captureBytes.data(), capture.data(), captureBytes.size());
    captureBufferFilled(driver, captureBytes.data(), static_cast<uint32_t>(captureBytes.size()), true);
    std::memcpy(capture.data(), captureBytes.data(), captureBytes.size());
    if (buffer == 0) firstBufferUnchanged = capture == captured;

    if (buffer >= seconds * 50) {  // the last half
      for (size_t i = 0; i < capture.size(); i++) {
        micEnergy += static_cast<double>(captured[i]) * captured[i];
        outEnergy += static_cast<double>(capture[i]) * capture[i];
      }
    }
  }
  EXPECT_TRUE(firstBufferUnchanged) << "the first qualifying buffer waits for the reference";
  EXPECT_EQ(driver.status.active, 1u);
  double erleDb = 10 * std::log10(micEnergy / std::max(outEnergy, 1.0));
  EXPECT_GT(erleDb, c.floorDb) << c.rate << " Hz, " << c.captureChannels << " channels, mode " << c.micMode;
  RecordProperty("erleDb", std::to_string(erleDb));
}

INSTANTIATE_TEST_SUITE_P(
    SevenRates, EchoRemoval,
    // Measured: 14.2, 14.9, 15.8, 16.6, 17.6, 18.9, 19.0, 19.0 and 19.2 dB. The
    // output left is essentially the comfort noise (an RMS near 190), which
    // bounds the figure; the higher capture rates gain from the conversion's
    // band limit.
    ::testing::Values(EchoCase{8000, 1, 1, 13.7}, EchoCase{11025, 1, 1, 14.5}, EchoCase{16000, 1, 1, 15.1},
                      EchoCase{22050, 1, 1, 16.1}, EchoCase{32000, 1, 1, 17.1}, EchoCase{44100, 1, 1, 18.1},
                      EchoCase{48000, 1, 1, 18.5}, EchoCase{48000, 2, 1, 18.4}, EchoCase{48000, 2, 2, 18.5}),
    [](const ::testing::TestParamInfo<EchoCase>& test) {
      return std::to_string(test.param.rate) + "Hz" + std::to_string(test.param.captureChannels) + "ch" +
             "Mode" + std::to_string(test.param.micMode);
    });

}  // namespace
