#pragma once
// Status codes of the signal primitives. On an error nothing is written.
#include <stdint.h>

using PrimitiveStatus = int32_t;

inline constexpr PrimitiveStatus kPrimitiveDone = 0;
inline constexpr PrimitiveStatus kPrimitiveBadLength = -6;     // a length 0 or negative (window: below 3)
inline constexpr PrimitiveStatus kPrimitiveNullPointer = -8;
inline constexpr PrimitiveStatus kPrimitiveNoMemory = -9;
inline constexpr PrimitiveStatus kPrimitiveBadOrder = -15;     // FFT order outside 0 .. 30
inline constexpr PrimitiveStatus kPrimitiveBadFlag = -16;      // FFT scaling flag not 1, 2, 4 or 8
inline constexpr PrimitiveStatus kPrimitiveBadSetup = -17;     // FFT setup id is not kFftSetupId
inline constexpr PrimitiveStatus kPrimitiveDivideByZero = 6;   // warning: results written anyway
