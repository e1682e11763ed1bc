// The capture path on a filled read buffer: what the requester gets back, the
// peak, the carry of incomplete frames, and when the engine is called.
#include "filter/capture_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/driver_fixture.h"

namespace {

std::vector<uint8_t> bytesOf(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

std::vector<uint8_t> containersOf(const std::vector<int32_t>& containers) {
  std::vector<uint8_t> bytes(containers.size() * 4);
  std::memcpy(bytes.data(), containers.data(), bytes.size());
  return bytes;
}

int loadSample(const std::vector<uint8_t>& bytes, size_t index) {
  int16_t value;
  std::memcpy(&value, bytes.data() + 2 * index, 2);
  return value;
}

class CaptureStream : public DriverFixture {
 protected:
  void fill(std::vector<uint8_t>& bytes, bool kernelMode = true) {
    captureBufferFilled(driver, bytes.data(), static_cast<uint32_t>(bytes.size()), kernelMode);
  }
};

TEST_F(CaptureStream, SwapsStereoFramesBeforeTheEngine) {
  driver.settings.monitor = 1;
  driver.settings.swapChannels = 1;
  setStreams(48000, 2, 16, 0);
  std::vector<int16_t> frames(960);
  for (size_t i = 0; i < 480; i++) {
    frames[2 * i] = static_cast<int16_t>(i);
    frames[2 * i + 1] = static_cast<int16_t>(-static_cast<int>(i) - 1);
  }
  std::vector<uint8_t> bytes = bytesOf(frames);
  fill(bytes);
  for (size_t i = 0; i < 480; i++) {
    ASSERT_EQ(loadSample(bytes, 2 * i), -static_cast<int>(i) - 1) << "frame " << i;
    ASSERT_EQ(loadSample(bytes, 2 * i + 1), static_cast<int>(i)) << "frame " << i;
  }
  EXPECT_EQ(driver.status.readPeak, 480u);
}

TEST_F(CaptureStream, IncompleteFramesAreCarriedMeasuredAndNotProcessed) {
  driver.settings.monitor = 1;
  driver.settings.swapChannels = 1;
  setStreams(48000, 2, 16, 48000);
  // 1922 bytes: 480 frames and half of one more.
  std::vector<int16_t> first(961, 100);
  std::vector<uint8_t> bytes = bytesOf(first);
  const std::vector<uint8_t> firstCaptured = bytes;
  fill(bytes);
  EXPECT_EQ(bytes, firstCaptured) << "no swap of a buffer without whole frames";
  EXPECT_EQ(driver.captureCarry, 2u);
  EXPECT_EQ(driver.status.flags, EcStatus::kFlagCaptureFormatUnusable) << "the render pin is known";

  // The next buffer's first 2 bytes complete the carried frame: not measured.
  std::vector<int16_t> second(961, 200);
  second[0] = 30000;
  bytes = bytesOf(second);
  fill(bytes);
  EXPECT_EQ(driver.captureCarry, 0u);
  EXPECT_EQ(driver.status.readPeak, 200u);
}

TEST_F(CaptureStream, IncompleteFramesWithoutRenderPinRaiseNoFlag) {
  driver.settings.monitor = 1;
  setStreams(48000, 2, 16, 0);
  std::vector<uint8_t> bytes(1922, 0);
  fill(bytes);
  EXPECT_EQ(driver.status.flags, 0u);
  EXPECT_EQ(driver.captureCarry, 2u);
}

TEST_F(CaptureStream, ThirtyTwoBitContainersComeBackWithLowerHalvesCleared) {
  driver.settings.monitor = 1;
  setStreams(48000, 2, 32, 0);
  std::vector<int32_t> containers = {0x12345678, -1, static_cast<int32_t>(0x80000001u), 0x0000FFFF};
  std::vector<uint8_t> bytes = containersOf(containers);
  fill(bytes);
  std::vector<int32_t> after(4);
  std::memcpy(after.data(), bytes.data(), 16);
  EXPECT_EQ(after, (std::vector<int32_t>{0x12340000, static_cast<int32_t>(0xFFFF0000u),
                                          static_cast<int32_t>(0x80000000u), 0}));
  EXPECT_EQ(driver.status.readPeak, 32768u) << "the upper half 0x8000 reads -32768";
}

TEST_F(CaptureStream, EightBitSamplesReadByTheByteRule) {
  const struct {
    uint8_t byte;
    uint32_t peak;
  } cases[] = {{0, 32768}, {255, 32512}, {128, 0}, {127, 256}};
  for (const auto& c : cases) {
    driver.status.readPeak = 0;
    driver.settings.monitor = 1;
    setStreams(16000, 1, 8, 0);
    std::vector<uint8_t> bytes(160, c.byte);
    fill(bytes);
    EXPECT_EQ(driver.status.readPeak, c.peak) << "byte " << int{c.byte};
    EXPECT_EQ(bytes, std::vector<uint8_t>(160, c.byte));
  }
}

TEST_F(CaptureStream, BuffersThatAreNotExaminedPassUntouched) {
  struct Case {
    const char* name;
    uint32_t enable, monitor, arrayEnable;
    uint32_t bits, channels;
    bool kernelMode;
  };
  const Case cases[] = {
      {"nothing observes the stream", 0, 0, 0, 32, 2, true},
      {"user-mode requester", 1, 1, 0, 32, 2, false},
      {"no channels", 1, 1, 0, 32, 0, true},
      {"no bits", 1, 1, 0, 0, 2, true},
      {"4 bits: no whole bytes per sample", 1, 1, 0, 4, 2, true},
  };
  for (const Case& c : cases) {
    initializeDriverState(driver);
    driver.settings.enable = c.enable;
    driver.settings.monitor = c.monitor;
    driver.arraySettings.enable = c.arrayEnable;
    setStreams(48000, c.channels, c.bits, 48000);
    std::vector<uint8_t> bytes(1920);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> captured = bytes;
    fill(bytes, c.kernelMode);
    EXPECT_EQ(bytes, captured) << c.name;
    EXPECT_EQ(driver.status.readPeak, 0u) << c.name;
    EXPECT_FALSE(driver.engine.exists()) << c.name;
  }
}

TEST_F(CaptureStream, UserModeReadsAreFlaggedUntilTheNextKernelModeRead) {
  driver.settings.monitor = 1;
  setStreams(16000, 1, 16, 0);
  std::vector<uint8_t> bytes(320, 1);
  fill(bytes, false);
  EXPECT_EQ(driver.status.flags, EcStatus::kFlagUserModeCapture);
  fill(bytes, true);
  EXPECT_EQ(driver.status.flags, 0u);
}

TEST_F(CaptureStream, CallsTheEngineWithTheSamplesOfAllChannels) {
  struct Case {
    uint32_t bits;
    size_t bytes;
    int32_t captureFrames;  // what the engine was built for
  };
  const Case cases[] = {{16, 640, 160}, {32, 1280, 160}};
  for (const Case& c : cases) {
    initializeDriverState(driver);
    driver.settings.enable = 1;
    setStreams(16000, 2, c.bits, 16000);
    std::vector<uint8_t> bytes(c.bytes, 0);
    fill(bytes);
    ASSERT_TRUE(driver.engine.exists()) << c.bits << " bits";
    EXPECT_EQ(driver.engine.captureFrames, c.captureFrames) << c.bits << " bits";
    destroyEngine(driver);
  }
}

TEST_F(CaptureStream, WidthsTheEngineCannotReadAreReportedNotRead) {
  driver.settings.enable = 1;
  driver.settings.swapChannels = 1;
  setStreams(16000, 2, 24, 16000);
  std::vector<uint8_t> bytes(960);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>(i);
  const std::vector<uint8_t> captured = bytes;
  fill(bytes);
  EXPECT_EQ(bytes, captured) << "24-bit frames are neither swapped nor processed";
  EXPECT_EQ(driver.status.flags, EcStatus::kFlagCaptureFormatUnusable);
  EXPECT_FALSE(driver.engine.exists());
}

TEST_F(CaptureStream, EngineSkippedWhenTheFloatStateCannotBeSaved) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000);
  std::vector<uint8_t> bytes(320, 0);
  sim::failFloatSaves(1);
  fill(bytes);
  EXPECT_FALSE(driver.engine.exists());
  fill(bytes);
  EXPECT_TRUE(driver.engine.exists());
}

}  // namespace
