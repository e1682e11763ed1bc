// Read and write requests through the filter over the audio device model:
// which pins are claimed, where the stream header is found, which requests
// are left alone, and that only the tracked pins' buffers are worked on.
#include "filter/stream_interception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ks_fixture.h"
#include "sim/kernel/sim_process.h"

namespace {

using sim::WaveFormat;

// 32-bit containers with a sample in the upper half and a mark in the lower.
uint32_t fillContainers(uint8_t* data, uint32_t bytes, const WaveFormat&) {
  for (uint32_t i = 0; i + 4 <= bytes; i += 4) {
    uint32_t container = static_cast<uint32_t>(1000 + i) << 16 | 0xBEEF;
    std::memcpy(data + i, &container, 4);
  }
  return bytes;
}

class StreamInterception : public KsFixture {
 protected:
  void SetUp() override {
    KsFixture::SetUp();
    start();
    model.setRanges(2, {{2, 16, 32, 8000, 48000}});
    model.setCaptureSource(fillContainers);
    writeSettings(enabled(0));  // monitor only: the peaks and the layout work, no engine
  }
  bool lowerHalvesKept(const std::vector<uint8_t>& data) {
    for (size_t i = 0; i + 4 <= data.size(); i += 4) {
      if (data[i] != 0xEF || data[i + 1] != 0xBE) return false;
    }
    return true;
  }
};

TEST_F(StreamInterception, FirstReadAndWriteClaimTheirPinsWithFormatAndCreator) {
  sim::setCurrentProcessId(1234);
  kernel::FileObject* capture = mixer->createPin(2, {2, 32000, 32});
  sim::setCurrentProcessId(4);
  kernel::FileObject* render = mixer->createPin(0, {2, 48000, 16});
  filter->state.captureCarry = 3;
  filter->state.status.writeRate = 44100;  // set earlier by a data-format request
  EXPECT_EQ(filter->pins.table.count, 2u);

  std::vector<uint8_t> data;
  EXPECT_EQ(mixer->read(capture, data, 1280).status, kernel::kStatusSuccess);
  const EcStatus& s = filter->state.status;
  EXPECT_EQ(filter->pins.capturePin, capture);
  EXPECT_EQ(s.captureRunning, 1u);
  EXPECT_EQ(s.readRate, 32000u);
  EXPECT_EQ(s.readChannels, 2u);
  EXPECT_EQ(s.readBits, 32u);
  EXPECT_EQ(s.processId, 1234u);
  EXPECT_EQ(filter->state.captureCarry, 0u);

  std::vector<uint8_t> frames(400, 0);
  EXPECT_EQ(mixer->write(render, frames).status, kernel::kStatusSuccess);
  EXPECT_EQ(filter->pins.renderPin, render);
  EXPECT_EQ(s.renderRunning, 1u);
  EXPECT_EQ(s.writeRate, 44100u) << "only fields still 0 take the pin's format";
  EXPECT_EQ(s.writeChannels, 2u);
  EXPECT_EQ(s.writeBits, 16u);
  EXPECT_EQ(filter->pins.renderFormat.nSamplesPerSec, 48000u);
  EXPECT_EQ(filter->pins.table.count, 0u);
}

TEST_F(StreamInterception, NinePinsWithoutStreamingLeaveOnlyTheNinth) {
  std::vector<kernel::FileObject*> pins;
  for (int i = 0; i < 9; i++) pins.push_back(mixer->createPin(2, {1, 16000, 16}));
  std::vector<uint8_t> data;
  mixer->read(pins[0], data, 320);
  EXPECT_EQ(filter->pins.capturePin, nullptr) << "the first pin was pushed out";
  mixer->read(pins[8], data, 320);
  EXPECT_EQ(filter->pins.capturePin, pins[8]);
}

TEST_F(StreamInterception, KernelReadsAreWorkedOnWhereverTheHeaderIs) {
  kernel::FileObject* capture = mixer->createPin(2, {1, 16000, 32});
  for (bool systemBuffer : {false, true}) {
    mixer->setHeadersInSystemBuffer(systemBuffer);
    std::vector<uint8_t> data;
    filter->state.status.readPeak = 0;
    mixer->read(capture, data, 640);
    ASSERT_EQ(data.size(), 640u);
    EXPECT_FALSE(lowerHalvesKept(data)) << "32-bit containers come back with cleared lower halves";
    EXPECT_EQ(filter->state.status.readPeak, 1000u + 636u) << (systemBuffer ? "system buffer" : "user buffer");
  }
}

TEST_F(StreamInterception, RequestsTheFilterLeavesAlone) {
  kernel::FileObject* capture = mixer->createPin(2, {1, 16000, 32});
  kernel::FileObject* render = mixer->createPin(0, {2, 16000, 16});
  std::vector<uint8_t> data;
  mixer->read(capture, data, 640);
  std::vector<uint8_t> frames(400, 0);
  mixer->write(render, frames);
  writeSettings(enabled(1));
  const EcStatus& s = filter->state.status;

  // A user-mode read of the tracked capture pin: flagged, unprocessed.
  sim::KsClient* application = client(kernel::RequestorMode::User);
  filter->state.status.readPeak = 0;
  application->read(capture, data, 640);
  EXPECT_TRUE(lowerHalvesKept(data)) << "user-mode capture";
  EXPECT_EQ(s.readPeak, 0u);
  EXPECT_EQ(s.flags & EcStatus::kFlagUserModeCapture, EcStatus::kFlagUserModeCapture);
  mixer->read(capture, data, 640);
  EXPECT_EQ(s.flags & EcStatus::kFlagUserModeCapture, 0u) << "the next kernel-mode read clears the flag";

  // A read whose device reports more data than the header's FrameExtent.
  model.setCaptureSource([](uint8_t* at, uint32_t bytes, const WaveFormat& f) { return fillContainers(at, bytes, f) + 4; });
  filter->state.status.readPeak = 0;
  uint32_t dataUsed = 0;
  mixer->read(capture, data, 640, &dataUsed);
  EXPECT_EQ(dataUsed, 644u);
  EXPECT_TRUE(lowerHalvesKept(data)) << "DataUsed beyond FrameExtent is malformed";
  EXPECT_EQ(s.readPeak, 0u);

  // Writes: user mode with the header in the user buffer or the system
  // buffer, and a kernel-mode write whose DataUsed exceeds its FrameExtent.
  struct WriteCase {
    const char* name;
    kernel::RequestorMode mode;
    bool systemBuffer;
    uint32_t extraDataUsed;
  };
  const WriteCase writes[] = {
      {"user mode, user buffer", kernel::RequestorMode::User, false, 0},
      {"user mode, system buffer", kernel::RequestorMode::User, true, 0},
      {"DataUsed beyond FrameExtent", kernel::RequestorMode::Kernel, false, 4},
  };
  for (const WriteCase& w : writes) {
    sim::KsClient* writer = client(w.mode);
    writer->setHeadersInSystemBuffer(w.systemBuffer);
    std::vector<int16_t> stereo = {1000, 3000, -200, -400};
    std::vector<uint8_t> bytes(8);
    std::memcpy(bytes.data(), stereo.data(), 8);
    ks::KSSTREAM_HEADER header{};
    header.Size = sizeof header;
    header.FrameExtent = 8;
    header.DataUsed = 8 + w.extraDataUsed;
    header.Data = bytes.data();
    filter->state.status.writePeak = 0;
    EXPECT_EQ(writer->stream(render, false, header).status, kernel::kStatusSuccess) << w.name;
    EXPECT_EQ(s.writePeak, 0u) << w.name << ": not examined";
    std::vector<int16_t> after(4);
    std::memcpy(after.data(), bytes.data(), 8);
    EXPECT_EQ(after, stereo) << w.name;
  }
}

TEST_F(StreamInterception, OnlyTheTrackedPinsAreWorkedOn) {
  // A second audio device with its own pins, streaming while the first
  // device's pins are tracked.
  kernel::FileObject* capture = mixer->createPin(2, {1, 16000, 16});
  kernel::FileObject* render = mixer->createPin(0, {2, 16000, 16});
  std::vector<uint8_t> data;
  mixer->read(capture, data, 320);
  std::vector<uint8_t> frames(400, 0);
  mixer->write(render, frames);

  kernel::DeviceObject* second = startedInstance();
  // Both devices share one function driver in the simulation: the model
  // serves both, its pins are told apart by their file objects.
  model.setRanges(2, {{2, 16, 32, 8000, 48000}});
  sim::KsClient* otherMixer = client(kernel::RequestorMode::Kernel, second);
  kernel::FileObject* otherCapture = otherMixer->createPin(2, {1, 16000, 32});
  kernel::FileObject* otherRender = otherMixer->createPin(0, {2, 16000, 16});
  filter->state.status.readPeak = filter->state.status.writePeak = 0;
  otherMixer->read(otherCapture, data, 640);
  EXPECT_TRUE(lowerHalvesKept(data)) << "another capture stream is not converted in the tracked pin's format";
  std::vector<int16_t> stereo = {1000, 3000};
  std::vector<uint8_t> bytes(4);
  std::memcpy(bytes.data(), stereo.data(), 4);
  otherMixer->write(otherRender, bytes);
  std::vector<int16_t> after(2);
  std::memcpy(after.data(), bytes.data(), 4);
  EXPECT_EQ(after, stereo);
  EXPECT_EQ(filter->state.status.readPeak, 0u);
  EXPECT_EQ(filter->state.status.writePeak, 0u);
  EXPECT_EQ(filter->pins.capturePin, capture);
  EXPECT_EQ(filter->pins.renderPin, render);
}

TEST(StreamHeader, DataIsFoundOnlyInAWellFormedHeader) {
  uint8_t buffer[16];
  struct Case {
    const char* name;
    uint32_t headersLength;
    uint32_t frameExtent, dataUsed;
    void* data;
    bool found;
  };
  const Case cases[] = {
      {"whole header", sizeof(ks::KSSTREAM_HEADER), 16, 16, buffer, true},
      {"nothing used", sizeof(ks::KSSTREAM_HEADER), 16, 0, buffer, true},
      {"DataUsed beyond FrameExtent", sizeof(ks::KSSTREAM_HEADER), 16, 17, buffer, false},
      {"no data", sizeof(ks::KSSTREAM_HEADER), 16, 16, nullptr, false},
      {"buffer shorter than a header", sizeof(ks::KSSTREAM_HEADER) - 1, 16, 16, buffer, false},
  };
  for (const Case& c : cases) {
    ks::KSSTREAM_HEADER header{};
    header.FrameExtent = c.frameExtent;
    header.DataUsed = c.dataUsed;
    header.Data = c.data;
    uint8_t* data = nullptr;
    uint32_t used = 0;
    EXPECT_EQ(streamData(&header, c.headersLength, data, used), c.found) << c.name;
    if (c.found) {
      EXPECT_EQ(used, c.dataUsed) << c.name;
    }
  }
  uint8_t* data = nullptr;
  uint32_t used = 0;
  EXPECT_FALSE(streamData(nullptr, 100, data, used));
}

}  // namespace
