#pragma once
// Interrupt request levels the driver distinguishes.
#include <stdint.h>

namespace kernel {

using Irql = uint8_t;

inline constexpr Irql kPassiveLevel = 0;
inline constexpr Irql kDispatchLevel = 2;

Irql currentIrql();

}  // namespace kernel
