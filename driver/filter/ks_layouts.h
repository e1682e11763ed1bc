#pragma once
// The kernel-streaming structures the pin tracking and the stream hooks read,
// as the platform lays them out. Pointer and handle fields make some of them
// larger on 64-bit Windows, so the offsets are checked for both pointer
// sizes. The structures describe the layouts; the code reads requester
// memory through the byte helpers at the end, never by casting a buffer
// (requester buffers carry no alignment promise).
#include <stddef.h>
#include <stdint.h>

#include "kernel/unicode_string.h"

namespace ks {

using GUID = kernel::Guid;

// A property request's identity: its set, its id and the get/set flags.
struct alignas(8) KSPROPERTY {
  GUID Set;
  uint32_t Id;
  uint32_t Flags;
};
static_assert(sizeof(KSPROPERTY) == 24);
static_assert(offsetof(KSPROPERTY, Set) == 0);
static_assert(offsetof(KSPROPERTY, Id) == 16);
static_assert(offsetof(KSPROPERTY, Flags) == 20);

inline constexpr uint32_t KSPROPERTY_TYPE_GET = 0x00000001;
inline constexpr uint32_t KSPROPERTY_TYPE_SET = 0x00000002;

// A pin-addressed property.
struct KSP_PIN {
  KSPROPERTY Property;
  uint32_t PinId;
  uint32_t Reserved;
};
static_assert(sizeof(KSP_PIN) == 32);
static_assert(offsetof(KSP_PIN, PinId) == 24);

// A node-addressed property (the audio properties add a channel after it).
struct KSNODEPROPERTY {
  KSPROPERTY Property;
  uint32_t NodeId;
  uint32_t Reserved;
};
static_assert(sizeof(KSNODEPROPERTY) == 32);
static_assert(offsetof(KSNODEPROPERTY, NodeId) == 24);

struct KSNODEPROPERTY_AUDIO_CHANNEL {
  KSNODEPROPERTY NodeProperty;
  int32_t Channel;
  uint32_t Reserved;
};
static_assert(sizeof(KSNODEPROPERTY_AUDIO_CHANNEL) == 40);

// The header of a list of variable-sized items; Size counts the header too.
struct KSMULTIPLE_ITEM {
  uint32_t Size;   // bytes
  uint32_t Count;
};
static_assert(sizeof(KSMULTIPLE_ITEM) == 8);

// A data format or data range header; the format's own fields follow it.
struct alignas(8) KSDATAFORMAT {
  uint32_t FormatSize;  // bytes, this header included
  uint32_t Flags;
  uint32_t SampleSize;
  uint32_t Reserved;
  GUID MajorFormat;
  GUID SubFormat;
  GUID Specifier;
};
static_assert(sizeof(KSDATAFORMAT) == 64);
static_assert(offsetof(KSDATAFORMAT, FormatSize) == 0);
static_assert(offsetof(KSDATAFORMAT, MajorFormat) == 16);
static_assert(offsetof(KSDATAFORMAT, SubFormat) == 32);
static_assert(offsetof(KSDATAFORMAT, Specifier) == 48);

using KSDATARANGE = KSDATAFORMAT;

struct KSDATARANGE_AUDIO {
  KSDATARANGE DataRange;
  uint32_t MaximumChannels;
  uint32_t MinimumBitsPerSample;
  uint32_t MaximumBitsPerSample;
  uint32_t MinimumSampleFrequency;  // Hz
  uint32_t MaximumSampleFrequency;  // Hz
};
static_assert(sizeof(KSDATARANGE_AUDIO) == 88);  // 84 bytes of fields, padded to the header's alignment
static_assert(offsetof(KSDATARANGE_AUDIO, MaximumChannels) == 64);
static_assert(offsetof(KSDATARANGE_AUDIO, MinimumSampleFrequency) == 76);
static_assert(offsetof(KSDATARANGE_AUDIO, MaximumSampleFrequency) == 80);

// The wave format, packed to 18 bytes without extra bytes.
struct __attribute__((packed)) WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;   // Hz
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;      // bytes per frame
  uint16_t wBitsPerSample;
  uint16_t cbSize;           // extra bytes after these 18
};
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nChannels) == 2);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// A format with the wave-format specifier: the wave format right after the header.
// The platform packs these three to 82, 26 and 90 bytes; here they keep the
// header's 8-byte alignment and so their tail padding. Read them by offset
// only: their sizes differ from the platform's.
struct KSDATAFORMAT_WAVEFORMATEX {
  KSDATAFORMAT DataFormat;
  WAVEFORMATEX WaveFormatEx;
};
static_assert(offsetof(KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx) == 64);

// A format with the DirectSound specifier: two words of the buffer
// description, then the wave format.
struct KSDSOUND_BUFFERDESC {
  uint32_t Flags;
  uint32_t Control;
  WAVEFORMATEX WaveFormatEx;
};
struct KSDATAFORMAT_DSOUND {
  KSDATAFORMAT DataFormat;
  KSDSOUND_BUFFERDESC BufferDesc;
};

static_assert(offsetof(KSDATAFORMAT_DSOUND, BufferDesc) == 64);
static_assert(offsetof(KSDATAFORMAT_DSOUND, BufferDesc.WaveFormatEx) == 72);

