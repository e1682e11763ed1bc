// The audio device model the filter tests stand on, driven by its requesters
// with no filter in between: negotiation, pin creation, the connection
// properties, node properties and the streams.
#include "sim/audio/sim_audio_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "sim/audio/sim_audio_device.h"
#include "sim/audio/sim_ks_client.h"
#include "sim/kernel/sim_io.h"

namespace {

using sim::AudioRange;
using sim::FormatSpecifier;
using sim::WaveFormat;

class AudioModel : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetIo();
    audio = std::make_unique<sim::AudioDriver>();
    device = audio->addInstance();
    audio->setModel(&model);
    mixer = std::make_unique<sim::KsClient>(device);
  }
  void TearDown() override {
    mixer.reset();
    audio->finishPending();
    EXPECT_EQ(sim::violationLog(), std::vector<std::string>{});
    EXPECT_EQ(sim::ioCounters().openFiles, 0);
    audio.reset();
    sim::resetIo();
  }
  sim::AudioDeviceModel model;
  std::unique_ptr<sim::AudioDriver> audio;
  kernel::DeviceObject* device = nullptr;
  std::unique_ptr<sim::KsClient> mixer;
};

TEST_F(AudioModel, FactoriesAnswerTheirRangesAndIntersectWithProposals) {
  model.setRanges(2, {{1, 16, 16, 8000, 16000}, {2, 16, 32, 32000, 48000}});
  std::vector<AudioRange> ranges;
  ASSERT_EQ(mixer->dataRanges(2, ranges), kernel::kStatusSuccess);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1].maxBits, 32u);
  EXPECT_EQ(ranges[1].minRate, 32000u);
  EXPECT_EQ(mixer->dataRanges(7, ranges), sim::AudioDeviceModel::kStatusNotFound) << "no such factory";

  struct Case {
    const char* name;
    AudioRange proposed;
    kernel::Status status;
    WaveFormat chosen;
  };
  const Case cases[] = {
      {"highest standard rate of the overlap", {2, 16, 16, 8000, 48000}, kernel::kStatusSuccess, {1, 16000, 16}},
      {"second range, widest common bits", {2, 16, 32, 22050, 44100}, kernel::kStatusSuccess, {2, 44100, 32}},
      {"nothing in common", {2, 8, 8, 8000, 48000}, sim::AudioDeviceModel::kStatusNoMatch, {}},
  };
  for (const Case& c : cases) {
    WaveFormat chosen{};
    EXPECT_EQ(mixer->intersect(2, {c.proposed}, chosen), c.status) << c.name;
    if (kernel::isSuccess(c.status)) {
      EXPECT_EQ(chosen, c.chosen) << c.name;
    }
  }
}

TEST_F(AudioModel, PinsAreCreatedInTheirRangesAndKeepStateAndFormat) {
  struct Case {
    const char* name;
    uint32_t pinId;
    WaveFormat format;
    FormatSpecifier specifier;
    bool created;
  };
  const Case cases[] = {
      {"capture, wave format", 2, {1, 16000, 16}, FormatSpecifier::WaveFormatEx, true},
      {"render, DirectSound", 0, {2, 48000, 32}, FormatSpecifier::DirectSound, true},
      {"rate out of range", 2, {1, 96000, 16}, FormatSpecifier::WaveFormatEx, false},
      {"no such factory", 5, {1, 16000, 16}, FormatSpecifier::WaveFormatEx, false},
  };
  for (const Case& c : cases) {
    kernel::Status status = 0;
    kernel::FileObject* pin = mixer->createPin(c.pinId, c.format, c.specifier, &status);
    EXPECT_EQ(pin != nullptr, c.created) << c.name;
    if (pin == nullptr) {
      EXPECT_EQ(status, sim::AudioDeviceModel::kStatusNoMatch) << c.name;
      continue;
    }
    EXPECT_EQ(model.pinFormat(pin), c.format) << c.name;
    EXPECT_EQ(mixer->setState(pin, ks::KSSTATE_RUN), kernel::kStatusSuccess);
    uint32_t state = 99;
    EXPECT_EQ(mixer->getState(pin, state), kernel::kStatusSuccess);
    EXPECT_EQ(state, ks::KSSTATE_RUN) << c.name;
    WaveFormat other = c.format;
    other.rate = 8000;
    EXPECT_EQ(mixer->setDataFormat(pin, other), kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(model.pinFormat(pin), other) << c.name;
    mixer->close(pin);
  }
  EXPECT_EQ(model.pinCount(), 0u) << "closed pins are gone";
}

TEST_F(AudioModel, NodesKeepVolumesAndAnswerNames) {
  model.setNodeName(3, u"Microphone Volume");
  EXPECT_EQ(mixer->setVolume(3, -6 * 65536), kernel::kStatusSuccess);
  EXPECT_EQ(model.volumeLevel(3), -6 * 65536);
  std::u16string name;
  EXPECT_EQ(mixer->nodeName(3, name), kernel::kStatusSuccess);
  EXPECT_EQ(name, u"Microphone Volume");
  EXPECT_EQ(mixer->nodeName(4, name), sim::AudioDeviceModel::kStatusNotFound);
}

TEST_F(AudioModel, ReadsAreFilledWithWholeFramesAndWritesReachTheSink) {
  std::vector<uint8_t> played;
  model.setRenderSink([&](const uint8_t* d, uint32_t n, const WaveFormat& f) {
    EXPECT_EQ(f, (WaveFormat{2, 48000, 16}));
    played.assign(d, d + n);
  });
  model.setCaptureSource([](uint8_t* d, uint32_t n, const WaveFormat&) {
    for (uint32_t i = 0; i < n; i++) d[i] = static_cast<uint8_t>(i);
    return n;
  });
  kernel::FileObject* capture = mixer->createPin(2, {2, 16000, 16});
  kernel::FileObject* render = mixer->createPin(0, {2, 48000, 16});
  for (bool systemBuffer : {false, true}) {
    mixer->setHeadersInSystemBuffer(systemBuffer);
    std::vector<uint8_t> data;
    uint32_t dataUsed = 0;
    EXPECT_EQ(mixer->read(capture, data, 642, &dataUsed).status, kernel::kStatusSuccess);
    EXPECT_EQ(dataUsed, 640u) << "whole 4-byte frames only";
    EXPECT_EQ(data[5], 5);
    std::vector<uint8_t> frames = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(mixer->write(render, frames).status, kernel::kStatusSuccess);
    EXPECT_EQ(played, frames);
  }
  std::vector<uint8_t> data;
  EXPECT_EQ(mixer->read(render, data, 64).status, kernel::kStatusInvalidDeviceRequest) << "a render pin is not read";
  mixer->close(capture);
  mixer->close(render);
}

}  // namespace
