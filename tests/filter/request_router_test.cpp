// The router: control requests reach the control handler through
// "\\.\Kalvex"; a private code sent to the audio device's own handle is
// refused and makes that filter device refuse what the router hands it
// (but never a close or a clean-up) until the control device is next used.
#include "filter/request_router.h"

#include <array>
#include <cstring>
#include <vector>

#include "filter/interception_hooks.h"
#include "filter_fixture.h"
#include "shared/control_codes.h"

namespace {

constexpr uint32_t kSentinel = 0xDEADBEEF;

class RequestRouter : public FilterFixture {
 protected:
  void SetUp() override {
    FilterFixture::SetUp();
    load();
    pdo = startedInstance();
    ASSERT_EQ(sim::openFile(kControlPath, control), kernel::kStatusSuccess);
    ASSERT_EQ(sim::openFile(u"\\Device\\SimAudio1", audioHandle), kernel::kStatusSuccess);
    sim::takeCallLog();
  }

  void TearDown() override {
    if (control.file != nullptr) sim::closeHandle(control);
    if (audioHandle.file != nullptr) sim::closeHandle(audioHandle);
    FilterFixture::TearDown();
  }

  sim::UserIoResult toAudio(uint32_t code) {
    uint8_t buffer[64] = {};
    return sim::deviceIoControl(audioHandle, code, buffer, sizeof buffer, buffer, sizeof buffer);
  }

  kernel::DeviceObject* pdo = nullptr;
  sim::UserHandle control;
  sim::UserHandle audioHandle;
};

TEST_F(RequestRouter, APrivateCodeOnTheAudioHandleIsRefusedAndRefusesWhatFollows) {
  std::array<uint32_t, 7> settings{};
  sim::UserIoResult got =
      sim::deviceIoControl(audioHandle, IOCTL_EC_GET_SETTINGS, nullptr, 0, settings.data(), sizeof settings);
  EXPECT_EQ(got.status, kernel::kStatusUnsuccessful);
  EXPECT_EQ(got.bytes, 0u);
  const std::vector<std::string> refused = {
      "filter1 <- DEVICE_CONTROL 0x08004004",
      "filter1 completes DEVICE_CONTROL 0x08004004: 0xC0000001",
  };
  EXPECT_EQ(sim::takeCallLog(), refused) << "never passed to the audio device";

  struct Case {
    const char* name;
    uint32_t code;
  };
  for (const Case c : {Case{"read stream", kIoctlKsReadStream}, Case{"write stream", kIoctlKsWriteStream},
                       Case{"property", kIoctlKsProperty}, Case{"array settings", IOCTL_ARRAY_GET_SETTINGS}}) {
    EXPECT_EQ(toAudio(c.code).status, kernel::kStatusUnsuccessful) << c.name;
  }
  sim::UserHandle another;
  EXPECT_EQ(sim::openFile(u"\\Device\\SimAudio1", another), kernel::kStatusUnsuccessful) << "a new open";
  EXPECT_EQ(audio->received(kernel::kIrpMjDeviceControl), 0);
  EXPECT_EQ(audio->received(kernel::kIrpMjCreate), 1) << "only the open before the refusal";

  // What the router does not handle passes as ever: plug and play, power, reads.
  uint8_t data[16];
  EXPECT_EQ(sim::readFile(audioHandle, data, sizeof data).status, kernel::kStatusSuccess);
  EXPECT_EQ(sim::sendPower(pdo, kernel::kIrpMnQueryPower).status, kernel::kStatusSuccess);

  // Talking to the control device ends the refusal.
  sim::deviceIoControl(control, IOCTL_EC_GET_SETTINGS, nullptr, 0, settings.data(), sizeof settings);
  EXPECT_EQ(toAudio(kIoctlKsProperty).status, kernel::kStatusSuccess);
  EXPECT_EQ(audio->received(kernel::kIrpMjDeviceControl), 1);
}

// The handle ends whatever we answer; failing its clean-up and close would
// keep the audio device from ever seeing it go.
TEST_F(RequestRouter, ARefusedDeviceStillPassesCleanUpAndClose) {
  toAudio(IOCTL_EC_SET_SETTINGS);
  sim::takeCallLog();
  EXPECT_EQ(sim::closeHandle(audioHandle), kernel::kStatusSuccess);
  const std::vector<std::string> close = {
      "filter1 <- CLEANUP",
      "audio1 <- CLEANUP",
      "audio1 completes CLEANUP: 0x00000000",
      "filter1 <- CLOSE",
      "audio1 <- CLOSE",
      "audio1 completes CLOSE: 0x00000000",
  };
  EXPECT_EQ(sim::takeCallLog(), close);
}

TEST_F(RequestRouter, CodesOfTheArrayDeviceTypePassToTheAudioDevice) {
  audio->setControlReply(IOCTL_ARRAY_GET_SETTINGS, sim::AudioReply{kernel::kStatusSuccess, 12});
  sim::UserIoResult got = toAudio(IOCTL_ARRAY_GET_SETTINGS);
  EXPECT_EQ(got.status, kernel::kStatusSuccess);
  EXPECT_EQ(got.bytes, 12u);
  EXPECT_EQ(audio->received(kernel::kIrpMjDeviceControl), 1);
  EXPECT_EQ(toAudio(kIoctlKsProperty).status, kernel::kStatusSuccess) << "no refusal follows";
}

TEST_F(RequestRouter, ARemovedDeviceLeavesNoRefusalBehind) {
  toAudio(IOCTL_EC_GET_STATUS);
  kernel::DeviceObject* refused = filterDeviceOn(pdo);
  EXPECT_EQ(filter->refusedDevice, refused);
  sim::closeHandle(audioHandle);
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->refusedDevice, nullptr) << "a later device at the same address must not be refused";
}

