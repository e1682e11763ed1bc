// Driver objects, device objects, device stacks and the object namespace.
#include <stdio.h>
#include <stdlib.h>

#include "sim_io_state.h"

namespace sim::detail {

IoState& io() {
  static IoState state;
  return state;
}

std::u16string foldCase(const std::u16string& text) {
  std::u16string folded = text;
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return folded;
}

void releaseDeviceIfUnused(kernel::DeviceObject* device) {
  // A device something is still attached to lives until that detaches.
  if (!device->deleted || device->references > 0 || device->attachedDevice != nullptr) return;
  io().devices.erase(device);
  free(device->extension);
  delete device;
}

}  // namespace sim::detail

namespace {

using sim::detail::io;

std::u16string toText(const kernel::UnicodeString& s) { return std::u16string(s.buffer, s.length / 2); }

kernel::Status invalidRequest(kernel::DeviceObject*, kernel::Irp* irp) {
  kernel::setRequestStatus(irp, kernel::kStatusInvalidDeviceRequest);
  kernel::completeRequest(irp);
  return kernel::kStatusInvalidDeviceRequest;
}

kernel::Status createDeviceObject(kernel::DriverObject* driver, uint32_t extensionBytes, const kernel::UnicodeString* name,
                                  uint32_t type, uint32_t characteristics, bool exclusive, kernel::DeviceObject*& out) {
  auto& state = io();
  std::lock_guard<std::recursive_mutex> hold(state.mutex);
  out = nullptr;
  if (state.failCreation != 0) {
    kernel::Status status = state.failCreation;
    state.failCreation = 0;
    return status;
  }
  std::u16string text = name != nullptr ? toText(*name) : std::u16string();
  if (!text.empty() && state.deviceNames.count(sim::detail::foldCase(text)) != 0) {
    return kernel::kStatusObjectNameCollision;
  }
  auto* device = new kernel::DeviceObject{};
  device->driver = driver;
  device->type = type;
  device->createdType = type;
  device->characteristics = characteristics;
  device->exclusive = exclusive;
  device->flags = kernel::kDoDeviceInitializing;
  device->stackSize = 1;
  device->extension = calloc(1, extensionBytes == 0 ? 1 : extensionBytes);
  device->name = text;
  if (!text.empty()) {
    device->label = sim::narrow(text.substr(text.rfind(u'\\') + 1));
    state.deviceNames[sim::detail::foldCase(text)] = device;
  } else {
    device->label = driver->devicePrefix + std::to_string(++driver->devicesCreated);
  }
  device->nextDevice = driver->deviceList;
  driver->deviceList = device;
  state.devices.insert(device);
  sim::logCall("create device " + device->label);
  out = device;
  return kernel::kStatusSuccess;
}

}  // namespace

namespace kernel {

void setDispatchRoutine(DriverObject* driver, uint8_t majorFunction, DispatchRoutine routine) {
  if (majorFunction >= kMajorFunctionCount) abort();
  driver->majorFunction[majorFunction] = routine;
}
void setAddDeviceRoutine(DriverObject* driver, AddDeviceRoutine routine) { driver->addDevice = routine; }
void setUnloadRoutine(DriverObject* driver, UnloadRoutine routine) { driver->unload = routine; }
void setDriverContext(DriverObject* driver, void* context) { driver->context = context; }
void* driverContext(DriverObject* driver) { return driver->context; }

Status createDevice(DriverObject* driver, uint32_t extensionBytes, const UnicodeString* name, uint32_t type,
                    uint32_t characteristics, bool exclusive, DeviceObject*& device) {
  return createDeviceObject(driver, extensionBytes, name, type, characteristics, exclusive, device);
}

Status createDeviceSecure(DriverObject* driver, uint32_t extensionBytes, const UnicodeString& name, uint32_t type,
                          uint32_t characteristics, bool exclusive, const UnicodeString& securityDescriptor,
                          const Guid& deviceClass, DeviceObject*& device) {
  Status status = createDeviceObject(driver, extensionBytes, &name, type, characteristics, exclusive, device);
  if (isSuccess(status)) {
    device->secure = true;
    device->securityDescriptor = toText(securityDescriptor);
    device->deviceClass = deviceClass;
  }
  return status;
}

void deleteDevice(DeviceObject* device) {
  auto& state = io();
  std::lock_guard<std::recursive_mutex> hold(state.mutex);
  if (device->deleted) sim::recordViolation("device " + device->label + " deleted twice");
  if (device->attachedTo != nullptr) sim::recordViolation("device " + device->label + " deleted while attached");
  sim::logCall("delete device " + device->label);
  for (DeviceObject** link = &device->driver->deviceList; *link != nullptr; link = &(*link)->nextDevice) {
    if (*link == device) {
      *link = device->nextDevice;
      break;
    }
  }
  if (!device->name.empty()) state.deviceNames.erase(sim::detail::foldCase(device->name));
  device->deleted = true;
  sim::detail::releaseDeviceIfUnused(device);
}

DeviceObject* attachDeviceToDeviceStack(DeviceObject* device, DeviceObject* target) {
  auto& state = io();
  std::lock_guard<std::recursive_mutex> hold(state.mutex);
  if (state.failAttach) {
    state.failAttach = false;
    return nullptr;
  }
  DeviceObject* top = sim::topOfStack(target);
  top->attachedDevice = device;
  device->attachedTo = top;
  device->stackSize = static_cast<int8_t>(top->stackSize + 1);
  sim::logCall("attach " + device->label + " to " + top->label);
  return top;
}

void detachDevice(DeviceObject* lower) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  DeviceObject* above = lower->attachedDevice;
  if (above == nullptr) {
    sim::recordViolation("detach from " + lower->label + " with nothing attached");
    return;
  }
  sim::logCall("detach " + above->label + " from " + lower->label);
  above->attachedTo = nullptr;
  lower->attachedDevice = nullptr;
  sim::detail::releaseDeviceIfUnused(lower);
}

