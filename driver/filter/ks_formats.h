#pragma once
// Recognising the audio formats and data ranges of kernel-streaming requests,
// and walking a list of data ranges. Everything here reads requester memory
// only within the lengths it is given.
#include <stdint.h>

#include "filter/ks_layouts.h"

// Where the wave format of a recognised format starts, bytes from the
// format's start; 0 when the format is not recognised. Recognised: audio
// PCM with the wave-format specifier (wave format right after the 64-byte
// header) or the DirectSound one (8 bytes after it), both wholly inside
// `length` bytes, and a rate above 100 Hz.
uint32_t recognisedWaveOffset(const uint8_t* format, uint32_t length);

// The 18 bytes of the wave format at `at`.
ks::WAVEFORMATEX loadWaveFormat(const uint8_t* at);
uint32_t waveRate(const uint8_t* wave);
void setWaveRate(uint8_t* wave, uint32_t rate);

// A data range of at least the audio range's 88 bytes, audio PCM.
bool recognisedRange(const uint8_t* range, uint32_t rangeBytes);

inline constexpr uint32_t kMinimumFrequencyOffset = 76;  // in a KSDATARANGE_AUDIO
inline constexpr uint32_t kMaximumFrequencyOffset = 80;

// Walks the list of data ranges at `list` (a KSMULTIPLE_ITEM header and its
// items), which the requester's buffer holds for `available` bytes, and calls
// visit(range) for every recognised range. Every item is taken to be
// (Size - 8) / Count bytes long; the walk stops at the first item whose own
// FormatSize differs from that, when that size is below a format header's
// 64 bytes, or after the last item. A Size beyond `available`, below the
// header's 8 bytes, or a Count of 0 is malformed: nothing is visited.
template <typename Visit>
void walkDataRanges(uint8_t* list, uint32_t available, Visit visit) {
  if (list == nullptr || available < sizeof(ks::KSMULTIPLE_ITEM)) return;
  uint32_t size = ks::loadU32(list);
  uint32_t count = ks::loadU32(list + 4);
  if (size > available || size < sizeof(ks::KSMULTIPLE_ITEM) || count == 0) return;
  uint32_t itemBytes = (size - static_cast<uint32_t>(sizeof(ks::KSMULTIPLE_ITEM))) / count;
  if (itemBytes < sizeof(ks::KSDATAFORMAT)) return;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* item = list + sizeof(ks::KSMULTIPLE_ITEM) + i * itemBytes;  // count x itemBytes <= size - 8
    if (ks::loadU32(item) != itemBytes) return;
    if (recognisedRange(item, itemBytes)) visit(item);
  }
}
