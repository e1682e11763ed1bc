// Driver objects, device objects, stacks and symbolic links over the I/O
// manager. Our routines use the compiler's default calling convention, the
// platform's dispatch, add-device and unload routines are NTAPI (stdcall on
// x86): one thunk of each kind stands between them, and the routines
// themselves are kept here. One driver image holds one driver object.
#include "kernel/device_object.h"

#include "wdm_platform.h"

namespace {

// Zero at load; filled by the entry before any request can arrive.
kernel::DispatchRoutine dispatchRoutines[kernel::kMajorFunctionCount];
kernel::AddDeviceRoutine addDeviceRoutine;
kernel::UnloadRoutine unloadRoutine;
void* driverContextPointer;

static_assert(kernel::kMajorFunctionCount == IRP_MJ_MAXIMUM_FUNCTION + 1);

NTSTATUS NTAPI dispatchThunk(DEVICE_OBJECT* device, IRP* irp) {
  uint8_t major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
  return dispatchRoutines[major](wdm::ours(device), wdm::ours(irp));
}

NTSTATUS NTAPI addDeviceThunk(DRIVER_OBJECT* driver, DEVICE_OBJECT* physicalDevice) {
  return addDeviceRoutine(wdm::ours(driver), wdm::ours(physicalDevice));
}

VOID NTAPI unloadThunk(DRIVER_OBJECT* driver) { unloadRoutine(wdm::ours(driver)); }

}  // namespace

namespace kernel {

static_assert(kFileDeviceUnknown == FILE_DEVICE_UNKNOWN);
static_assert(kFileRemovableMedia == FILE_REMOVABLE_MEDIA);
static_assert(kFileDeviceSecureOpen == FILE_DEVICE_SECURE_OPEN);
static_assert(kDoBufferedIo == DO_BUFFERED_IO);
static_assert(kDoDirectIo == DO_DIRECT_IO);
static_assert(kDoDeviceInitializing == DO_DEVICE_INITIALIZING);
static_assert(kDoPowerPagable == DO_POWER_PAGABLE);

void setDispatchRoutine(DriverObject* driver, uint8_t majorFunction, DispatchRoutine routine) {
  if (majorFunction >= kMajorFunctionCount) return;
  dispatchRoutines[majorFunction] = routine;
  wdm::native(driver)->MajorFunction[majorFunction] = dispatchThunk;
}

void setAddDeviceRoutine(DriverObject* driver, AddDeviceRoutine routine) {
  addDeviceRoutine = routine;
  wdm::native(driver)->DriverExtension->AddDevice = addDeviceThunk;
}

void setUnloadRoutine(DriverObject* driver, UnloadRoutine routine) {
  unloadRoutine = routine;
  wdm::native(driver)->DriverUnload = unloadThunk;
}

void setDriverContext(DriverObject*, void* context) { driverContextPointer = context; }
void* driverContext(DriverObject*) { return driverContextPointer; }

Status createDevice(DriverObject* driver, uint32_t extensionBytes, const UnicodeString* name, uint32_t type,
                    uint32_t characteristics, bool exclusive, DeviceObject*& device) {
  DEVICE_OBJECT* created = nullptr;
  NTSTATUS status = IoCreateDevice(wdm::native(driver), extensionBytes, name != nullptr ? wdm::native(name) : nullptr,
                                   type, characteristics, exclusive ? TRUE : FALSE, &created);
  device = NT_SUCCESS(status) ? wdm::ours(created) : nullptr;
  return status;
}

void deleteDevice(DeviceObject* device) { IoDeleteDevice(wdm::native(device)); }

DeviceObject* attachDeviceToDeviceStack(DeviceObject* device, DeviceObject* target) {
  return wdm::ours(IoAttachDeviceToDeviceStack(wdm::native(device), wdm::native(target)));
}

void detachDevice(DeviceObject* lower) { IoDetachDevice(wdm::native(lower)); }

DeviceObject* attachedDeviceReference(DeviceObject* device) {
  return wdm::ours(IoGetAttachedDeviceReference(wdm::native(device)));
}

void dereferenceObject(DeviceObject* device) { ObDereferenceObject(wdm::native(device)); }

void* deviceExtension(DeviceObject* device) { return wdm::native(device)->DeviceExtension; }
DriverObject* driverObjectOf(DeviceObject* device) { return wdm::ours(wdm::native(device)->DriverObject); }
DeviceObject* firstDevice(DriverObject* driver) { return wdm::ours(wdm::native(driver)->DeviceObject); }
DeviceObject* nextDevice(DeviceObject* device) { return wdm::ours(wdm::native(device)->NextDevice); }
DeviceObject* attachedDevice(DeviceObject* device) { return wdm::ours(wdm::native(device)->AttachedDevice); }

uint32_t deviceFlags(DeviceObject* device) { return wdm::native(device)->Flags; }
void setDeviceFlags(DeviceObject* device, uint32_t flags) { wdm::native(device)->Flags = flags; }
uint32_t deviceType(DeviceObject* device) { return wdm::native(device)->DeviceType; }
void setDeviceType(DeviceObject* device, uint32_t type) { wdm::native(device)->DeviceType = type; }
uint32_t deviceCharacteristics(DeviceObject* device) { return wdm::native(device)->Characteristics; }
void setDeviceCharacteristics(DeviceObject* device, uint32_t characteristics) {
  wdm::native(device)->Characteristics = characteristics;
}
int8_t stackSize(DeviceObject* device) { return wdm::native(device)->StackSize; }
void setStackSize(DeviceObject* device, int8_t size) { wdm::native(device)->StackSize = size; }

Status createSymbolicLink(const UnicodeString& link, const UnicodeString& target) {
  return IoCreateSymbolicLink(wdm::native(&link), wdm::native(&target));
}

Status deleteSymbolicLink(const UnicodeString& link) { return IoDeleteSymbolicLink(wdm::native(&link)); }

}  // namespace kernel
