#include "filter/forwarding_dispatch.h"

#include "filter/filter_driver.h"

HookDecision decideRequest(FilterDriver& filter, FilterExtension& device, kernel::Irp* irp,
                           kernel::StackLocation* stack) {
  const InterceptionHooks& hooks = filter.hooks;
  uint8_t major = kernel::majorFunction(stack);
  if (major == kernel::kIrpMjCreate) return hooks.pinCreation(filter, device, irp, stack);
  if (major == kernel::kIrpMjDeviceControl) {
    switch (kernel::ioControlCode(stack)) {
      case kIoctlKsReadStream:
        return hooks.capture(filter, device, irp, stack);
      case kIoctlKsWriteStream:
        return hooks.render(filter, device, irp, stack);
      case kIoctlKsProperty:
        return hooks.property(filter, device, irp, stack);
      default:
        break;
    }
  }
  return {HookAction::Pass, kernel::kStatusSuccess};
}

kernel::Status forwardRequest(kernel::DeviceObject* device, kernel::Irp* irp) {
  // The control device has nothing below it and no remove lock: whatever
  // else reaches it (a read, say) succeeds with no data, unless it is
  // being deleted.
  if (deviceKindOf(device) == DeviceKind::Control) {
    bool removed = __atomic_load_n(&controlExtensionOf(device)->removed, __ATOMIC_ACQUIRE) == 1;
    kernel::Status answer = removed ? kernel::kStatusDeviceRemoved : kernel::kStatusSuccess;
    kernel::setRequestStatus(irp, answer);
    kernel::setRequestInformation(irp, 0);
    kernel::completeRequest(irp);
    return answer;
  }
  FilterExtension* extension = filterExtensionOf(device);
  kernel::Status status = kernel::acquireRemoveLock(extension->removeLock, irp);
  if (!kernel::isSuccess(status)) {
    kernel::setRequestStatus(irp, status);
    kernel::completeRequest(irp);
    return status;
  }

  FilterDriver& filter = filterDriverOf(device);
  HookDecision decision = decideRequest(filter, *extension, irp, kernel::currentStackLocation(irp));
  switch (decision.action) {
    case HookAction::CompleteHere:
      kernel::setRequestStatus(irp, decision.status);
      kernel::completeRequest(irp);
      kernel::releaseRemoveLock(extension->removeLock, irp);
      return decision.status;
    case HookAction::PassWithCompletion:
      kernel::copyCurrentStackLocationToNext(irp);
      kernel::setCompletionRoutine(irp, forwardingCompletion, extension, true, true, true);
      break;
    case HookAction::Pass:
      kernel::skipCurrentStackLocation(irp);
      break;
  }
  // The lock covers our part of the request, which ends when the lower
  // driver returns; the completion may come much later.
  status = kernel::callDriver(extension->lower, irp);
  kernel::releaseRemoveLock(extension->removeLock, irp);
  return status;
}

kernel::Status forwardingCompletion(kernel::DeviceObject*, kernel::Irp* irp, void* context) {
  FilterExtension& device = *static_cast<FilterExtension*>(context);
  FilterDriver& filter = filterDriverOf(device.self);
  kernel::StackLocation* stack = kernel::currentStackLocation(irp);
  kernel::Status status = kernel::requestStatus(irp);
  uint8_t major = kernel::majorFunction(stack);
  if (major == kernel::kIrpMjCreate) {
    if (kernel::isSuccess(status)) filter.hooks.pinCreationCompletion(filter, device, irp, stack, status);
  } else if (major == kernel::kIrpMjDeviceControl) {
    uint32_t code = kernel::ioControlCode(stack);
    if (code == kIoctlKsReadStream && kernel::isSuccess(status)) {
      filter.hooks.captureCompletion(filter, device, irp, stack, status);
    } else if (code == kIoctlKsProperty) {
      filter.hooks.propertyCompletion(filter, device, irp, stack, status);
    }
  }
  if (kernel::pendingReturned(irp)) kernel::markPending(irp);
  return kernel::kStatusContinueCompletion;
}
