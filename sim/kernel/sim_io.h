#pragma once
// The simulated I/O system: driver and device objects, the object namespace
// with its symbolic links, requests with their stack locations, and the
// test controls over them. The driver sees these objects only through
// driver/kernel/; tests and the simulated devices see them whole.
//
// Everything the drivers do through the kernel interface is written to one
// call log (requests arriving and completing, devices created, attached,
// detached and deleted, links), which tests compare with the expected sequence.
#include <stdint.h>

#include <atomic>
#include <string>
#include <vector>

#include "kernel/device_object.h"
#include "kernel/io_request.h"
#include "kernel/registry.h"
#include "kernel/remove_lock.h"

namespace kernel {

struct FileObject {
  DeviceObject* device;  // the device the handle was opened on
  uint32_t id;
};

// Control bits of a stack location.
inline constexpr uint8_t kSlPendingReturned = 0x01;
inline constexpr uint8_t kSlInvokeOnCancel = 0x20;
inline constexpr uint8_t kSlInvokeOnSuccess = 0x40;
inline constexpr uint8_t kSlInvokeOnError = 0x80;

struct StackLocation {
  uint8_t major;
  uint8_t minor;
  uint8_t control;
  uint32_t outputBufferLength;
  uint32_t inputBufferLength;
  uint32_t ioControlCode;
  void* type3InputBuffer;
  DeviceObject* device;
  FileObject* file;
  CompletionRoutine completion;  // set by the driver above, run as the request leaves this location
  void* context;
};

inline constexpr int kMaxStackLocations = 12;

struct Irp {
  int8_t stackCount;
  // Counts down as the request goes down: stackCount + 1 before the first
  // call, 1 at the lowest device. The current location is stack[currentLocation - 1].
  int8_t currentLocation;
  Status status;
  uintptr_t information;
  void* systemBuffer;
  void* userBuffer;
  RequestorMode requestorMode;
  bool pendingReturned;
  bool cancel;
  StackLocation stack[kMaxStackLocations];
  std::atomic<int> completed;  // 1 once the completion has left the top location
};

struct DeviceObject {
  DriverObject* driver;
  DeviceObject* nextDevice;      // in the driver's device list
  DeviceObject* attachedDevice;  // the device above
  DeviceObject* attachedTo;      // the device below
  uint32_t flags;
  uint32_t type;
  uint32_t createdType;  // the type it was created with
  uint32_t characteristics;
  int8_t stackSize;
  bool exclusive;
  void* extension;
  std::u16string name;  // empty: unnamed
  std::string label;    // how the call log names it
  std::u16string securityDescriptor;
  Guid deviceClass;
  bool secure;
  int references;  // open handles and counted references; the object lives while any remain
  bool deleted;
};

struct DriverObject {
  DispatchRoutine majorFunction[kMajorFunctionCount];
  AddDeviceRoutine addDevice;
  UnloadRoutine unload;
  DeviceObject* deviceList;  // newest first
  void* context;
  std::string devicePrefix;  // unnamed devices are labelled prefix1, prefix2, ...
  int devicesCreated;
};

struct RegistryKey {
  std::u16string path;
};

}  // namespace kernel

