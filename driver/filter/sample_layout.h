#pragma once
// The sample layouts of the audio device's interleaved frames, read as 16-bit
// values: 16-bit samples as they are, 32-bit containers by their upper 16 bits
// (the word at byte offset 2), 8-bit unsigned bytes as (b - 128) x 256, and
// any other width of 8 bits or more by its first two bytes.
#include <stdint.h>

inline int16_t loadInt16(const uint8_t* at) {
  int16_t value;
  __builtin_memcpy(&value, at, sizeof value);
  return value;
}

inline void storeInt16(uint8_t* at, int16_t value) { __builtin_memcpy(at, &value, sizeof value); }

// The 16-bit reading of the sample that starts at `at`.
inline int16_t readSample(const uint8_t* at, uint32_t bitsPerSample) {
  if (bitsPerSample == 8) return static_cast<int16_t>((at[0] - 128) * 256);
  if (bitsPerSample == 32) return loadInt16(at + 2);
  return loadInt16(at);
}

inline uint32_t magnitude(int32_t sample) { return static_cast<uint32_t>(sample < 0 ? -sample : sample); }
