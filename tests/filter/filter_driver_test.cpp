// The driver's entry, add-device and unload.
#include "filter/filter_driver.h"

#include "filter/forwarding_dispatch.h"
#include "filter/pnp_handler.h"
#include "filter/power_handler.h"
#include "filter/request_router.h"
#include "filter_fixture.h"
#include "kernel/pool.h"

namespace {

class FilterDriverTest : public FilterFixture {};

TEST_F(FilterDriverTest, EntryFillsTheDispatchTable) {
  load();
  for (uint8_t major = 0; major < kernel::kMajorFunctionCount; major++) {
    kernel::DispatchRoutine expected = forwardRequest;
    if (major == kernel::kIrpMjPnp) expected = dispatchPnp;
    if (major == kernel::kIrpMjPower) expected = dispatchPower;
    if (major == kernel::kIrpMjCreate || major == kernel::kIrpMjClose || major == kernel::kIrpMjCleanup ||
        major == kernel::kIrpMjDeviceControl || major == kernel::kIrpMjInternalDeviceControl) {
      expected = routeRequest;
    }
    EXPECT_EQ(kalvex->majorFunction[major], expected) << "major function " << int(major);
  }
  EXPECT_EQ(kalvex->addDevice, addFilterDevice);
  EXPECT_EQ(kalvex->unload, unloadFilterDriver);
  EXPECT_EQ(kernel::driverContext(kalvex), filter.get());
  EXPECT_EQ(filter->state.settings.rateMask, 127u) << "the records hold their initial values";
  EXPECT_EQ(filter->state.arraySettings.beamTrack, 15);
  EXPECT_EQ(filter->config.readPinId, 2u) << "registry defaults";
  EXPECT_EQ(sim::ioCounters().liveDevices, 0) << "no device before add-device";
}

TEST_F(FilterDriverTest, AddDeviceAttachesAFilterThatLooksLikeTheDeviceBelow) {
  load();
  const uint32_t lowerFlags = kernel::kDoBufferedIo | kernel::kDoPowerPagable | 0x40;  // 0x40: not copied
  kernel::DeviceObject* pdo = audio->addInstance(lowerFlags, kernel::kFileRemovableMedia | 0x8);
  pdo->stackSize = 3;
  sim::takeCallLog();
  ASSERT_EQ(sim::addDevice(kalvex, pdo), kernel::kStatusSuccess);
  kernel::DeviceObject* device = filterDeviceOn(pdo);
  ASSERT_NE(device, nullptr);
  const std::vector<std::string> log = {"create device filter1", "attach filter1 to audio1"};
  EXPECT_EQ(sim::takeCallLog(), log);
  EXPECT_TRUE(device->name.empty()) << "no name";
  EXPECT_FALSE(device->exclusive);
  EXPECT_EQ(device->flags, kernel::kDoBufferedIo | kernel::kDoPowerPagable) << "0x2014 copied, initialising cleared";
  EXPECT_EQ(device->type, sim::AudioDriver::kFileDeviceKs) << "the type of the device below";
  EXPECT_EQ(device->characteristics, kernel::kFileRemovableMedia | 0x8u);
  EXPECT_EQ(device->stackSize, 4);
  FilterExtension& extension = *filterExtensionOf(device);
  EXPECT_EQ(extension.kind, DeviceKind::Filter);
  EXPECT_EQ(extension.self, device);
  EXPECT_EQ(extension.lower, pdo);
  EXPECT_EQ(extension.pnpState, kPnpNotStarted);
  EXPECT_EQ(extension.previousPnpState, kPnpNotStarted);
  sim::RemoveLockInfo lock = sim::removeLockInfo(extension.removeLock);
  EXPECT_EQ(lock.tag, kernel::kPoolTag);
  EXPECT_EQ(lock.maxLockedMinutes, 1u);
  EXPECT_EQ(lock.highWatermark, 100u);
  EXPECT_EQ(lock.outstanding, 0);
  EXPECT_FALSE(lock.removed);
}

TEST_F(FilterDriverTest, TheCreationTypeDependsOnTheSystemVersion) {
  struct Case {
    const char* name;
    uint32_t major, minor;
    bool versionRoutine;
    bool typeOfTheStack;  // else FILE_DEVICE_UNKNOWN
  };
  const Case cases[] = {
      {"XP asked by routine", 5, 1, true, false},
      {"Vista asked by routine", 6, 0, true, false},
      {"2000 asked by routine", 5, 0, true, true},
      {"XP without the routine", 5, 1, false, false},
      {"2000 without the routine", 5, 0, false, true},
      {"NT 4 without the routine", 4, 0, false, true},
  };
  load();
  for (const Case& c : cases) {
    sim::setSystemVersion(c.major, c.minor, c.versionRoutine);
    kernel::DeviceObject* pdo = audio->addInstance();
    // Something already sits on the audio device: its type is the stack's.
    sim::AudioDriver upper("upper" + std::to_string(&c - cases));
    kernel::DeviceObject* top = upper.addInstance(0, 0, 0x1D);
    kernel::attachDeviceToDeviceStack(top, pdo);
    ASSERT_EQ(sim::addDevice(kalvex, pdo), kernel::kStatusSuccess) << c.name;
    kernel::DeviceObject* device = kernel::attachedDevice(top);
    EXPECT_EQ(device->createdType, c.typeOfTheStack ? 0x1Du : kernel::kFileDeviceUnknown) << c.name;
    EXPECT_EQ(device->type, 0x1Du) << c.name << ": the type below, once attached";
    EXPECT_EQ(sim::ioCounters().heldReferences, 0) << c.name << ": the stack's reference released";
  }
}

TEST_F(FilterDriverTest, AddDeviceFailuresLeaveNothingBehind) {
  load();
  kernel::DeviceObject* pdo = audio->addInstance();
  const int64_t devicesBefore = sim::ioCounters().liveDevices;
  const int64_t blocksBefore = sim::poolCounters().liveBlocks;
  sim::takeCallLog();

  sim::failNextDeviceCreation(kernel::kStatusInsufficientResources);
  EXPECT_EQ(sim::addDevice(kalvex, pdo), kernel::kStatusInsufficientResources) << "the creation's own status";
  EXPECT_EQ(sim::takeCallLog(), std::vector<std::string>{});

  sim::failNextAttach();
  EXPECT_EQ(sim::addDevice(kalvex, pdo), kernel::kStatusUnsuccessful);
  const std::vector<std::string> undone = {"create device filter1", "delete device filter1"};
  EXPECT_EQ(sim::takeCallLog(), undone);

  EXPECT_EQ(sim::ioCounters().liveDevices, devicesBefore);
  EXPECT_EQ(sim::poolCounters().liveBlocks, blocksBefore);
  EXPECT_TRUE(sim::devicesOf(kalvex).empty());
  EXPECT_EQ(kernel::attachedDevice(pdo), nullptr);
}

TEST_F(FilterDriverTest, UnloadTearsTheEngineDown) {
  load();
  DriverState& state = filter->state;
  ASSERT_TRUE(state.engine.configure(1, 0, 16000, 16000, 320, true, true, false));
  state.status.active = 1;
  state.status.framesPerBuffer = 320;
  state.status.flags = EcStatus::kFlagRenderFormatUnusable;
  state.settings.enable = 1;
  sim::unloadDriver(kalvex);
  EXPECT_FALSE(state.engine.exists());
  EXPECT_EQ(state.status.active, 0u);
  EXPECT_EQ(state.status.framesPerBuffer, 0u);
  EXPECT_EQ(state.status.flags, 0u);
  EXPECT_EQ(state.settings.enable, 1u) << "the records stay";
  sim::unloadDriver(kalvex);  // nothing left to do: nothing happens
}

TEST_F(FilterDriverTest, TheDriverImageEntryUsesItsOwnState) {
  std::u16string path = kServiceKey;
  kernel::UnicodeString registryPath{static_cast<uint16_t>(path.size() * 2), static_cast<uint16_t>(path.size() * 2),
                                     path.data()};
  EXPECT_EQ(kalvexDriverEntry(kalvex, &registryPath), kernel::kStatusSuccess);
  ASSERT_NE(kernel::driverContext(kalvex), nullptr);
  EXPECT_NE(kernel::driverContext(kalvex), filter.get());
  kernel::DeviceObject* pdo = startedInstance();
  FilterDriver& image = *static_cast<FilterDriver*>(kernel::driverContext(kalvex));
  EXPECT_NE(image.controlDevice, nullptr);
  pnp(pdo, kernel::kIrpMnRemoveDevice);
  EXPECT_EQ(image.controlDevice, nullptr);
}

}  // namespace
