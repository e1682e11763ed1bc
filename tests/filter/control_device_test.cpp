// The control device's lifecycle: created by the first start, kept while
// any started filter device remains, deleted by the last remove, and
// reached by the application through "\\.\Kalvex".
#include "filter/control_device.h"

#include <array>
#include <cstring>

#include "filter_fixture.h"
#include "shared/control_codes.h"

namespace {

class ControlDevice : public FilterFixture {
 protected:
  void SetUp() override {
    FilterFixture::SetUp();
    load();
  }

  bool applicationCanTalk() {
    sim::UserHandle handle;
    if (sim::openFile(kControlPath, handle) != kernel::kStatusSuccess) return false;
    std::array<uint32_t, 7> settings{};
    sim::UserIoResult got = sim::deviceIoControl(handle, IOCTL_EC_GET_SETTINGS, nullptr, 0, settings.data(), 28);
    sim::closeHandle(handle);
    return got.status == kernel::kStatusSuccess && got.bytes == 28 && settings[4] == 127;
  }
};

TEST_F(ControlDevice, TwoInstancesShareOneControlDeviceUntilBothAreRemoved) {
  kernel::DeviceObject* first = startedInstance();
  kernel::DeviceObject* control = filter->controlDevice;
  ASSERT_NE(control, nullptr);
  kernel::DeviceObject* second = startedInstance();
  EXPECT_EQ(filter->controlDevice, control) << "the second start must not create another";
  EXPECT_EQ(filter->controlRefCount, 2);
  EXPECT_TRUE(applicationCanTalk());

  pnp(first, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->controlDevice, control) << "one started device remains";
  EXPECT_TRUE(applicationCanTalk());

  sim::takeCallLog();
  pnp(second, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->controlDevice, nullptr);
  EXPECT_EQ(filter->controlRefCount, 0);
  EXPECT_FALSE(applicationCanTalk());
  const std::vector<std::string> removal = {
      "filter2 <- PNP REMOVE_DEVICE",
      "audio2 <- PNP REMOVE_DEVICE",
      "audio2 completes PNP REMOVE_DEVICE: 0x00000000",
      "delete device audio2",
      "delete link \\DosDevices\\Kalvex",
      "delete device Kalvex",
      "detach filter2 from audio2",
      "delete device filter2",
  };
  EXPECT_EQ(sim::takeCallLog(), removal);
  EXPECT_EQ(sim::ioCounters().liveDevices, 0) << "every device object freed";
  EXPECT_EQ(sim::ioCounters().symbolicLinks, 0);

  // A later start creates it again.
  startedInstance();
  EXPECT_NE(filter->controlDevice, nullptr);
  EXPECT_TRUE(applicationCanTalk());
}

TEST_F(ControlDevice, IsCreatedAsTheApplicationExpectsIt) {
  kernel::DeviceObject* pdo = startedInstance();
  kernel::DeviceObject* control = filter->controlDevice;
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->name, u"\\Device\\Kalvex");
  EXPECT_EQ(sim::linkTarget(u"\\DosDevices\\Kalvex"), u"\\Device\\Kalvex");
  EXPECT_TRUE(control->secure);
  EXPECT_EQ(control->securityDescriptor, u"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;BU)(A;;GA;;;BG)");
  const kernel::Guid zero{};
  EXPECT_NE(std::memcmp(&control->deviceClass, &zero, sizeof zero), 0) << "a device class of our own";
  EXPECT_EQ(control->type, kernel::kFileDeviceUnknown);
  EXPECT_EQ(control->characteristics, kernel::kFileDeviceSecureOpen);
  EXPECT_FALSE(control->exclusive);
  EXPECT_EQ(control->flags & kernel::kDoBufferedIo, kernel::kDoBufferedIo);
  EXPECT_EQ(control->flags & kernel::kDoDeviceInitializing, 0u);
  EXPECT_EQ(control->stackSize, filterDeviceOn(pdo)->stackSize + 1)
      << "one more than the filter device next in the driver's list";
  EXPECT_EQ(deviceKindOf(control), DeviceKind::Control);
  EXPECT_EQ(controlExtensionOf(control)->removed, 0);
}