namespace sim {

// --- objects and namespace ---------------------------------------------------

// A driver object whose dispatch table answers STATUS_INVALID_DEVICE_REQUEST
// everywhere; lives until resetIo.
kernel::DriverObject* createDriverObject(const std::string& devicePrefix);

// The next device creation fails with `status` (0 = none planned).
void failNextDeviceCreation(kernel::Status status);
// The next attach to a device stack answers none.
void failNextAttach();
// The next symbolic link creation fails with `status`.
void failNextLinkCreation(kernel::Status status);

kernel::DeviceObject* findDevice(const std::u16string& name);
// The target of a symbolic link, or empty.
std::u16string linkTarget(const std::u16string& link);
// The top of the stack `device` belongs to, without a reference.
kernel::DeviceObject* topOfStack(kernel::DeviceObject* device);
// The devices of a driver object in its list order (newest first).
std::vector<kernel::DeviceObject*> devicesOf(kernel::DriverObject* driver);

struct IoCounters {
  int64_t liveDevices;      // device objects not yet freed
  int64_t liveIrps;
  int64_t openFiles;
  int64_t heldReferences;   // from attachedDeviceReference, not yet released
  int64_t symbolicLinks;
  int64_t violations;       // broken rules of the I/O system (see violationLog)
};
IoCounters ioCounters();
// What the violations were, one line each.
std::vector<std::string> violationLog();
void recordViolation(const std::string& what);

// Frees every object, link, handle and registry key, clears the call log,
// the counters and the failure plans. Pending completions must be over.
void resetIo();

// --- the call log ---------------------------------------------------------------

void logCall(const std::string& line);
// Returns the log since the last take and starts a new one.
std::vector<std::string> takeCallLog();
// "PNP START_DEVICE", "DEVICE_CONTROL 0x08004004", "READ", ...
std::string describeRequest(uint8_t major, uint8_t minor, uint32_t ioControlCode);
std::string hexStatus(kernel::Status status);
std::string narrow(const std::u16string& text);

// --- requests --------------------------------------------------------------------

// What a sender puts into a new request.
struct RequestShape {
  uint8_t major = 0;
  uint8_t minor = 0;
  uint32_t ioControlCode = 0;
  uint32_t inputLength = 0;
  uint32_t outputLength = 0;
  void* systemBuffer = nullptr;
  void* userBuffer = nullptr;
  void* type3InputBuffer = nullptr;
  kernel::RequestorMode requestorMode = kernel::RequestorMode::Kernel;
  kernel::FileObject* file = nullptr;
  kernel::Status initialStatus = kernel::kStatusSuccess;
};

struct RequestResult {
  kernel::Status returned;  // what the dispatch routine answered
  kernel::Status status;    // the request's final status
  uintptr_t information;
};

kernel::Irp* allocateIrp(int8_t stackCount);
void freeIrp(kernel::Irp* irp);
// Builds a request with the stack of `target` and sends it there, waits for
// its completion when it is pending, and frees it. Checks the rules a
// dispatch routine must keep (pending marked exactly when returned, the
// returned status equal to the request's when not pending).
RequestResult sendRequest(kernel::DeviceObject* target, const RequestShape& shape);
// Waits for the request's completion after a dispatch returned STATUS_PENDING.
void waitForCompletion(kernel::Irp* irp);

// --- the plug-and-play manager ----------------------------------------------------

kernel::Status addDevice(kernel::DriverObject* driver, kernel::DeviceObject* physicalDevice);
// A plug-and-play request to the top of the stack, starting as STATUS_NOT_SUPPORTED.
RequestResult sendPnp(kernel::DeviceObject* physicalDevice, uint8_t minor);
RequestResult sendPower(kernel::DeviceObject* physicalDevice, uint8_t minor);
void unloadDriver(kernel::DriverObject* driver);

// --- the rest of the simulated system ----------------------------------------------

// The version the system reports, and whether it has the routine that
// answers version questions (systems before XP do not).
void setSystemVersion(uint32_t major, uint32_t minor, bool hasVersionRoutine);

struct RemoveLockInfo {
  uint32_t tag;
  uint32_t maxLockedMinutes;
  uint32_t highWatermark;
  int32_t outstanding;  // acquisitions not yet released, without the device's own hold
  bool removed;
};
RemoveLockInfo removeLockInfo(const kernel::RemoveLock& lock);

// The simulated registry, keyed by path; names match case-insensitively.
void setRegistryValue(const std::u16string& keyPath, const std::u16string& valueName, uint32_t type,
                      const std::vector<uint8_t>& data);
void setRegistryDword(const std::u16string& keyPath, const std::u16string& valueName, uint32_t value);
// A REG_SZ with its terminating NUL.
void setRegistryString(const std::u16string& keyPath, const std::u16string& valueName, const std::u16string& text);
void createRegistryKey(const std::u16string& keyPath);
struct RegistryCounters {
  int64_t opens;    // successful and failed
  int64_t queries;
  int64_t openKeys; // opened and not closed
};
RegistryCounters registryCounters();

}  // namespace sim
