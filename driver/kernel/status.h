#pragma once
// The status codes the driver answers requests with (NTSTATUS values).
#include <stdint.h>

namespace kernel {

using Status = int32_t;

inline constexpr Status kStatusSuccess = 0;
inline constexpr Status kStatusPending = 0x00000103;
inline constexpr Status kStatusUnsuccessful = static_cast<Status>(0xC0000001u);
inline constexpr Status kStatusDeviceRemoved = static_cast<Status>(0xC00002B6u);

// Further codes the kernel's own routines answer with, as the driver sees them.
inline constexpr Status kStatusBufferOverflow = static_cast<Status>(0x80000005u);  // a warning: data cut short
inline constexpr Status kStatusInvalidDeviceRequest = static_cast<Status>(0xC0000010u);
inline constexpr Status kStatusMoreProcessingRequired = static_cast<Status>(0xC0000016u);
inline constexpr Status kStatusBufferTooSmall = static_cast<Status>(0xC0000023u);
inline constexpr Status kStatusObjectNameNotFound = static_cast<Status>(0xC0000034u);
inline constexpr Status kStatusObjectNameCollision = static_cast<Status>(0xC0000035u);
inline constexpr Status kStatusDeletePending = static_cast<Status>(0xC0000056u);
inline constexpr Status kStatusInsufficientResources = static_cast<Status>(0xC000009Au);
inline constexpr Status kStatusNotSupported = static_cast<Status>(0xC00000BBu);
inline constexpr Status kStatusNoSuchDevice = static_cast<Status>(0xC000000Eu);

}  // namespace kernel
