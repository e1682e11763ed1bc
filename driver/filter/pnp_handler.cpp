#include "filter/pnp_handler.h"

#include "filter/control_device.h"
#include "filter/filter_driver.h"
#include "kernel/event.h"

namespace {

using kernel::kIrpMnCancelRemoveDevice;
using kernel::kIrpMnCancelStopDevice;
using kernel::kIrpMnDeviceUsageNotification;
using kernel::kIrpMnQueryRemoveDevice;
using kernel::kIrpMnQueryStopDevice;
using kernel::kIrpMnRemoveDevice;
using kernel::kIrpMnStartDevice;
using kernel::kIrpMnStopDevice;
using kernel::kIrpMnSurpriseRemoval;

constexpr PnpRow kPnpTable[] = {
    // minor                        action                         enter                restore from       success
    {kIrpMnStartDevice, PnpAction::StartSynchronously, kPnpStarted, kNoPnpState, false},
    {kIrpMnQueryRemoveDevice, PnpAction::PassDown, kPnpRemovePending, kNoPnpState, true},
    {kIrpMnRemoveDevice, PnpAction::Remove, kPnpRemoved, kNoPnpState, false},
    {kIrpMnCancelRemoveDevice, PnpAction::PassDown, kNoPnpState, kPnpRemovePending, true},
    {kIrpMnStopDevice, PnpAction::PassDown, kPnpStopped, kNoPnpState, true},
    {kIrpMnQueryStopDevice, PnpAction::PassDown, kPnpStopPending, kNoPnpState, true},
    {kIrpMnCancelStopDevice, PnpAction::PassDown, kNoPnpState, kPnpStopPending, true},
    {kIrpMnDeviceUsageNotification, PnpAction::UsageNotification, kNoPnpState, kNoPnpState, false},
    {kIrpMnSurpriseRemoval, PnpAction::PassDown, kPnpSurpriseRemoved, kNoPnpState, true},
};
constexpr PnpRow kOtherMinor = {0xFF, PnpAction::PassDown, kNoPnpState, kNoPnpState, false};

kernel::Status passDown(const PnpRow& row, FilterExtension& device, kernel::Irp* irp) {
  applyPnpTransition(row, device);
  if (row.setsSuccess) kernel::setRequestStatus(irp, kernel::kStatusSuccess);
  kernel::skipCurrentStackLocation(irp);
  kernel::Status status = kernel::callDriver(device.lower, irp);
  kernel::releaseRemoveLock(device.removeLock, irp);
  return status;
}

// Holds the start request for us once the lower device is done with it.
kernel::Status signalStarted(kernel::DeviceObject*, kernel::Irp*, void* context) {
  kernel::setEvent(*static_cast<kernel::Event*>(context));
  return kernel::kStatusMoreProcessingRequired;
}

// The lower device starts first; only a started stack counts as started.
kernel::Status startDevice(const PnpRow& row, FilterExtension& device, kernel::Irp* irp) {
  kernel::Event started;
  kernel::initializeEvent(started, kernel::EventType::Notification, false);
  kernel::copyCurrentStackLocationToNext(irp);
  kernel::setCompletionRoutine(irp, signalStarted, &started, true, true, true);
  if (kernel::callDriver(device.lower, irp) == kernel::kStatusPending) kernel::waitForEvent(started);
  kernel::Status status = kernel::requestStatus(irp);
  if (kernel::isSuccess(status)) {
    applyPnpTransition(row, device);
    if ((kernel::deviceCharacteristics(device.lower) & kernel::kFileRemovableMedia) != 0) {
      kernel::setDeviceCharacteristics(device.self,
                                       kernel::deviceCharacteristics(device.self) | kernel::kFileRemovableMedia);
    }
    // A restart after a stop holds its reference still.
    if (device.holdsControlReference == 0) {
      takeControlReference(filterDriverOf(device.self), device.self);
      device.holdsControlReference = 1;
    }
  }
  kernel::completeRequest(irp);
  kernel::releaseRemoveLock(device.removeLock, irp);
  return status;
}

kernel::Status removeDevice(const PnpRow& row, FilterExtension& device, kernel::Irp* irp) {
  // Requests still inside the driver finish first; later ones are refused.
  kernel::releaseRemoveLockAndWait(device.removeLock, irp);
  kernel::skipCurrentStackLocation(irp);
  kernel::DeviceObject* self = device.self;
  kernel::DeviceObject* lower = device.lower;
  kernel::Status status = kernel::callDriver(lower, irp);
  applyPnpTransition(row, device);
  FilterDriver& filter = filterDriverOf(self);
  if (device.holdsControlReference != 0) {
    dropControlReference(filter);
    device.holdsControlReference = 0;
  }
  // A later device may be created at the same address: it must not inherit the refusal.
  kernel::DeviceObject* expected = self;  // overwritten when another device is the refused one
  __atomic_compare_exchange_n(&filter.refusedDevice, &expected, nullptr, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
  kernel::detachDevice(lower);
  kernel::deleteDevice(self);
  return status;
}

kernel::Status usageNotificationCompleted(kernel::DeviceObject*, kernel::Irp* irp, void* context) {
  FilterExtension& device = *static_cast<FilterExtension*>(context);
  if (kernel::pendingReturned(irp)) kernel::markPending(irp);
  if ((kernel::deviceFlags(device.lower) & kernel::kDoPowerPagable) == 0) {
    kernel::setDeviceFlags(device.self, kernel::deviceFlags(device.self) & ~kernel::kDoPowerPagable);
  }
  kernel::releaseRemoveLock(device.removeLock, irp);
  return kernel::kStatusContinueCompletion;
}

// A paging file may move onto the stack: the device above us decides
// whether power requests may reach us at a pageable level.
kernel::Status usageNotification(FilterExtension& device, kernel::Irp* irp) {
  kernel::DeviceObject* above = kernel::attachedDevice(device.self);
  if (above == nullptr || (kernel::deviceFlags(above) & kernel::kDoPowerPagable) != 0) {
    kernel::setDeviceFlags(device.self, kernel::deviceFlags(device.self) | kernel::kDoPowerPagable);
  }
  kernel::copyCurrentStackLocationToNext(irp);
  kernel::setCompletionRoutine(irp, usageNotificationCompleted, &device, true, true, true);
  return kernel::callDriver(device.lower, irp);
}

}  // namespace

const PnpRow& pnpRowFor(uint8_t minor) {
  for (const PnpRow& row : kPnpTable) {
    if (row.minor == minor) return row;
  }
  return kOtherMinor;
}

void applyPnpTransition(const PnpRow& row, FilterExtension& device) {
  if (row.enterState != kNoPnpState) {
    device.previousPnpState = device.pnpState;
    device.pnpState = row.enterState;
  }
  if (row.restoreFromState != kNoPnpState && device.pnpState == row.restoreFromState) {
    device.pnpState = device.previousPnpState;
  }
}

kernel::Status dispatchPnp(kernel::DeviceObject* device, kernel::Irp* irp) {
  // The control device is in no plug-and-play stack; answer without a change.
  if (deviceKindOf(device) == DeviceKind::Control) {
    kernel::Status status = kernel::requestStatus(irp);
    kernel::completeRequest(irp);
    return status;
  }
  FilterExtension& extension = *filterExtensionOf(device);
  kernel::Status status = kernel::acquireRemoveLock(extension.removeLock, irp);
  if (!kernel::isSuccess(status)) {
    kernel::setRequestStatus(irp, status);
    kernel::completeRequest(irp);
    return status;
  }
  const PnpRow& row = pnpRowFor(kernel::minorFunction(kernel::currentStackLocation(irp)));
  switch (row.action) {
    case PnpAction::StartSynchronously:
      return startDevice(row, extension, irp);
    case PnpAction::Remove:
      return removeDevice(row, extension, irp);
    case PnpAction::UsageNotification:
      return usageNotification(extension, irp);
    case PnpAction::PassDown:
      break;
  }
  return passDown(row, extension, irp);
}