TEST_F(ControlDevice, StartStopStartTakesOneReference) {
  kernel::DeviceObject* pdo = startedInstance();
  kernel::DeviceObject* control = filter->controlDevice;
  pnp(pdo, kernel::kIrpMnQueryStopDevice);
  pnp(pdo, kernel::kIrpMnStopDevice);
  EXPECT_EQ(filter->controlDevice, control) << "a stop keeps the control device";
  EXPECT_EQ(pnp(pdo, kernel::kIrpMnStartDevice).status, kernel::kStatusSuccess);
  EXPECT_EQ(filter->controlRefCount, 1);
  EXPECT_EQ(filter->controlDevice, control);
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->controlRefCount, 0);
  EXPECT_EQ(filter->controlDevice, nullptr);
}

// A device that never started holds no reference, so its remove must not
// take away the one of a device that did: the control device would vanish
// under a running filter device.
TEST_F(ControlDevice, RemovingADeviceThatNeverStartedKeepsTheControlDevice) {
  struct Case {
    const char* name;
    bool startFails;
  };
  for (const Case c : {Case{"never started", false}, Case{"start failed", true}}) {
    SCOPED_TRACE(c.name);
    kernel::DeviceObject* running = startedInstance();
    kernel::DeviceObject* idle = addInstance();
    if (c.startFails) {
      audio->setPnpReply(kernel::kIrpMnStartDevice, sim::AudioReply{kernel::kStatusUnsuccessful});
      EXPECT_EQ(pnp(idle, kernel::kIrpMnStartDevice).status, kernel::kStatusUnsuccessful);
      audio->setPnpReply(kernel::kIrpMnStartDevice, sim::AudioReply{});
    }
    EXPECT_EQ(filter->controlRefCount, 1);
    pnp(idle, kernel::kIrpMnRemoveDevice);
    EXPECT_EQ(filter->controlRefCount, 1);
    EXPECT_NE(filter->controlDevice, nullptr) << "the running device still needs it";
    EXPECT_TRUE(applicationCanTalk());
    pnp(running, kernel::kIrpMnRemoveDevice);
    EXPECT_EQ(filter->controlRefCount, 0);
    EXPECT_EQ(filter->controlDevice, nullptr);
  }
}

TEST_F(ControlDevice, AnExistingLinkDoesNotStopIt) {
  // Left behind by an earlier load, naming the same device.
  kernel::WideChar link[] = u"\\DosDevices\\Kalvex";
  kernel::WideChar target[] = u"\\Device\\Kalvex";
  ASSERT_EQ(kernel::createSymbolicLink(kernel::initUnicodeString(link), kernel::initUnicodeString(target)),
            kernel::kStatusSuccess);
  kernel::DeviceObject* pdo = startedInstance();
  ASSERT_NE(filter->controlDevice, nullptr);
  EXPECT_EQ(controlExtensionOf(filter->controlDevice)->removed, 0);
  EXPECT_TRUE(applicationCanTalk());
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(sim::ioCounters().symbolicLinks, 0);
}

TEST_F(ControlDevice, AFailedCreationLeavesFilteringRunningAndIsNotRetriedUntilTheCountFalls) {
  // Another driver holds the name.
  kernel::DriverObject* other = sim::createDriverObject("other");
  kernel::WideChar name[] = u"\\Device\\Kalvex";
  kernel::UnicodeString taken = kernel::initUnicodeString(name);
  kernel::DeviceObject* squatter = nullptr;
  ASSERT_EQ(kernel::createDevice(other, 0, &taken, kernel::kFileDeviceUnknown, 0, false, squatter),
            kernel::kStatusSuccess);

  kernel::DeviceObject* first = startedInstance();
  EXPECT_EQ(filter->controlDevice, nullptr);
  EXPECT_EQ(filter->controlRefCount, 1);
  EXPECT_EQ(extensionOn(first).pnpState, kPnpStarted) << "the start itself succeeds";

  kernel::deleteDevice(squatter);
  kernel::DeviceObject* second = startedInstance();
  EXPECT_EQ(filter->controlDevice, nullptr) << "no retry while the count is above 0";

  pnp(first, kernel::kIrpMnRemoveDevice);
  pnp(second, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->controlRefCount, 0);
  startedInstance();
  EXPECT_NE(filter->controlDevice, nullptr) << "created again once the count fell to 0";
}

