#pragma once
// The driver as a whole: the state that exists once per loaded driver, its
// entry, add-device and unload. The state is a plain structure, zeroed
// before the entry runs; the entry records it with the driver object, where
// every dispatch routine finds it again.
#include <stdint.h>

#include "engine/driver_state.h"
#include "filter/device_extensions.h"
#include "filter/interception_hooks.h"
#include "filter/pin_tracking.h"
#include "filter/registry_config.h"
#include "kernel/device_object.h"
#include "kernel/fast_mutex.h"
#include "kernel/unicode_string.h"

struct FilterDriver {
  kernel::DriverObject* driverObject;
  kernel::DeviceObject* controlDevice;  // or none
  // Filter devices started and not yet removed; the control device exists
  // while this is not 0.
  int32_t controlRefCount;
  kernel::FastMutex controlMutex;  // guards controlDevice and controlRefCount
  // The device that most recently received a private control request: while
  // it is a filter device, that device refuses what the router hands it.
  kernel::DeviceObject* refusedDevice;
  DriverState state;  // records, status, stream lock, engine
  PinTracking pins;   // pin table, tracked pins, node kinds, levels
  RegistryConfig config;
  InterceptionHooks hooks;
};

// Fills the dispatch table, reads the registry and initialises the records
// and the engine. Never fails. `filter` must stay in place until unload.
kernel::Status filterDriverEntry(FilterDriver& filter, kernel::DriverObject* driverObject,
                                 const kernel::UnicodeString& registryPath);

// For every audio device instance: a filter device on top of its stack.
// Fails with the failing call's status and leaves nothing behind.
kernel::Status addFilterDevice(kernel::DriverObject* driverObject, kernel::DeviceObject* physicalDevice);

// Tears the engine down; the control device is gone by now.
void unloadFilterDriver(kernel::DriverObject* driverObject);

// The driver state of the driver that owns `device`.
FilterDriver& filterDriverOf(kernel::DeviceObject* device);

// The entry of the one driver image: its state lives here, zeroed at load.
kernel::Status kalvexDriverEntry(kernel::DriverObject* driverObject, const kernel::UnicodeString* registryPath);
