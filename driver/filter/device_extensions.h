#pragma once
// The extensions of the driver's two kinds of device objects. Both begin with
// their kind, so that a request reaching a device after it was deleted (on a
// handle still open) is still recognised for what it is.
#include <stdint.h>

#include "kernel/device_object.h"
#include "kernel/remove_lock.h"

enum class DeviceKind : uint32_t { Filter = 1, Control = 2 };

// Plug-and-play states of a filter device.
enum PnpState : int32_t {
  kPnpNotStarted = 0,
  kPnpStarted = 1,
  kPnpStopPending = 2,
  kPnpStopped = 3,
  kPnpRemovePending = 4,
  kPnpSurpriseRemoved = 5,
  kPnpRemoved = 6,
};

// One per audio device instance: the device we created on top of its stack.
struct FilterExtension {
  DeviceKind kind;
  kernel::DeviceObject* self;
  kernel::DeviceObject* lower;  // every forwarded request goes here
  int32_t pnpState;
  int32_t previousPnpState;  // restored by the cancel requests
  kernel::RemoveLock removeLock;
  // 1 while this device counts in the control device's reference count: a
  // device that never started, or whose start failed, holds none to drop.
  int32_t holdsControlReference;

  // The remove lock's limits: no request inside the driver for more than a
  // minute, at most 100 at once.
  static constexpr uint32_t kRemoveLockMaxMinutes = 1;
  static constexpr uint32_t kRemoveLockHighWatermark = 100;
};

// The one named device the control application opens.
struct ControlExtension {
  DeviceKind kind;
  int32_t removed;  // 1 from the moment the device is being deleted
};

inline DeviceKind deviceKindOf(kernel::DeviceObject* device) {
  return *static_cast<DeviceKind*>(kernel::deviceExtension(device));
}
inline FilterExtension* filterExtensionOf(kernel::DeviceObject* device) {
  return static_cast<FilterExtension*>(kernel::deviceExtension(device));
}
inline ControlExtension* controlExtensionOf(kernel::DeviceObject* device) {
  return static_cast<ControlExtension*>(kernel::deviceExtension(device));
}
