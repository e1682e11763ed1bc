// Talks to the control device of the loaded test-host image the way the
// control application does: opens "\\.\Kalvex" and sends the six control
// codes with the right and the wrong lengths. Run by scripts/wine-driver-check:
// the ControlDevice cases once the service is started (the records live as
// long as the driver, so the initial values are checked first and the cases
// run in file order), the DriverUnloaded case once it is stopped again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shared/control_codes.h"
#include "shared/control_records.h"

namespace {

constexpr wchar_t kControlDevicePath[] = L"\\\\.\\Kalvex";

HANDLE openControlDevice() {
  return CreateFileW(kControlDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

// What one DeviceIoControl call answered.
struct Answer {
  bool ok;
  DWORD error;
  DWORD bytes;
};

class ControlDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = openControlDevice();
    ASSERT_NE(device_, INVALID_HANDLE_VALUE) << "\\\\.\\Kalvex does not open, error " << GetLastError();
  }
  void TearDown() override {
    if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
  }

  Answer control(uint32_t code, const void* in, DWORD inBytes, void* out, DWORD outBytes) {
    DWORD bytes = 0xFFFFFFFF;
    BOOL ok = DeviceIoControl(device_, code, const_cast<void*>(in), inBytes, out, outBytes, &bytes, nullptr);
    return {ok != FALSE, ok ? 0 : GetLastError(), bytes};
  }

  template <typename Record>
  Record get(uint32_t code) {
    Record record;
    std::memset(&record, 0xA5, sizeof record);
    Answer answer = control(code, nullptr, 0, &record, sizeof record);
    EXPECT_TRUE(answer.ok) << "code 0x" << std::hex << code << " failed, error " << std::dec << answer.error;
    EXPECT_EQ(answer.bytes, sizeof record) << "code 0x" << std::hex << code;
    return record;
  }

  template <typename Record>
  void set(uint32_t code, const Record& record) {
    Answer answer = control(code, &record, sizeof record, nullptr, 0);
    EXPECT_TRUE(answer.ok) << "code 0x" << std::hex << code << " failed, error " << std::dec << answer.error;
    EXPECT_EQ(answer.bytes, sizeof record) << "code 0x" << std::hex << code;
  }

  HANDLE device_ = INVALID_HANDLE_VALUE;
};

bool sameBytes(const void* a, const void* b, size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

// Before anything was written: the driver's initial records, and a status
// with nothing running (no pins, no engine, so every field is 0).
TEST_F(ControlDevice, RecordsStartWithTheirInitialValues) {
  EcSettings settings = get<EcSettings>(IOCTL_EC_GET_SETTINGS);
  EXPECT_TRUE(sameBytes(&settings, &kInitialEcSettings, sizeof settings))
      << "EcSettings " << settings.enable << " " << settings.monitor << " " << settings.micMode << " "
      << settings.swapChannels << " " << settings.rateMask << " " << settings.noiseCancel << " " << settings.maxRate
      << ", expected 0 0 1 0 127 1 0";

  ArraySettings array = get<ArraySettings>(IOCTL_ARRAY_GET_SETTINGS);
  EXPECT_TRUE(sameBytes(&array, &kInitialArraySettings, sizeof array))
      << "ArraySettings " << array.enable << " " << array.beamDir << " " << array.beamTrack << ", expected 0 0 15";

  EcStatus status = get<EcStatus>(IOCTL_EC_GET_STATUS);
  const EcStatus idle{};
  EXPECT_TRUE(sameBytes(&status, &idle, sizeof status)) << "the status of an idle driver is not all zeros";
}

// A length that is not the record's exactly, the array status (which never
// has data) and a code that is not one of the six: success, 0 bytes, nothing
// written to the caller and nothing changed in the driver.
TEST_F(ControlDevice, RequestsWithoutARecordSucceedWithNoBytesAndChangeNothing) {
  struct Case {
    const char* what;
    uint32_t code;
    DWORD inBytes;
    DWORD outBytes;
  };
  const Case cases[] = {
      {"EcSettings get, 27 bytes", IOCTL_EC_GET_SETTINGS, 0, 27},
      {"EcSettings get, 29 bytes", IOCTL_EC_GET_SETTINGS, 0, 29},
      {"EcSettings set, 27 bytes", IOCTL_EC_SET_SETTINGS, 27, 0},
      {"EcSettings set, 29 bytes", IOCTL_EC_SET_SETTINGS, 29, 0},
      {"EcStatus get, 75 bytes", IOCTL_EC_GET_STATUS, 0, 75},
      {"EcStatus get, 77 bytes", IOCTL_EC_GET_STATUS, 0, 77},
      {"ArraySettings get, 11 bytes", IOCTL_ARRAY_GET_SETTINGS, 0, 11},
      {"ArraySettings get, 13 bytes", IOCTL_ARRAY_GET_SETTINGS, 0, 13},
      {"ArraySettings set, 11 bytes", IOCTL_ARRAY_SET_SETTINGS, 11, 0},
      {"ArraySettings set, 13 bytes", IOCTL_ARRAY_SET_SETTINGS, 13, 0},
      {"ArrayStatus get, 36 bytes (never any data)", IOCTL_ARRAY_GET_STATUS, 0, 36},
      {"a code that is not one of the six", 0x08004010, 0, 28},
  };
  EcSettings settingsBefore = get<EcSettings>(IOCTL_EC_GET_SETTINGS);
  ArraySettings arrayBefore = get<ArraySettings>(IOCTL_ARRAY_GET_SETTINGS);
  // Values a set of the right length would store, so that a set that wrongly
  // goes through shows.
  std::vector<uint8_t> input(64);
  for (size_t i = 0; i < input.size(); i++) input[i] = static_cast<uint8_t>(0x40 + i);
  for (const Case& c : cases) {
    std::vector<uint8_t> output(64, 0x5A);
    Answer answer = control(c.code, c.inBytes != 0 ? input.data() : nullptr, c.inBytes,
                            c.outBytes != 0 ? output.data() : nullptr, c.outBytes);
    EXPECT_TRUE(answer.ok) << c.what << ": failed, error " << answer.error;
    EXPECT_EQ(answer.bytes, 0u) << c.what;
    EXPECT_EQ(output, std::vector<uint8_t>(64, 0x5A)) << c.what << ": the caller's buffer was written";
  }
  EcSettings settingsAfter = get<EcSettings>(IOCTL_EC_GET_SETTINGS);
  ArraySettings arrayAfter = get<ArraySettings>(IOCTL_ARRAY_GET_SETTINGS);
  EXPECT_TRUE(sameBytes(&settingsBefore, &settingsAfter, sizeof settingsAfter)) << "EcSettings changed";
  EXPECT_TRUE(sameBytes(&arrayBefore, &arrayAfter, sizeof arrayAfter)) << "ArraySettings changed";
}

// Whole records go in and come back as sent, any value stored as it is.
TEST_F(ControlDevice, SetRecordsComeBackAsSent) {
  const EcSettings settingsCases[] = {
      {0, 1, 2, 1, 0x15, 0, 16000},
      {0, 0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0x80000000, 48000},
      kInitialEcSettings,
  };
  for (const EcSettings& sent : settingsCases) {
    set(IOCTL_EC_SET_SETTINGS, sent);
    EcSettings back = get<EcSettings>(IOCTL_EC_GET_SETTINGS);
    EXPECT_TRUE(sameBytes(&back, &sent, sizeof back)) << "EcSettings with micMode " << sent.micMode << " and maxRate "
                                                      << sent.maxRate << " did not come back as sent";
  }
  const ArraySettings arrayCases[] = {
      {1, -90, 30},
      {0, 2147483647, -2147483647 - 1},
      kInitialArraySettings,
  };
  for (const ArraySettings& sent : arrayCases) {
    set(IOCTL_ARRAY_SET_SETTINGS, sent);
    ArraySettings back = get<ArraySettings>(IOCTL_ARRAY_GET_SETTINGS);
    EXPECT_TRUE(sameBytes(&back, &sent, sizeof back))
        << "ArraySettings " << sent.enable << " " << sent.beamDir << " " << sent.beamTrack << " came back as "
        << back.enable << " " << back.beamDir << " " << back.beamTrack;
  }
}

// Enabling without streams creates no engine: the status stays idle, with
// the statistics at 0, read after read.
TEST_F(ControlDevice, StatusStaysIdleWithoutStreams) {
  EcSettings enabled = kInitialEcSettings;
  enabled.enable = 1;
  set(IOCTL_EC_SET_SETTINGS, enabled);
  const EcStatus idle{};
  for (int read = 1; read <= 2; read++) {
    EcStatus status = get<EcStatus>(IOCTL_EC_GET_STATUS);
    EXPECT_TRUE(sameBytes(&status, &idle, sizeof status)) << "status read " << read << " is not idle";
  }
  set(IOCTL_EC_SET_SETTINGS, kInitialEcSettings);
}

// The control device's other requests succeed and carry nothing.
TEST_F(ControlDevice, ReadsSucceedWithNoData) {
  char buffer[16];
  DWORD bytes = 0xFFFFFFFF;
  EXPECT_TRUE(ReadFile(device_, buffer, sizeof buffer, &bytes, nullptr)) << "error " << GetLastError();
  EXPECT_EQ(bytes, 0u);
}

// Any number of handles may be open at once, and all see the one record.
TEST_F(ControlDevice, HandlesShareTheOneRecord) {
  HANDLE second = openControlDevice();
  ASSERT_NE(second, INVALID_HANDLE_VALUE) << "a second handle does not open, error " << GetLastError();
  const ArraySettings sent = {1, 45, 20};
  DWORD bytes = 0;
  EXPECT_TRUE(DeviceIoControl(second, IOCTL_ARRAY_SET_SETTINGS, const_cast<ArraySettings*>(&sent), sizeof sent,
                              nullptr, 0, &bytes, nullptr));
  CloseHandle(second);
  ArraySettings back = get<ArraySettings>(IOCTL_ARRAY_GET_SETTINGS);
  EXPECT_TRUE(sameBytes(&back, &sent, sizeof back)) << "the first handle does not see the second's record";
  set(IOCTL_ARRAY_SET_SETTINGS, kInitialArraySettings);
}

// Stopping the service unloads the test host, which removes the audio
// device's stack first: the last filter device's remove deletes the control
// device and its link.
TEST(DriverUnloaded, ControlDeviceIsGone) {
  HANDLE device = openControlDevice();
  DWORD error = GetLastError();
  if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
  EXPECT_EQ(device, INVALID_HANDLE_VALUE) << "\\\\.\\Kalvex still opens after the driver stopped";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
