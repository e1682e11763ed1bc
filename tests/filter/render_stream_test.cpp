// The render path on a buffer on its way to the loudspeakers: the mono mix,
// the write peak, the reference feed and the write-back while active.
#include "filter/render_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/echo_canceller.h"
#include "support/driver_fixture.h"

namespace {

class RenderStream : public DriverFixture {
 protected:
  // An engine whose canceller takes the reference at the render rate.
  void activate() {
    ASSERT_TRUE(driver.engine.configure(1, 0, 16000, 16000, 160, true, false, false));
    driver.status.active = 1;
  }
  template <typename Sample>
  std::vector<Sample> write(std::vector<Sample> samples) {
    std::vector<uint8_t> bytes(samples.size() * sizeof(Sample));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    renderBufferWritten(driver, bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::memcpy(samples.data(), bytes.data(), bytes.size());
    return samples;
  }
};

TEST_F(RenderStream, StereoSixteenBitFramesMixToTheirTruncatedMean) {
  struct Case {
    std::vector<int16_t> frame;
    int16_t mono;
    uint32_t peak;
  };
  const Case cases[] = {
      {{1000, -3001}, -1000, 1000},  // -1000.5 truncates toward zero
      {{32767, 32767}, 32767, 32767},
      {{-32768, -32768}, -32768, 32768},
      {{-32768, 32767}, 0, 0},
  };
  for (const Case& c : cases) {
    initializeDriverState(driver);
    driver.settings.enable = 1;
    setStreams(16000, 1, 16, 16000, 16, 2);
    activate();
    std::vector<int16_t> after = write(c.frame);
    EXPECT_EQ(after, (std::vector<int16_t>{c.mono, c.mono})) << c.frame[0] << ", " << c.frame[1];
    EXPECT_EQ(driver.status.writePeak, c.peak);
    EXPECT_EQ(driver.engine.referenceCount, 1) << "one frame, one reference sample";
    EXPECT_EQ(driver.referenceStarted, 1);
    destroyEngine(driver);
  }
}

TEST_F(RenderStream, WhileInactiveOnlyThePeakIsTracked) {
  const struct {
    const char* name;
    uint32_t enable, monitor;
    uint32_t peak;
  } cases[] = {{"monitor only", 0, 1, 1000}, {"enable, canceller not active", 1, 0, 1000}, {"neither", 0, 0, 0}};
  for (const auto& c : cases) {
    initializeDriverState(driver);
    driver.settings.enable = c.enable;
    driver.settings.monitor = c.monitor;
    setStreams(16000, 1, 16, 16000, 16, 2);
    std::vector<int16_t> frames = {1000, -3001, 5, 7};
    EXPECT_EQ(write(frames), frames) << c.name;
    EXPECT_EQ(driver.status.writePeak, c.peak) << c.name;
    EXPECT_EQ(driver.referenceStarted, 0) << c.name;
  }
}

TEST_F(RenderStream, ThirtyTwoBitContainersKeepTheirLowerHalves) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000, 32, 2);
  activate();
  std::vector<int32_t> after = write(std::vector<int32_t>{0x03E8ABCD, static_cast<int32_t>(0xF447FFFFu)});
  // Upper halves 1000 and -3001 mix to -1000 (0xFC18).
  EXPECT_EQ(after, (std::vector<int32_t>{static_cast<int32_t>(0xFC18ABCDu), static_cast<int32_t>(0xFC18FFFFu)}));
  EXPECT_EQ(driver.status.writePeak, 1000u);
}

TEST_F(RenderStream, WidthsTheCancellerCannotUseAreNeitherFedNorWrittenBack) {
  const struct {
    uint32_t bits;
    std::vector<uint8_t> frame;
    uint32_t peak;
  } cases[] = {
      {8, {0, 255}, 128},                 // (-32768 + 32512) / 2 = -128
      {24, {0, 0, 0x10, 0, 0, 0x20}, 0},  // each sample read by its first two bytes
  };
  for (const auto& c : cases) {
    initializeDriverState(driver);
    driver.settings.enable = 1;
    setStreams(16000, 1, 16, 16000, c.bits, 2);
    activate();
    EXPECT_EQ(write(c.frame), c.frame) << c.bits << " bits";
    EXPECT_EQ(driver.status.writePeak, c.peak) << c.bits << " bits";
    EXPECT_EQ(driver.engine.referenceCount, 0) << c.bits << " bits";
    EXPECT_EQ(driver.referenceStarted, 0) << c.bits << " bits: no reference has flowed";
    destroyEngine(driver);
  }
}

TEST_F(RenderStream, FeedSkippedWhenTheFloatStateCannotBeSavedButWriteBackStays) {
  driver.settings.enable = 1;
  setStreams(16000, 1, 16, 16000, 16, 2);
  activate();
  sim::failFloatSaves(1);
  EXPECT_EQ(write(std::vector<int16_t>{100, 300, 10, 20}), (std::vector<int16_t>{200, 200, 15, 15}));
  EXPECT_EQ(driver.engine.referenceCount, 1) << "the first frame's sample was not fed";
}

TEST_F(RenderStream, MonoAndMultichannelFrames) {
  const struct {
    uint32_t channels;
    std::vector<int16_t> frames, after;
  } cases[] = {
      {1, {-7, 9}, {-7, 9}},                  // nothing to write back to
      {4, {10, 20, 99, 98}, {15, 15, 99, 98}},  // further channels are ignored
      {2, {1, 2, 3}, {1, 1, 3}},                // the half frame at the end is left alone
  };
  for (const auto& c : cases) {
    initializeDriverState(driver);
    driver.settings.enable = 1;
    setStreams(16000, 1, 16, 16000, 16, c.channels);
    activate();
    EXPECT_EQ(write(c.frames), c.after) << c.channels << " channels";
    destroyEngine(driver);
  }
}

TEST_F(RenderStream, SteadyFeedNeverAllocates) {
  driver.settings.enable = 1;
  setStreams(48000, 2, 16, 48000, 16, 2);
  ASSERT_TRUE(driver.engine.configure(2, 0, 48000, 48000, 960, true, true, false));
  driver.status.active = 1;
  const int64_t allocations = sim::poolCounters().totalAllocations;
  std::vector<int16_t> frames(960);
  for (int buffer = 0; buffer < 200; buffer++) {
    for (size_t i = 0; i < frames.size(); i++) frames[i] = static_cast<int16_t>((i * 131 + buffer) % 2000);
    write(frames);
  }
  EXPECT_EQ(sim::poolCounters().totalAllocations, allocations);
  EXPECT_GT(driver.engine.canceller1->referenceSamples, 0);
}

}  // namespace