TEST_F(RequestRouter, ADeletedControlDeviceLeavesNoRefusalBehind) {
  sim::closeHandle(audioHandle);
  sim::closeHandle(control);
  EXPECT_EQ(filter->refusedDevice, filter->controlDevice);
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->refusedDevice, nullptr) << "a later device at the same address must not be refused";
}

TEST_F(RequestRouter, TheControlDeviceAnswersEveryOtherRequestWithSuccessAndNoData) {
  std::array<uint8_t, 32> data;
  data.fill(0xA5);
  sim::UserIoResult read = sim::readFile(control, data.data(), static_cast<uint32_t>(data.size()));
  EXPECT_EQ(read.status, kernel::kStatusSuccess);
  EXPECT_EQ(read.bytes, 0u);
  for (uint8_t b : data) EXPECT_EQ(b, 0xA5) << "nothing written";

  kernel::DeviceObject* controlDevice = filter->controlDevice;
  struct Case {
    const char* name;
    uint8_t major;
  };
  for (const Case c : {Case{"internal device control", kernel::kIrpMjInternalDeviceControl},
                       Case{"write", kernel::kIrpMjWrite}, Case{"system control", kernel::kIrpMjSystemControl},
                       Case{"clean-up", kernel::kIrpMjCleanup}}) {
    sim::RequestResult r = send(controlDevice, c.major);
    EXPECT_EQ(r.status, kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(r.information, 0u) << c.name;
  }
}

// Every code through the control device, with exact, wrong and missing
// buffers: only the exact record moves, everything else succeeds with 0 bytes.
TEST_F(RequestRouter, EveryControlCodeThroughTheControlDevice) {
  struct Case {
    const char* name;
    uint32_t code;
    uint32_t inputLength;
    uint32_t outputLength;
    uint32_t bytes;  // expected bytes returned
  };
  const Case cases[] = {
      {"get settings", IOCTL_EC_GET_SETTINGS, 0, 28, 28},
      {"get settings short", IOCTL_EC_GET_SETTINGS, 0, 27, 0},
      {"get settings without buffer", IOCTL_EC_GET_SETTINGS, 0, 0, 0},
      {"set settings", IOCTL_EC_SET_SETTINGS, 28, 0, 28},
      {"set settings long", IOCTL_EC_SET_SETTINGS, 29, 0, 0},
      {"set settings without buffer", IOCTL_EC_SET_SETTINGS, 0, 0, 0},
      {"get status", IOCTL_EC_GET_STATUS, 0, 76, 76},
      {"get status short", IOCTL_EC_GET_STATUS, 0, 75, 0},
      {"get status long", IOCTL_EC_GET_STATUS, 0, 77, 0},
      {"get array settings", IOCTL_ARRAY_GET_SETTINGS, 0, 12, 12},
      {"get array settings long", IOCTL_ARRAY_GET_SETTINGS, 0, 13, 0},
      {"set array settings", IOCTL_ARRAY_SET_SETTINGS, 12, 0, 12},
      {"set array settings short", IOCTL_ARRAY_SET_SETTINGS, 11, 0, 0},
      {"get array status", IOCTL_ARRAY_GET_STATUS, 0, 36, 0},
      {"unknown code", 0x08004010, 28, 28, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> input(32, 7);
    std::vector<uint32_t> output(32, kSentinel);
    sim::UserIoResult got = sim::deviceIoControl(control, c.code, c.inputLength ? input.data() : nullptr,
                                                 c.inputLength, c.outputLength ? output.data() : nullptr,
                                                 c.outputLength);
    EXPECT_EQ(got.status, kernel::kStatusSuccess) << c.name;
    EXPECT_EQ(got.bytes, c.bytes) << c.name;
  }
  // The writes of exactly 28 and 12 bytes took effect, the others did not.
  EXPECT_EQ(filter->state.settings.enable, 7u);
  EXPECT_EQ(filter->state.arraySettings.beamTrack, 7);
}

// A kernel-mode sender can hand us lengths without a buffer: nothing may be
// read or written (the native build runs under AddressSanitizer).
TEST_F(RequestRouter, LengthsWithoutABufferTouchNothing) {
  kernel::DeviceObject* controlDevice = filter->controlDevice;
  for (uint32_t code : {IOCTL_EC_GET_SETTINGS, IOCTL_EC_SET_SETTINGS, IOCTL_EC_GET_STATUS, IOCTL_ARRAY_GET_SETTINGS,
                        IOCTL_ARRAY_SET_SETTINGS, IOCTL_ARRAY_GET_STATUS}) {
    sim::RequestResult r = send(controlDevice, kernel::kIrpMjDeviceControl, code, nullptr, 28, 76);
    EXPECT_EQ(r.status, kernel::kStatusSuccess) << std::hex << code;
    EXPECT_EQ(r.information, 0u) << std::hex << code;
  }
  // And a record-sized length over a smaller system buffer is the sender's
  // promise, not ours to check; a buffer of the right size works.
  std::array<uint32_t, 3> array{};
  sim::RequestResult r = send(controlDevice, kernel::kIrpMjDeviceControl, IOCTL_ARRAY_GET_SETTINGS, array.data(), 0, 12);
  EXPECT_EQ(r.information, 12u);
  EXPECT_EQ(array[2], 15u);
}

}  // namespace
