#include "filter/power_handler.h"

#include "filter/device_extensions.h"

kernel::Status dispatchPower(kernel::DeviceObject* device, kernel::Irp* irp) {
  // The control device is in no power stack; answer without a change.
  if (deviceKindOf(device) == DeviceKind::Control) {
    kernel::Status status = kernel::requestStatus(irp);
    kernel::startNextPowerIrp(irp);
    kernel::completeRequest(irp);
    return status;
  }
  FilterExtension& extension = *filterExtensionOf(device);
  kernel::Status status = kernel::acquireRemoveLock(extension.removeLock, irp);
  if (!kernel::isSuccess(status)) {
    kernel::setRequestStatus(irp, status);
    kernel::startNextPowerIrp(irp);
    kernel::completeRequest(irp);
    return status;
  }
  kernel::startNextPowerIrp(irp);
  kernel::skipCurrentStackLocation(irp);
  status = kernel::poCallDriver(extension.lower, irp);
  kernel::releaseRemoveLock(extension.removeLock, irp);
  return status;
}
