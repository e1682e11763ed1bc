#pragma once
// The six private control codes of the control device. Each moves one whole
// record; all use the buffered method (one system buffer for input and output).
#include <stdint.h>

// code = deviceType << 16 | access << 14 | function << 2 | method
constexpr uint32_t controlCode(uint32_t deviceType, uint32_t function, uint32_t access) {
  return deviceType << 16 | access << 14 | function << 2;
}

inline constexpr uint32_t kEcDeviceType = 0x800;
inline constexpr uint32_t kArrayDeviceType = 0x801;
inline constexpr uint32_t kReadAccess = 1;
inline constexpr uint32_t kWriteAccess = 2;

inline constexpr uint32_t IOCTL_EC_GET_SETTINGS = controlCode(kEcDeviceType, 1, kReadAccess);
inline constexpr uint32_t IOCTL_EC_SET_SETTINGS = controlCode(kEcDeviceType, 2, kWriteAccess);
inline constexpr uint32_t IOCTL_EC_GET_STATUS = controlCode(kEcDeviceType, 3, kReadAccess);
inline constexpr uint32_t IOCTL_ARRAY_GET_SETTINGS = controlCode(kArrayDeviceType, 1, kReadAccess);
inline constexpr uint32_t IOCTL_ARRAY_SET_SETTINGS = controlCode(kArrayDeviceType, 2, kWriteAccess);
inline constexpr uint32_t IOCTL_ARRAY_GET_STATUS = controlCode(kArrayDeviceType, 3, kReadAccess);

static_assert(IOCTL_EC_GET_SETTINGS == 0x08004004);
static_assert(IOCTL_EC_SET_SETTINGS == 0x08008008);
static_assert(IOCTL_EC_GET_STATUS == 0x0800400C);
static_assert(IOCTL_ARRAY_GET_SETTINGS == 0x08014004);
static_assert(IOCTL_ARRAY_SET_SETTINGS == 0x08018008);
static_assert(IOCTL_ARRAY_GET_STATUS == 0x0801400C);
