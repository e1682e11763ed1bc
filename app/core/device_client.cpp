#include "core/device_client.h"

#include <wchar.h>

DeviceClient::DeviceClient(const wchar_t* path) {
  wcsncpy(path_, path, kMaxPathLength - 1);
  path_[kMaxPathLength - 1] = L'\0';
}

DeviceClient::~DeviceClient() { CloseDevice(); }

BOOL DeviceClient::Control(uint32_t code, void* input, DWORD inputSize, void* output, DWORD outputSize) {
  if (device_ == INVALID_HANDLE_VALUE) {
    device_ = CreateFileW(path_, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device_ == INVALID_HANDLE_VALUE) return FALSE;
  }
  DWORD returned = 0;  // not examined: the records have fixed sizes
  const BOOL ok = DeviceIoControl(device_, code, input, inputSize, output, outputSize, &returned, nullptr);
  if (!ok) CloseDevice();
  return ok;
}

void DeviceClient::CloseDevice() {
  if (device_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(device_);
  device_ = INVALID_HANDLE_VALUE;
}
