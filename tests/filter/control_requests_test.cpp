// The control codes on plain memory: exact lengths, the initial records, the
// status read's statistics and peak reset, switching the canceller off.
#include "filter/control_requests.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "shared/control_codes.h"
#include "support/driver_fixture.h"

namespace {

constexpr uint32_t kSentinel = 0xDEADBEEF;

class ControlRequests : public DriverFixture {
 protected:
  // Sends a request through a buffer of `length` 32-bit sentinels (or
  // `input` when given) and returns the buffer as it came back.
  std::vector<uint32_t> send(uint32_t code, uint32_t inputLength, uint32_t outputLength,
                             const std::vector<uint32_t>& input = {}) {
    size_t words = (std::max(inputLength, outputLength) + 3) / 4 + 1;  // one canary word past the end
    std::vector<uint32_t> buffer(words, kSentinel);
    if (!input.empty()) std::memcpy(buffer.data(), input.data(), std::min<size_t>(input.size() * 4, inputLength));
    sent = buffer;
    sent.pop_back();
    last = handleControlRequest(driver, code, buffer.data(), inputLength, outputLength);
    EXPECT_EQ(buffer.back(), kSentinel) << "written past the buffer";
    buffer.pop_back();
    return buffer;
  }

  ControlRequestResult last{};
  std::vector<uint32_t> sent;  // the buffer as it went in
};

TEST_F(ControlRequests, ReadsBeforeAnyWriteGiveTheInitialRecords) {
  EXPECT_EQ(send(IOCTL_EC_GET_SETTINGS, 0, 28), (std::vector<uint32_t>{0, 0, 1, 0, 127, 1, 0}));
  EXPECT_EQ(last.bytesReturned, 28u);
  EXPECT_EQ(send(IOCTL_ARRAY_GET_SETTINGS, 0, 12), (std::vector<uint32_t>{0, 0, 15}));
  EXPECT_EQ(last.bytesReturned, 12u);
}

TEST_F(ControlRequests, LengthsOtherThanTheRecordsDoNothingAndSucceed) {
  struct Case {
    const char* name;
    uint32_t code, inputLength, outputLength;
  };
  const Case cases[] = {
      {"settings read short", IOCTL_EC_GET_SETTINGS, 0, 27},
      {"settings read long", IOCTL_EC_GET_SETTINGS, 0, 29},
      {"settings write short", IOCTL_EC_SET_SETTINGS, 27, 0},
      {"settings write long", IOCTL_EC_SET_SETTINGS, 29, 0},
      {"status read short", IOCTL_EC_GET_STATUS, 0, 75},
      {"status read long", IOCTL_EC_GET_STATUS, 0, 77},
      {"array settings read short", IOCTL_ARRAY_GET_SETTINGS, 0, 11},
      {"array settings write long", IOCTL_ARRAY_SET_SETTINGS, 13, 0},
      {"array status", IOCTL_ARRAY_GET_STATUS, 0, 36},
      {"unknown code", 0x08004010, 28, 28},
      {"settings code of the wrong device type", 0x08024004, 0, 28},
  };
  driver.status.readPeak = 9;
  driver.status.outPeak = 7;
  const DriverState before = driver;
  for (const Case& c : cases) {
    std::vector<uint32_t> ones(16, 1);
    std::vector<uint32_t> buffer = send(c.code, c.inputLength, c.outputLength, ones);
    EXPECT_EQ(last.status, kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(last.bytesReturned, 0u) << c.name;
    EXPECT_EQ(std::memcmp(&before.settings, &driver.settings, sizeof(EcSettings)), 0) << c.name;
    EXPECT_EQ(std::memcmp(&before.arraySettings, &driver.arraySettings, sizeof(ArraySettings)), 0) << c.name;
    EXPECT_EQ(std::memcmp(&before.status, &driver.status, sizeof(EcStatus)), 0) << c.name << ": peaks kept";
    EXPECT_EQ(buffer, sent) << c.name << ": the buffer was written";
  }
}

TEST_F(ControlRequests, MissingBufferDoesNothing) {
  for (uint32_t code : {IOCTL_EC_GET_SETTINGS, IOCTL_EC_SET_SETTINGS, IOCTL_EC_GET_STATUS, IOCTL_ARRAY_GET_SETTINGS,
                        IOCTL_ARRAY_SET_SETTINGS}) {
    ControlRequestResult result = handleControlRequest(driver, code, nullptr, 76, 76);
    EXPECT_EQ(result.status, kernel::kStatusSuccess) << std::hex << code;
    EXPECT_EQ(result.bytesReturned, 0u) << std::hex << code;
  }
  EXPECT_EQ(driver.settings.rateMask, 127u);
}

TEST_F(ControlRequests, WrittenRecordsReadBackAsSentWithoutValidation) {
  const std::vector<uint32_t> settings = {1, 1, 7, 1, 0xFFFFFFFF, 0, 48000};
  send(IOCTL_EC_SET_SETTINGS, 28, 0, settings);
  EXPECT_EQ(last.bytesReturned, 28u);
  EXPECT_EQ(send(IOCTL_EC_GET_SETTINGS, 0, 28), settings);

  const std::vector<uint32_t> array = {0, static_cast<uint32_t>(-45), 30};
  send(IOCTL_ARRAY_SET_SETTINGS, 12, 0, array);
  EXPECT_EQ(last.bytesReturned, 12u);
  EXPECT_EQ(send(IOCTL_ARRAY_GET_SETTINGS, 0, 12), array);
  EXPECT_EQ(driver.arraySettings.beamDir, -45);
}

TEST_F(ControlRequests, EveryRequestHoldsTheStreamLock) {
  send(IOCTL_EC_GET_SETTINGS, 0, 28);
  send(IOCTL_EC_SET_SETTINGS, 28, 0, std::vector<uint32_t>(7, 0));
  send(IOCTL_EC_GET_STATUS, 0, 76);
  send(IOCTL_ARRAY_GET_SETTINGS, 0, 12);
  send(IOCTL_ARRAY_SET_SETTINGS, 12, 0, std::vector<uint32_t>(3, 0));
  EXPECT_EQ(sim::lockCounters().raisingAcquisitions, 5) << "control requests arrive at passive level";
}

TEST_F(ControlRequests, StatusReadResetsThePeaksAfterCopyingThem) {
  driver.status.readPeak = 1000;
  driver.status.writePeak = 2000;
  driver.status.outPeak = 32768;
  std::vector<uint32_t> first = send(IOCTL_EC_GET_STATUS, 0, 76);
  EXPECT_EQ(last.bytesReturned, 76u);
  EXPECT_EQ(first[10], 1000u);
  EXPECT_EQ(first[11], 2000u);
  EXPECT_EQ(first[12], 32768u);
  std::vector<uint32_t> second = send(IOCTL_EC_GET_STATUS, 0, 76);
  EXPECT_EQ(second[10] + second[11] + second[12], 0u) << "no samples arrived in between";
}

TEST_F(ControlRequests, StatusReadComputesStatisticsOnlyWhileActive) {
  driver.status.active = 1;
  driver.engine.micMeanSquare = 1234.4f;
  driver.engine.referenceMeanSquare = 50.5f;
  driver.engine.outputMeanSquare = 9.0f;
  std::vector<uint32_t> active = send(IOCTL_EC_GET_STATUS, 0, 76);
  EXPECT_EQ((std::array<uint32_t, 4>{active[15], active[16], active[17], active[18]}),
            (std::array<uint32_t, 4>{1234, 51, 9, 0}))
      << "mic, reference, output, echo path (no canceller)";
  EXPECT_EQ(driver.engine.micCount + driver.engine.referenceCount + driver.engine.outputCount, 0);

  driver.status.active = 0;
  driver.status.micEnergy = driver.status.refEnergy = driver.status.outEnergy = driver.status.echoPathGain = 77;
  std::vector<uint32_t> inactive = send(IOCTL_EC_GET_STATUS, 0, 76);
  EXPECT_EQ((std::array<uint32_t, 4>{inactive[15], inactive[16], inactive[17], inactive[18]}),
            (std::array<uint32_t, 4>{0, 0, 0, 0}));
}

TEST_F(ControlRequests, StatusReadKeepsTheStatisticsWhenTheFloatStateCannotBeSaved) {
  driver.status.active = 1;
  driver.status.micEnergy = 11;
  driver.status.refEnergy = 12;
  driver.status.outEnergy = 13;
  driver.status.echoPathGain = 14;
  driver.engine.micMeanSquare = 5000.0f;
  sim::failFloatSaves(1);
  std::vector<uint32_t> status = send(IOCTL_EC_GET_STATUS, 0, 76);
  EXPECT_EQ((std::array<uint32_t, 4>{status[15], status[16], status[17], status[18]}),
            (std::array<uint32_t, 4>{11, 12, 13, 14}));
  EXPECT_EQ(driver.engine.micMeanSquare, 5000.0f) << "the means go on";
  sim::FloatStateCounters fp = sim::floatStateCounters();
  EXPECT_EQ(fp.refusedSaves, 1);
  EXPECT_EQ(fp.restores, 0);
}

TEST_F(ControlRequests, ClearingEnableWhileActiveSwitchesTheCancellerOff) {
  struct Case {
    uint32_t activeBefore, newEnable, activeAfter;
  };
  const Case cases[] = {{1, 0, 0}, {0, 0, 0}, {1, 1, 1}};
  for (const Case& c : cases) {
    driver.status.active = c.activeBefore;
    send(IOCTL_EC_SET_SETTINGS, 28, 0, {c.newEnable, 0, 1, 0, 127, 1, 0});
    EXPECT_EQ(driver.status.active, c.activeAfter) << "active " << c.activeBefore << ", enable " << c.newEnable;
  }
}

}  // namespace
