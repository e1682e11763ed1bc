#include "filter/request_router.h"

#include "filter/control_requests.h"
#include "filter/filter_driver.h"
#include "filter/forwarding_dispatch.h"
#include "shared/control_codes.h"

namespace {

kernel::Status completeWith(kernel::Irp* irp, kernel::Status status, uintptr_t bytes) {
  kernel::setRequestStatus(irp, status);
  kernel::setRequestInformation(irp, bytes);
  kernel::completeRequest(irp);
  return status;
}

// A driver must never fail these: the handle they end is closed whatever we
// answer, and the drivers below would never see it go.
bool endsAHandle(uint8_t major) { return major == kernel::kIrpMjClose || major == kernel::kIrpMjCleanup; }

kernel::Status routeToControlDevice(FilterDriver& filter, kernel::DeviceObject* device, kernel::Irp* irp,
                                    kernel::StackLocation* stack) {
  uint8_t major = kernel::majorFunction(stack);
  if (__atomic_load_n(&controlExtensionOf(device)->removed, __ATOMIC_ACQUIRE) == 1) {
    return completeWith(irp, endsAHandle(major) ? kernel::kStatusSuccess : kernel::kStatusDeviceRemoved, 0);
  }
  kernel::setRequestInformation(irp, 0);
  __atomic_store_n(&filter.refusedDevice, device, __ATOMIC_RELEASE);
  if (major != kernel::kIrpMjDeviceControl) return completeWith(irp, kernel::kStatusSuccess, 0);
  ControlRequestResult result =
      handleControlRequest(filter.state, kernel::ioControlCode(stack), kernel::systemBuffer(irp),
                           kernel::inputBufferLength(stack), kernel::outputBufferLength(stack));
  return completeWith(irp, result.status, result.bytesReturned);
}

}  // namespace

kernel::Status routeRequest(kernel::DeviceObject* device, kernel::Irp* irp) {
  FilterDriver& filter = filterDriverOf(device);
  kernel::StackLocation* stack = kernel::currentStackLocation(irp);
  if (deviceKindOf(device) == DeviceKind::Control) return routeToControlDevice(filter, device, irp, stack);

  uint8_t major = kernel::majorFunction(stack);
  if (!endsAHandle(major)) {
    if (__atomic_load_n(&filter.refusedDevice, __ATOMIC_ACQUIRE) == device) {
      return completeWith(irp, kernel::kStatusUnsuccessful, 0);
    }
    // Our private codes belong to the control device; arriving here they
    // came through the audio device's own handle.
    if (major == kernel::kIrpMjDeviceControl &&
        kernel::controlCodeDeviceType(kernel::ioControlCode(stack)) == kEcDeviceType) {
      __atomic_store_n(&filter.refusedDevice, device, __ATOMIC_RELEASE);
      return completeWith(irp, kernel::kStatusUnsuccessful, 0);
    }
  }
  return forwardRequest(device, irp);
}