TEST_F(ControlDevice, ALinkThatCannotBeCreatedTakesTheDeviceWithIt) {
  kernel::DeviceObject* pdo = addInstance();
  sim::takeCallLog();
  sim::failNextLinkCreation(kernel::kStatusInsufficientResources);
  EXPECT_EQ(pnp(pdo, kernel::kIrpMnStartDevice).status, kernel::kStatusSuccess) << "the start is not affected";
  const std::vector<std::string> start = {
      "filter1 <- PNP START_DEVICE",
      "audio1 <- PNP START_DEVICE",
      "audio1 completes PNP START_DEVICE: 0x00000000",
      "create device Kalvex",
      "delete device Kalvex",
      "filter1 completes PNP START_DEVICE: 0x00000000",
  };
  EXPECT_EQ(sim::takeCallLog(), start);
  EXPECT_EQ(filter->controlDevice, nullptr);
  EXPECT_FALSE(applicationCanTalk());
  // Filtering goes on.
  sim::UserHandle handle;
  EXPECT_EQ(sim::openFile(u"\\Device\\SimAudio1", handle), kernel::kStatusSuccess);
  EXPECT_EQ(audio->received(kernel::kIrpMjCreate), 1);
  sim::closeHandle(handle);
}

TEST_F(ControlDevice, RequestsOnAHandleOpenDuringDeletionFailButTheCloseSucceeds) {
  kernel::DeviceObject* pdo = startedInstance();
  sim::UserHandle handle;
  ASSERT_EQ(sim::openFile(kControlPath, handle), kernel::kStatusSuccess);
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(filter->controlDevice, nullptr);

  std::array<uint32_t, 7> settings{};
  sim::UserIoResult got = sim::deviceIoControl(handle, IOCTL_EC_GET_SETTINGS, nullptr, 0, settings.data(), 28);
  EXPECT_EQ(got.status, kernel::kStatusDeviceRemoved);
  EXPECT_EQ(got.bytes, 0u);
  uint8_t data[8];
  EXPECT_EQ(sim::readFile(handle, data, sizeof data).status, kernel::kStatusDeviceRemoved);
  EXPECT_EQ(sim::closeHandle(handle), kernel::kStatusSuccess) << "a close must never fail";
  EXPECT_EQ(sim::ioCounters().liveDevices, 0) << "the control device is freed with its last handle";

  sim::UserHandle late;
  EXPECT_EQ(sim::openFile(kControlPath, late), kernel::kStatusObjectNameNotFound);
}

TEST_F(ControlDevice, TheRecordsOutliveTheControlDevice) {
  kernel::DeviceObject* pdo = startedInstance();
  sim::UserHandle handle;
  ASSERT_EQ(sim::openFile(kControlPath, handle), kernel::kStatusSuccess);
  const std::array<uint32_t, 7> written = {1, 1, 2, 1, 5, 0, 16000};
  EXPECT_EQ(sim::deviceIoControl(handle, IOCTL_EC_SET_SETTINGS, written.data(), 28, nullptr, 0).status,
            kernel::kStatusSuccess);
  sim::closeHandle(handle);
  pnp(pdo, kernel::kIrpMnRemoveDevice);

  startedInstance();
  ASSERT_EQ(sim::openFile(kControlPath, handle), kernel::kStatusSuccess);
  std::array<uint32_t, 7> read{};
  sim::deviceIoControl(handle, IOCTL_EC_GET_SETTINGS, nullptr, 0, read.data(), 28);
  EXPECT_EQ(read, written);
  sim::closeHandle(handle);
}

}  // namespace
