#include "filter/control_device.h"

#include "filter/filter_driver.h"

namespace {

constexpr kernel::WideChar kControlDeviceName[] = u"\\Device\\Kalvex";
constexpr kernel::WideChar kControlLinkName[] = u"\\DosDevices\\Kalvex";
// Generic all for local system, administrators, users and guests.
constexpr kernel::WideChar kControlSecurity[] = u"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;BU)(A;;GA;;;BG)";
// The class of the control device: {6B1E3C52-94D7-4F0A-B8C1-3A5D2E7F9046}.
constexpr kernel::Guid kControlDeviceClass = {0x6B1E3C52, 0x94D7, 0x4F0A, {0xB8, 0xC1, 0x3A, 0x5D, 0x2E, 0x7F, 0x90, 0x46}};

void createControlDevice(FilterDriver& filter, kernel::DeviceObject* startingDevice) {
  kernel::DeviceObject* device = nullptr;
  kernel::Status status = kernel::createDeviceSecure(
      filter.driverObject, sizeof(ControlExtension), kernel::initUnicodeString(kControlDeviceName),
      kernel::kFileDeviceUnknown, kernel::kFileDeviceSecureOpen, false, kernel::initUnicodeString(kControlSecurity),
      kControlDeviceClass, device);
  if (!kernel::isSuccess(status)) return;
  ControlExtension* extension = controlExtensionOf(device);
  extension->kind = DeviceKind::Control;
  kernel::setDeviceFlags(device, kernel::deviceFlags(device) | kernel::kDoBufferedIo);

  status = kernel::createSymbolicLink(kernel::initUnicodeString(kControlLinkName),
                                      kernel::initUnicodeString(kControlDeviceName));
  // A link left from an earlier load names the same device: keep going.
  if (!kernel::isSuccess(status) && status != kernel::kStatusObjectNameCollision) {
    kernel::deleteDevice(device);
    return;
  }
  extension->removed = 0;
  kernel::setDeviceFlags(device, kernel::deviceFlags(device) & ~kernel::kDoDeviceInitializing);
  kernel::DeviceObject* next = kernel::nextDevice(device);
  kernel::DeviceObject* model = next != nullptr ? next : startingDevice;
  kernel::setStackSize(device, static_cast<int8_t>(kernel::stackSize(model) + 1));
  filter.controlDevice = device;
}

}  // namespace

void takeControlReference(FilterDriver& filter, kernel::DeviceObject* startingDevice) {
  kernel::acquireFastMutexUnsafe(filter.controlMutex);
  filter.controlRefCount += 1;
  if (filter.controlRefCount == 1) createControlDevice(filter, startingDevice);
  kernel::releaseFastMutexUnsafe(filter.controlMutex);
}

void dropControlReference(FilterDriver& filter) {
  kernel::acquireFastMutexUnsafe(filter.controlMutex);
  filter.controlRefCount -= 1;
  if (filter.controlRefCount == 0 && filter.controlDevice != nullptr) {
    // Requests still arriving on open handles see this and fail.
    __atomic_store_n(&controlExtensionOf(filter.controlDevice)->removed, 1, __ATOMIC_RELEASE);
    kernel::deleteSymbolicLink(kernel::initUnicodeString(kControlLinkName));
    kernel::deleteDevice(filter.controlDevice);
    // A filter device created later at the same address must not be refused.
    kernel::DeviceObject* expected = filter.controlDevice;
    __atomic_compare_exchange_n(&filter.refusedDevice, &expected, nullptr, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    filter.controlDevice = nullptr;
  }
  kernel::releaseFastMutexUnsafe(filter.controlMutex);
}
