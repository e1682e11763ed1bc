#pragma once
// The status codes the driver answers requests with (NTSTATUS values).
#include <stdint.h>

namespace kernel {

using Status = int32_t;

inline constexpr Status kStatusSuccess = 0;
inline constexpr Status kStatusPending = 0x00000103;
inline constexpr Status kStatusUnsuccessful = static_cast<Status>(0xC0000001u);
inline constexpr Status kStatusDeviceRemoved = static_cast<Status>(0xC00002B6u);

}  // namespace kernel
