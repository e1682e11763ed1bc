#pragma once
// Clients of a control device. The device is opened on demand by the first
// Control call that finds no handle, and any failed call closes it, so the
// next call opens it again. Callers close it at once after every write and
// after the reads made at creation and re-synchronisation; the two status
// reads of the polls leave it open.
#include <windows.h>

#include <stdint.h>

#include "shared/control_codes.h"
#include "shared/control_records.h"

class DeviceClient {
 public:
  static constexpr size_t kMaxPathLength = 260;  // characters, with the terminator

  explicit DeviceClient(const wchar_t* path);
  DeviceClient(const DeviceClient&) = delete;
  DeviceClient& operator=(const DeviceClient&) = delete;
  virtual ~DeviceClient();

  // Sends one control request. Nonzero for success; 0 when the device cannot
  // be opened (nothing else happens then) or the request fails.
  BOOL Control(uint32_t code, void* input, DWORD inputSize, void* output, DWORD outputSize);
  void CloseDevice();

  bool IsOpen() const { return device_ != INVALID_HANDLE_VALUE; }
  const wchar_t* Path() const { return path_; }

 private:
  HANDLE device_ = INVALID_HANDLE_VALUE;
  wchar_t path_[kMaxPathLength] = {};
};

// The one client of the Kalvex control device, with one copy of each record.
// The application never builds a record from scratch: it edits the copy last
// read from the driver and sends the whole record back.
class KalvexClient : public DeviceClient {
 public:
  static constexpr const wchar_t* kDevicePath = L"\\\\.\\Kalvex";

  KalvexClient() : DeviceClient(kDevicePath) {}

  // Each moves one whole record between the driver and its copy here.
  BOOL ReadEcSettings() { return Control(IOCTL_EC_GET_SETTINGS, nullptr, 0, &ecSettings, sizeof(ecSettings)); }
  BOOL WriteEcSettings() { return Control(IOCTL_EC_SET_SETTINGS, &ecSettings, sizeof(ecSettings), nullptr, 0); }
  BOOL ReadEcStatus() { return Control(IOCTL_EC_GET_STATUS, nullptr, 0, &ecStatus, sizeof(ecStatus)); }
  BOOL ReadArrayStatus() { return Control(IOCTL_ARRAY_GET_STATUS, nullptr, 0, &arrayStatus, sizeof(arrayStatus)); }
  BOOL ReadArraySettings() { return Control(IOCTL_ARRAY_GET_SETTINGS, nullptr, 0, &arraySettings, sizeof(arraySettings)); }
  BOOL WriteArraySettings() { return Control(IOCTL_ARRAY_SET_SETTINGS, &arraySettings, sizeof(arraySettings), nullptr, 0); }

  EcSettings ecSettings = {};
  EcStatus ecStatus = {};
  ArrayStatus arrayStatus = {};
  ArraySettings arraySettings = {};
};
