#pragma once
// The engine's entry from the capture path: every captured buffer of
// interleaved signed 16-bit samples passes through here, in place.
#include <stdint.h>

#include "engine/driver_state.h"

// Processes sampleCount int16 values (frames x channels) in place when the
// records and the stream formats allow it, and leaves them as captured when
// they do not. Takes the stream lock itself; the caller has saved the
// floating-point state.
void processCaptureBuffer(DriverState& driver, int32_t sampleCount, int16_t* samples);

// First-buffer creation of the engine; called under the stream lock.
bool createEngine(DriverState& driver, int32_t sampleCount);

// The sample widths the engine can read, bits: 16-bit samples and 32-bit
// containers whose upper 16 bits the capture path packs. Any other width
// would be misread as 16-bit samples.
bool sampleWidthUsable(uint32_t bits);

// peak = max(peak, |s|) over the count values; |-32768| is 32768.
void updatePeak(uint32_t& peak, const int16_t* samples, int32_t count);