DeviceObject* attachedDeviceReference(DeviceObject* device) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  DeviceObject* top = sim::topOfStack(device);
  top->references++;
  io().heldReferences++;
  return top;
}

void dereferenceObject(DeviceObject* device) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  if (device->references <= 0) {
    sim::recordViolation("reference of " + device->label + " released twice");
    return;
  }
  device->references--;
  io().heldReferences--;
  sim::detail::releaseDeviceIfUnused(device);
}

void* deviceExtension(DeviceObject* device) { return device->extension; }
DriverObject* driverObjectOf(DeviceObject* device) { return device->driver; }
DeviceObject* firstDevice(DriverObject* driver) { return driver->deviceList; }
DeviceObject* nextDevice(DeviceObject* device) { return device->nextDevice; }
DeviceObject* attachedDevice(DeviceObject* device) { return device->attachedDevice; }
uint32_t deviceFlags(DeviceObject* device) { return device->flags; }
void setDeviceFlags(DeviceObject* device, uint32_t flags) { device->flags = flags; }
uint32_t deviceType(DeviceObject* device) { return device->type; }
void setDeviceType(DeviceObject* device, uint32_t type) { device->type = type; }
uint32_t deviceCharacteristics(DeviceObject* device) { return device->characteristics; }
void setDeviceCharacteristics(DeviceObject* device, uint32_t characteristics) { device->characteristics = characteristics; }
int8_t stackSize(DeviceObject* device) { return device->stackSize; }
void setStackSize(DeviceObject* device, int8_t size) { device->stackSize = size; }

Status createSymbolicLink(const UnicodeString& link, const UnicodeString& target) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  if (io().failLink != 0) {
    Status status = io().failLink;
    io().failLink = 0;
    return status;
  }
  std::u16string name = sim::detail::foldCase(toText(link));
  if (io().links.count(name) != 0 || io().deviceNames.count(name) != 0) return kStatusObjectNameCollision;
  io().links[name] = toText(target);
  sim::logCall("create link " + sim::narrow(toText(link)));
  return kStatusSuccess;
}

Status deleteSymbolicLink(const UnicodeString& link) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  if (io().links.erase(sim::detail::foldCase(toText(link))) == 0) return kStatusObjectNameNotFound;
  sim::logCall("delete link " + sim::narrow(toText(link)));
  return kStatusSuccess;
}

}  // namespace kernel

namespace sim {

kernel::DriverObject* createDriverObject(const std::string& devicePrefix) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  auto driver = std::make_unique<kernel::DriverObject>();
  for (auto& routine : driver->majorFunction) routine = invalidRequest;
  driver->devicePrefix = devicePrefix;
  io().drivers.push_back(std::move(driver));
  return io().drivers.back().get();
}

void failNextDeviceCreation(kernel::Status status) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().failCreation = status;
}

void failNextLinkCreation(kernel::Status status) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().failLink = status;
}

void failNextAttach() {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().failAttach = true;
}

kernel::DeviceObject* findDevice(const std::u16string& name) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  auto it = io().deviceNames.find(detail::foldCase(name));
  return it == io().deviceNames.end() ? nullptr : it->second;
}

std::u16string linkTarget(const std::u16string& link) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  auto it = io().links.find(detail::foldCase(link));
  return it == io().links.end() ? std::u16string() : it->second;
}

kernel::DeviceObject* topOfStack(kernel::DeviceObject* device) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  while (device->attachedDevice != nullptr) device = device->attachedDevice;
  return device;
}

