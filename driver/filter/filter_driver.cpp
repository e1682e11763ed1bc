#include "filter/filter_driver.h"

#include "filter/forwarding_dispatch.h"
#include "filter/ks_hooks.h"
#include "filter/pnp_handler.h"
#include "filter/power_handler.h"
#include "filter/request_router.h"
#include "kernel/io_request.h"
#include "kernel/pool.h"
#include "kernel/system_version.h"

namespace {

// Before XP the filter must be created with the type of the device it will
// sit on; from XP on the type is copied after attaching.
bool isWindowsXpOrLater() {
  bool routineFound = false;
  bool available = kernel::isNtDdiVersionAvailable(kernel::kNtddiWinXp, routineFound);
  if (routineFound) return available;
  uint32_t major = 0;
  uint32_t minor = 0;
  kernel::systemVersion(major, minor);
  return major > 5 || (major == 5 && minor >= 1);
}

uint32_t creationDeviceType(kernel::DeviceObject* physicalDevice) {
  if (isWindowsXpOrLater()) return kernel::kFileDeviceUnknown;
  kernel::DeviceObject* top = kernel::attachedDeviceReference(physicalDevice);
  uint32_t type = kernel::deviceType(top);
  kernel::dereferenceObject(top);
  return type;
}

constexpr uint32_t kCopiedLowerFlags = kernel::kDoBufferedIo | kernel::kDoDirectIo | kernel::kDoPowerPagable;
static_assert(kCopiedLowerFlags == 0x2014);

}  // namespace

FilterDriver& filterDriverOf(kernel::DeviceObject* device) {
  return *static_cast<FilterDriver*>(kernel::driverContext(kernel::driverObjectOf(device)));
}

kernel::Status filterDriverEntry(FilterDriver& filter, kernel::DriverObject* driverObject,
                                 const kernel::UnicodeString& registryPath) {
  for (uint8_t major = 0; major < kernel::kMajorFunctionCount; major++) {
    kernel::setDispatchRoutine(driverObject, major, forwardRequest);
  }
  kernel::setDispatchRoutine(driverObject, kernel::kIrpMjPnp, dispatchPnp);
  kernel::setDispatchRoutine(driverObject, kernel::kIrpMjPower, dispatchPower);
  const uint8_t routed[] = {kernel::kIrpMjCreate, kernel::kIrpMjClose, kernel::kIrpMjCleanup,
                            kernel::kIrpMjDeviceControl, kernel::kIrpMjInternalDeviceControl};
  for (uint8_t major : routed) {
    kernel::setDispatchRoutine(driverObject, major, routeRequest);
  }
  kernel::setAddDeviceRoutine(driverObject, addFilterDevice);
  kernel::setUnloadRoutine(driverObject, unloadFilterDriver);
  kernel::setDriverContext(driverObject, &filter);

  filter.driverObject = driverObject;
  filter.controlDevice = nullptr;
  filter.controlRefCount = 0;
  filter.refusedDevice = nullptr;
  kernel::initializeFastMutex(filter.controlMutex);
  readRegistryConfiguration(filter.config, registryPath);
  // The signal primitives are plain functions: there is no processor
  // dispatch to fill.
  initializePinTracking(filter.pins);
  initializeDriverState(filter.state);
  filter.hooks = kernelStreamingHooks();
  return kernel::kStatusSuccess;
}

kernel::Status addFilterDevice(kernel::DriverObject* driverObject, kernel::DeviceObject* physicalDevice) {
  kernel::DeviceObject* device = nullptr;
  kernel::Status status = kernel::createDevice(driverObject, sizeof(FilterExtension), nullptr,
                                               creationDeviceType(physicalDevice), kernel::kFileDeviceSecureOpen,
                                               false, device);
  if (!kernel::isSuccess(status)) return status;

  FilterExtension* extension = filterExtensionOf(device);
  extension->kind = DeviceKind::Filter;
  kernel::DeviceObject* lower = kernel::attachDeviceToDeviceStack(device, physicalDevice);
  if (lower == nullptr) {
    kernel::deleteDevice(device);
    return kernel::kStatusUnsuccessful;
  }
  extension->lower = lower;
  kernel::setDeviceFlags(device, kernel::deviceFlags(device) | (kernel::deviceFlags(lower) & kCopiedLowerFlags));
  kernel::setDeviceType(device, kernel::deviceType(lower));
  kernel::setDeviceCharacteristics(device, kernel::deviceCharacteristics(lower));
  extension->self = device;
  kernel::initializeRemoveLock(extension->removeLock, kernel::kPoolTag, FilterExtension::kRemoveLockMaxMinutes,
                               FilterExtension::kRemoveLockHighWatermark);
  extension->pnpState = kPnpNotStarted;
  extension->previousPnpState = kPnpNotStarted;
  extension->holdsControlReference = 0;
  kernel::setDeviceFlags(device, kernel::deviceFlags(device) & ~kernel::kDoDeviceInitializing);
  return kernel::kStatusSuccess;
}

void unloadFilterDriver(kernel::DriverObject* driverObject) {
  FilterDriver& filter = *static_cast<FilterDriver*>(kernel::driverContext(driverObject));
  DriverState& state = filter.state;
  if (!state.engine.exists()) return;
  state.status.active = 0;
  destroyEngine(state);
  state.status.framesPerBuffer = 0;
  state.status.flags = 0;
}
