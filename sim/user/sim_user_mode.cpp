#include "sim_user_mode.h"

#include <string.h>

#include <vector>

#include "sim/kernel/sim_io_state.h"

namespace sim {

namespace {

constexpr uint32_t kMethodBuffered = 0;
constexpr uint32_t kMethodNeither = 3;

kernel::DeviceObject* resolve(const std::u16string& path) {
  const std::u16string local = u"\\\\.\\";
  std::u16string name = path;
  if (path.compare(0, local.size(), local) == 0) {
    name = linkTarget(u"\\DosDevices\\" + path.substr(local.size()));
    if (name.empty()) return nullptr;
  }
  return findDevice(name);
}

RequestShape requestOn(UserHandle& handle, uint8_t major) {
  RequestShape shape;
  shape.major = major;
  shape.file = handle.file;
  shape.requestorMode = kernel::RequestorMode::User;
  return shape;
}

}  // namespace

// The handle is gone: its file object no longer holds its device.
void forgetFile(UserHandle& handle) {
  kernel::FileObject* file = handle.file;
  auto& io = detail::io();
  std::lock_guard<std::recursive_mutex> hold(io.mutex);
  io.files.erase(file);
  file->device->references--;
  detail::releaseDeviceIfUnused(file->device);
  delete file;
  handle.file = nullptr;
}

kernel::Status openFile(const std::u16string& path, UserHandle& handle) {
  handle.file = nullptr;
  kernel::FileObject* file = nullptr;
  {
    auto& io = detail::io();
    std::lock_guard<std::recursive_mutex> hold(io.mutex);
    kernel::DeviceObject* device = resolve(path);
    if (device == nullptr) return kernel::kStatusObjectNameNotFound;
    file = new kernel::FileObject{device, io.nextFileId++};
    device->references++;
    io.files.insert(file);
  }
  handle.file = file;
  RequestResult result = sendRequest(topOfStack(file->device), requestOn(handle, kernel::kIrpMjCreate));
  if (!kernel::isSuccess(result.status)) {
    forgetFile(handle);
  }
  return result.status;
}

UserIoResult deviceIoControl(UserHandle& handle, uint32_t code, const void* input, uint32_t inputLength,
                             void* output, uint32_t outputLength) {
  RequestShape shape = requestOn(handle, kernel::kIrpMjDeviceControl);
  shape.ioControlCode = code;
  shape.inputLength = inputLength;
  shape.outputLength = outputLength;
  std::vector<uint8_t> system;
  uint32_t method = code & 3;
  if (method == kMethodNeither) {
    shape.type3InputBuffer = const_cast<void*>(input);
    shape.userBuffer = output;
  } else {
    uint32_t bytes = inputLength > outputLength ? inputLength : outputLength;
    if (bytes != 0) {
      system.assign(bytes, 0);
      if (input != nullptr && inputLength != 0) memcpy(system.data(), input, inputLength);
      shape.systemBuffer = system.data();
    }
    if (method != kMethodBuffered) shape.userBuffer = output;
  }
  RequestResult result = sendRequest(topOfStack(handle.file->device), shape);
  // The caller learns the driver's count; at most its output length is copied.
  uint32_t bytes = static_cast<uint32_t>(result.information);
  uint32_t copied = bytes > outputLength ? outputLength : bytes;
  if (method == kMethodBuffered && kernel::isSuccess(result.status) && copied != 0 && output != nullptr) {
    memcpy(output, system.data(), copied);
  }
  return {result.status, bytes};
}

UserIoResult readFile(UserHandle& handle, void* buffer, uint32_t length) {
  RequestShape shape = requestOn(handle, kernel::kIrpMjRead);
  kernel::DeviceObject* top = topOfStack(handle.file->device);
  bool buffered = (kernel::deviceFlags(top) & kernel::kDoBufferedIo) != 0;
  std::vector<uint8_t> system;
  shape.outputLength = length;  // the read's length
  if (buffered && length != 0) {
    system.assign(length, 0);
    shape.systemBuffer = system.data();
  } else {
    shape.userBuffer = buffer;
  }
  RequestResult result = sendRequest(top, shape);
  uint32_t bytes = static_cast<uint32_t>(result.information);
  if (bytes > length) bytes = length;
  if (buffered && kernel::isSuccess(result.status) && bytes != 0) memcpy(buffer, system.data(), bytes);
  return {result.status, bytes};
}

kernel::Status closeHandle(UserHandle& handle) {
  kernel::FileObject* file = handle.file;
  kernel::DeviceObject* top = topOfStack(file->device);
  sendRequest(top, requestOn(handle, kernel::kIrpMjCleanup));
  RequestResult closed = sendRequest(topOfStack(file->device), requestOn(handle, kernel::kIrpMjClose));
  forgetFile(handle);
  return closed.status;
}

}  // namespace sim