std::vector<kernel::DeviceObject*> devicesOf(kernel::DriverObject* driver) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  std::vector<kernel::DeviceObject*> devices;
  for (kernel::DeviceObject* d = driver->deviceList; d != nullptr; d = d->nextDevice) devices.push_back(d);
  return devices;
}

IoCounters ioCounters() {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  auto& s = io();
  return {static_cast<int64_t>(s.devices.size()), s.liveIrps, static_cast<int64_t>(s.files.size()), s.heldReferences,
          static_cast<int64_t>(s.links.size()), static_cast<int64_t>(s.violations.size())};
}

std::vector<std::string> violationLog() {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  return io().violations;
}

void recordViolation(const std::string& what) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().violations.push_back(what);
}

void logCall(const std::string& line) {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  io().log.push_back(line);
}

std::vector<std::string> takeCallLog() {
  std::lock_guard<std::recursive_mutex> hold(io().mutex);
  std::vector<std::string> log;
  log.swap(io().log);
  return log;
}

std::string hexStatus(kernel::Status status) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
  return text;
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::string describeRequest(uint8_t major, uint8_t minor, uint32_t ioControlCode) {
  static const std::map<uint8_t, std::string> majors = {
      {kernel::kIrpMjCreate, "CREATE"},
      {kernel::kIrpMjClose, "CLOSE"},
      {kernel::kIrpMjRead, "READ"},
      {kernel::kIrpMjWrite, "WRITE"},
      {kernel::kIrpMjDeviceControl, "DEVICE_CONTROL"},
      {kernel::kIrpMjInternalDeviceControl, "INTERNAL_DEVICE_CONTROL"},
      {kernel::kIrpMjCleanup, "CLEANUP"},
      {kernel::kIrpMjPower, "POWER"},
      {kernel::kIrpMjSystemControl, "SYSTEM_CONTROL"},
      {kernel::kIrpMjPnp, "PNP"},
  };
  static const std::map<uint8_t, std::string> pnpMinors = {
      {kernel::kIrpMnStartDevice, "START_DEVICE"},
      {kernel::kIrpMnQueryRemoveDevice, "QUERY_REMOVE_DEVICE"},
      {kernel::kIrpMnRemoveDevice, "REMOVE_DEVICE"},
      {kernel::kIrpMnCancelRemoveDevice, "CANCEL_REMOVE_DEVICE"},
      {kernel::kIrpMnStopDevice, "STOP_DEVICE"},
      {kernel::kIrpMnQueryStopDevice, "QUERY_STOP_DEVICE"},
      {kernel::kIrpMnCancelStopDevice, "CANCEL_STOP_DEVICE"},
      {kernel::kIrpMnQueryDeviceRelations, "QUERY_DEVICE_RELATIONS"},
      {kernel::kIrpMnQueryCapabilities, "QUERY_CAPABILITIES"},
      {kernel::kIrpMnDeviceUsageNotification, "DEVICE_USAGE_NOTIFICATION"},
      {kernel::kIrpMnSurpriseRemoval, "SURPRISE_REMOVAL"},
  };
  static const std::map<uint8_t, std::string> powerMinors = {
      {kernel::kIrpMnSetPower, "SET_POWER"},
      {kernel::kIrpMnQueryPower, "QUERY_POWER"},
  };
  auto name = [](const std::map<uint8_t, std::string>& names, uint8_t key) {
    auto it = names.find(key);
    if (it != names.end()) return it->second;
    char text[8];
    snprintf(text, sizeof text, "0x%02X", key);
    return std::string(text);
  };
  std::string text = name(majors, major);
  if (major == kernel::kIrpMjPnp) text += " " + name(pnpMinors, minor);
  if (major == kernel::kIrpMjPower) text += " " + name(powerMinors, minor);
  if (major == kernel::kIrpMjDeviceControl || major == kernel::kIrpMjInternalDeviceControl) {
    char code[16];
    snprintf(code, sizeof code, " 0x%08X", ioControlCode);
    text += code;
  }
  return text;
}

void resetIo() {
  auto& state = io();
  std::lock_guard<std::recursive_mutex> hold(state.mutex);
  for (kernel::FileObject* file : state.files) delete file;
  state.files.clear();
  for (kernel::DeviceObject* device : state.devices) {
    free(device->extension);
    delete device;
  }
  state.devices.clear();
  state.deviceNames.clear();
  state.links.clear();
  state.drivers.clear();
  state.log.clear();
  state.violations.clear();
  state.liveIrps = 0;
  state.heldReferences = 0;
  state.failCreation = 0;
  state.failAttach = false;
  state.failLink = 0;
  state.nextFileId = 1;
  detail::resetRegistry();
  detail::resetRemoveLocks();
  setSystemVersion(5, 1, true);
}

}  // namespace sim
