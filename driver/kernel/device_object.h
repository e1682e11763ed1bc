#pragma once
// Driver objects and device objects: the dispatch table, the device list,
// device stacks, names and symbolic links. The objects themselves belong to
// the kernel; the driver reaches them only through these routines.
#include <stdint.h>

#include "kernel/status.h"
#include "kernel/unicode_string.h"

namespace kernel {

struct DriverObject;
struct DeviceObject;
struct Irp;

using DispatchRoutine = Status (*)(DeviceObject* device, Irp* irp);
using AddDeviceRoutine = Status (*)(DriverObject* driver, DeviceObject* physicalDevice);
using UnloadRoutine = void (*)(DriverObject* driver);

// Major functions 0 .. 0x1B.
inline constexpr uint8_t kMajorFunctionCount = 0x1C;

void setDispatchRoutine(DriverObject* driver, uint8_t majorFunction, DispatchRoutine routine);
void setAddDeviceRoutine(DriverObject* driver, AddDeviceRoutine routine);
void setUnloadRoutine(DriverObject* driver, UnloadRoutine routine);
// One pointer of the driver's own kept with the driver object, for the
// routines that are given only a device or the driver object.
void setDriverContext(DriverObject* driver, void* context);
void* driverContext(DriverObject* driver);

// Device types and characteristics.
inline constexpr uint32_t kFileDeviceUnknown = 0x22;
inline constexpr uint32_t kFileRemovableMedia = 0x00000001;
inline constexpr uint32_t kFileDeviceSecureOpen = 0x00000100;

// Device flags.
inline constexpr uint32_t kDoBufferedIo = 0x00000004;
inline constexpr uint32_t kDoDirectIo = 0x00000010;
inline constexpr uint32_t kDoDeviceInitializing = 0x00000080;
inline constexpr uint32_t kDoPowerPagable = 0x00002000;

// Creates a device object with a zeroed extension of `extensionBytes`. The
// new device goes to the head of the driver's device list and starts with
// DO_DEVICE_INITIALIZING set. `name` may be none.
Status createDevice(DriverObject* driver, uint32_t extensionBytes, const UnicodeString* name, uint32_t deviceType,
                    uint32_t characteristics, bool exclusive, DeviceObject*& device);
// The same with a security descriptor (SDDL) and a device-class GUID, for a
// named device that user mode opens.
Status createDeviceSecure(DriverObject* driver, uint32_t extensionBytes, const UnicodeString& name,
                          uint32_t deviceType, uint32_t characteristics, bool exclusive,
                          const UnicodeString& securityDescriptor, const Guid& deviceClass, DeviceObject*& device);
// Removes the device from its driver's list and its name from the namespace;
// the object itself lives on while references (open handles) remain.
void deleteDevice(DeviceObject* device);

// Attaches `device` on top of the stack that holds `target` and returns the
// device it now sits on (the old top), or none. Sets the stack size to one
// more than that of the returned device.
DeviceObject* attachDeviceToDeviceStack(DeviceObject* device, DeviceObject* target);
// Detaches whatever sits on top of `lower`.
void detachDevice(DeviceObject* lower);
// The top of the stack that holds `device`, referenced; release with dereferenceObject.
DeviceObject* attachedDeviceReference(DeviceObject* device);
void dereferenceObject(DeviceObject* device);

void* deviceExtension(DeviceObject* device);
DriverObject* driverObjectOf(DeviceObject* device);
DeviceObject* firstDevice(DriverObject* driver);
// The next device of the same driver in its device list, or none.
DeviceObject* nextDevice(DeviceObject* device);
// The device attached directly above, or none.
DeviceObject* attachedDevice(DeviceObject* device);

uint32_t deviceFlags(DeviceObject* device);
void setDeviceFlags(DeviceObject* device, uint32_t flags);
uint32_t deviceType(DeviceObject* device);
void setDeviceType(DeviceObject* device, uint32_t type);
uint32_t deviceCharacteristics(DeviceObject* device);
void setDeviceCharacteristics(DeviceObject* device, uint32_t characteristics);
int8_t stackSize(DeviceObject* device);
void setStackSize(DeviceObject* device, int8_t size);

// Symbolic links in the object namespace; a link that exists already gives
// STATUS_OBJECT_NAME_COLLISION.
Status createSymbolicLink(const UnicodeString& link, const UnicodeString& target);
Status deleteSymbolicLink(const UnicodeString& link);

}  // namespace kernel