// The pin-creation parameters: the interface and medium identifiers, the
// pin factory, the pin to connect to (none for a sink), the priority.
struct alignas(8) KSPIN_INTERFACE {
  GUID Set;
  uint32_t Id;
  uint32_t Flags;
};
using KSPIN_MEDIUM = KSPIN_INTERFACE;
struct KSPRIORITY {
  uint32_t PriorityClass;
  uint32_t PrioritySubClass;
};
struct KSPIN_CONNECT {
  KSPIN_INTERFACE Interface;
  KSPIN_MEDIUM Medium;
  uint32_t PinId;
  void* PinToHandle;
  KSPRIORITY Priority;
};
static_assert(offsetof(KSPIN_CONNECT, Medium) == 24);
static_assert(offsetof(KSPIN_CONNECT, PinId) == 48);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KSPIN_CONNECT) == 64);
static_assert(offsetof(KSPIN_CONNECT, PinToHandle) == 52);
static_assert(offsetof(KSPIN_CONNECT, Priority) == 56);
#else
static_assert(sizeof(KSPIN_CONNECT) == 72);
static_assert(offsetof(KSPIN_CONNECT, PinToHandle) == 56);
static_assert(offsetof(KSPIN_CONNECT, Priority) == 64);
#endif

struct KSTIME {
  int64_t Time;
  uint32_t Numerator;
  uint32_t Denominator;
};

// One stream header of a read or write request; only the first is examined.
struct alignas(8) KSSTREAM_HEADER {
  uint32_t Size;  // bytes of this header
  uint32_t TypeSpecificFlags;
  KSTIME PresentationTime;
  int64_t Duration;
  uint32_t FrameExtent;  // bytes the data buffer holds
  uint32_t DataUsed;     // bytes of it in use
  void* Data;
  uint32_t OptionsFlags;
#if UINTPTR_MAX != 0xFFFFFFFFu
  uint32_t Reserved;
#endif
};
static_assert(offsetof(KSSTREAM_HEADER, PresentationTime) == 8);
static_assert(offsetof(KSSTREAM_HEADER, Duration) == 24);
static_assert(offsetof(KSSTREAM_HEADER, FrameExtent) == 32);
static_assert(offsetof(KSSTREAM_HEADER, DataUsed) == 36);
static_assert(offsetof(KSSTREAM_HEADER, Data) == 40);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KSSTREAM_HEADER) == 48);
static_assert(offsetof(KSSTREAM_HEADER, OptionsFlags) == 44);
#else
static_assert(sizeof(KSSTREAM_HEADER) == 56);
static_assert(offsetof(KSSTREAM_HEADER, OptionsFlags) == 48);
#endif

// Connection states.
inline constexpr uint32_t KSSTATE_STOP = 0;
inline constexpr uint32_t KSSTATE_ACQUIRE = 1;
inline constexpr uint32_t KSSTATE_PAUSE = 2;
inline constexpr uint32_t KSSTATE_RUN = 3;

// Property sets and the ids the driver looks at.
inline constexpr GUID KSPROPSETID_Connection = {0x1D58C920, 0xAC9B, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
inline constexpr GUID KSPROPSETID_Pin = {0x8C134960, 0x51AD, 0x11CF, {0x87, 0x8A, 0x94, 0xF8, 0x01, 0xC1, 0x00, 0x00}};
inline constexpr GUID KSPROPSETID_Audio = {0x45FFAAA0, 0x6E1B, 0x11D0, {0xBC, 0xF2, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID KSPROPSETID_Topology = {0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

inline constexpr uint32_t KSPROPERTY_CONNECTION_STATE = 0;
inline constexpr uint32_t KSPROPERTY_CONNECTION_DATAFORMAT = 2;
inline constexpr uint32_t KSPROPERTY_PIN_DATARANGES = 3;
inline constexpr uint32_t KSPROPERTY_PIN_DATAINTERSECTION = 4;
inline constexpr uint32_t KSPROPERTY_AUDIO_VOLUMELEVEL = 4;
inline constexpr uint32_t KSPROPERTY_TOPOLOGY_NAME = 3;

// Format types and specifiers.
inline constexpr GUID KSDATAFORMAT_TYPE_AUDIO = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID KSDATAFORMAT_SUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID KSDATAFORMAT_SPECIFIER_WAVEFORMATEX = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID KSDATAFORMAT_SPECIFIER_DSOUND = {
    0x518590A2, 0xA184, 0x11D0, {0x85, 0x22, 0x00, 0xC0, 0x4F, 0xD9, 0xBA, 0xF3}};

inline bool sameGuid(const GUID& a, const GUID& b) { return __builtin_memcmp(&a, &b, sizeof(GUID)) == 0; }

// Byte-wise access to requester memory, at any alignment.
inline uint32_t loadU32(const void* at) {
  uint32_t value;
  __builtin_memcpy(&value, at, sizeof value);
  return value;
}
inline void storeU32(void* at, uint32_t value) { __builtin_memcpy(at, &value, sizeof value); }
inline GUID loadGuid(const void* at) {
  GUID value;
  __builtin_memcpy(&value, at, sizeof value);
  return value;
}
inline void* loadPointer(const void* at) {
  void* value;
  __builtin_memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace ks
