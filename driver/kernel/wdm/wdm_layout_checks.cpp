// Compile-time checks of the driver's own kernel-streaming layouts, control
// codes and records against the platform's headers, on both pointer sizes.
// Nothing here runs.
//
// The driver's definitions come first: the platform's headers make macros of
// several of the same names (KSPROPERTY_TYPE_GET, the set and format GUIDs,
// WAVE_FORMAT_PCM), so the driver's values are taken under other names
// before those headers are read.
#include "filter/interception_hooks.h"
#include "filter/ks_layouts.h"
#include "shared/control_codes.h"
#include "shared/control_records.h"

namespace ours {

constexpr uint32_t kTypeGet = ks::KSPROPERTY_TYPE_GET;
constexpr uint32_t kTypeSet = ks::KSPROPERTY_TYPE_SET;
constexpr uint16_t kWaveFormatPcm = ks::WAVE_FORMAT_PCM;
constexpr kernel::Guid kConnection = ks::KSPROPSETID_Connection;
constexpr kernel::Guid kPin = ks::KSPROPSETID_Pin;
constexpr kernel::Guid kAudio = ks::KSPROPSETID_Audio;
constexpr kernel::Guid kTopology = ks::KSPROPSETID_Topology;
constexpr kernel::Guid kTypeAudio = ks::KSDATAFORMAT_TYPE_AUDIO;
constexpr kernel::Guid kSubtypePcm = ks::KSDATAFORMAT_SUBTYPE_PCM;
constexpr kernel::Guid kSpecifierWaveFormatEx = ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
constexpr kernel::Guid kSpecifierDsound = ks::KSDATAFORMAT_SPECIFIER_DSOUND;

}  // namespace ours

#include "wdm_ks_platform.h"

namespace {

// Same size and the same offset of every named field.
#define KALVEX_SAME_SIZE(type) static_assert(sizeof(ks::type) == sizeof(::type), #type " differs in size")
#define KALVEX_SAME_OFFSET(type, field) \
  static_assert(offsetof(ks::type, field) == offsetof(::type, field), #type "::" #field " differs in offset")

KALVEX_SAME_SIZE(KSPROPERTY);
KALVEX_SAME_OFFSET(KSPROPERTY, Set);
KALVEX_SAME_OFFSET(KSPROPERTY, Id);
KALVEX_SAME_OFFSET(KSPROPERTY, Flags);

KALVEX_SAME_SIZE(KSP_PIN);
KALVEX_SAME_OFFSET(KSP_PIN, PinId);
KALVEX_SAME_SIZE(KSNODEPROPERTY);
KALVEX_SAME_OFFSET(KSNODEPROPERTY, NodeId);
KALVEX_SAME_SIZE(KSNODEPROPERTY_AUDIO_CHANNEL);
KALVEX_SAME_OFFSET(KSNODEPROPERTY_AUDIO_CHANNEL, Channel);

KALVEX_SAME_SIZE(KSMULTIPLE_ITEM);
KALVEX_SAME_OFFSET(KSMULTIPLE_ITEM, Size);
KALVEX_SAME_OFFSET(KSMULTIPLE_ITEM, Count);

KALVEX_SAME_SIZE(KSDATAFORMAT);
KALVEX_SAME_OFFSET(KSDATAFORMAT, FormatSize);
KALVEX_SAME_OFFSET(KSDATAFORMAT, Flags);
KALVEX_SAME_OFFSET(KSDATAFORMAT, SampleSize);
KALVEX_SAME_OFFSET(KSDATAFORMAT, MajorFormat);
KALVEX_SAME_OFFSET(KSDATAFORMAT, SubFormat);
KALVEX_SAME_OFFSET(KSDATAFORMAT, Specifier);

KALVEX_SAME_SIZE(KSDATARANGE_AUDIO);
KALVEX_SAME_OFFSET(KSDATARANGE_AUDIO, MaximumChannels);
KALVEX_SAME_OFFSET(KSDATARANGE_AUDIO, MinimumBitsPerSample);
KALVEX_SAME_OFFSET(KSDATARANGE_AUDIO, MaximumBitsPerSample);
KALVEX_SAME_OFFSET(KSDATARANGE_AUDIO, MinimumSampleFrequency);
KALVEX_SAME_OFFSET(KSDATARANGE_AUDIO, MaximumSampleFrequency);

KALVEX_SAME_SIZE(WAVEFORMATEX);
KALVEX_SAME_OFFSET(WAVEFORMATEX, wFormatTag);
KALVEX_SAME_OFFSET(WAVEFORMATEX, nChannels);
KALVEX_SAME_OFFSET(WAVEFORMATEX, nSamplesPerSec);
KALVEX_SAME_OFFSET(WAVEFORMATEX, nAvgBytesPerSec);
KALVEX_SAME_OFFSET(WAVEFORMATEX, nBlockAlign);
KALVEX_SAME_OFFSET(WAVEFORMATEX, wBitsPerSample);
KALVEX_SAME_OFFSET(WAVEFORMATEX, cbSize);
// The platform packs the three structures that carry a wave format to one
// byte (82, 26 and 90 bytes); the driver's are padded to their alignment.
// The driver reads them by offset, never by their size, so the offsets are
// what must agree.
KALVEX_SAME_OFFSET(KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx);
KALVEX_SAME_OFFSET(KSDSOUND_BUFFERDESC, Flags);
KALVEX_SAME_OFFSET(KSDSOUND_BUFFERDESC, Control);
KALVEX_SAME_OFFSET(KSDSOUND_BUFFERDESC, WaveFormatEx);
KALVEX_SAME_OFFSET(KSDATAFORMAT_DSOUND, BufferDesc);

KALVEX_SAME_SIZE(KSPIN_INTERFACE);
KALVEX_SAME_OFFSET(KSPIN_INTERFACE, Set);
KALVEX_SAME_OFFSET(KSPIN_INTERFACE, Id);
KALVEX_SAME_OFFSET(KSPIN_INTERFACE, Flags);
KALVEX_SAME_SIZE(KSPIN_MEDIUM);
KALVEX_SAME_SIZE(KSPRIORITY);
KALVEX_SAME_SIZE(KSPIN_CONNECT);
KALVEX_SAME_OFFSET(KSPIN_CONNECT, Interface);
KALVEX_SAME_OFFSET(KSPIN_CONNECT, Medium);
KALVEX_SAME_OFFSET(KSPIN_CONNECT, PinId);
KALVEX_SAME_OFFSET(KSPIN_CONNECT, PinToHandle);
KALVEX_SAME_OFFSET(KSPIN_CONNECT, Priority);

KALVEX_SAME_SIZE(KSTIME);
KALVEX_SAME_SIZE(KSSTREAM_HEADER);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, Size);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, TypeSpecificFlags);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, PresentationTime);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, Duration);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, FrameExtent);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, DataUsed);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, Data);
KALVEX_SAME_OFFSET(KSSTREAM_HEADER, OptionsFlags);

#undef KALVEX_SAME_SIZE
#undef KALVEX_SAME_OFFSET

static_assert(ours::kTypeGet == KSPROPERTY_TYPE_GET && ours::kTypeSet == KSPROPERTY_TYPE_SET);
static_assert(ours::kWaveFormatPcm == WAVE_FORMAT_PCM);
static_assert(ks::KSSTATE_STOP == ::KSSTATE_STOP && ks::KSSTATE_ACQUIRE == ::KSSTATE_ACQUIRE);
static_assert(ks::KSSTATE_PAUSE == ::KSSTATE_PAUSE && ks::KSSTATE_RUN == ::KSSTATE_RUN);
static_assert(ks::KSPROPERTY_CONNECTION_STATE == ::KSPROPERTY_CONNECTION_STATE);
static_assert(ks::KSPROPERTY_CONNECTION_DATAFORMAT == ::KSPROPERTY_CONNECTION_DATAFORMAT);
static_assert(ks::KSPROPERTY_PIN_DATARANGES == ::KSPROPERTY_PIN_DATARANGES);
static_assert(ks::KSPROPERTY_PIN_DATAINTERSECTION == ::KSPROPERTY_PIN_DATAINTERSECTION);
static_assert(ks::KSPROPERTY_AUDIO_VOLUMELEVEL == ::KSPROPERTY_AUDIO_VOLUMELEVEL);
static_assert(ks::KSPROPERTY_TOPOLOGY_NAME == ::KSPROPERTY_TOPOLOGY_NAME);

constexpr bool sameGuid(const kernel::Guid& a, const ::GUID& b) {
  for (int i = 0; i < 8; i++) {
    if (a.data4[i] != b.Data4[i]) return false;
  }
  return a.data1 == b.Data1 && a.data2 == b.Data2 && a.data3 == b.Data3;
}
constexpr ::GUID kPlatformConnection = {STATIC_KSPROPSETID_Connection};
constexpr ::GUID kPlatformPin = {STATIC_KSPROPSETID_Pin};
constexpr ::GUID kPlatformAudio = {STATIC_KSPROPSETID_Audio};
constexpr ::GUID kPlatformTopology = {STATIC_KSPROPSETID_Topology};
constexpr ::GUID kPlatformTypeAudio = {STATIC_KSDATAFORMAT_TYPE_AUDIO};
constexpr ::GUID kPlatformSubtypePcm = {STATIC_KSDATAFORMAT_SUBTYPE_PCM};
constexpr ::GUID kPlatformSpecifierWaveFormatEx = {STATIC_KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
constexpr ::GUID kPlatformSpecifierDsound = {STATIC_KSDATAFORMAT_SPECIFIER_DSOUND};
static_assert(sameGuid(ours::kConnection, kPlatformConnection));
static_assert(sameGuid(ours::kPin, kPlatformPin));
static_assert(sameGuid(ours::kAudio, kPlatformAudio));
static_assert(sameGuid(ours::kTopology, kPlatformTopology));
static_assert(sameGuid(ours::kTypeAudio, kPlatformTypeAudio));
static_assert(sameGuid(ours::kSubtypePcm, kPlatformSubtypePcm));
static_assert(sameGuid(ours::kSpecifierWaveFormatEx, kPlatformSpecifierWaveFormatEx));
static_assert(sameGuid(ours::kSpecifierDsound, kPlatformSpecifierDsound));

// The kernel-streaming requests the forwarding dispatch intercepts.
static_assert(kIoctlKsProperty == IOCTL_KS_PROPERTY);
static_assert(kIoctlKsReadStream == IOCTL_KS_READ_STREAM);
static_assert(kIoctlKsWriteStream == IOCTL_KS_WRITE_STREAM);

// The six private codes, as the platform composes them: buffered, with the
// access each direction needs.
static_assert(IOCTL_EC_GET_SETTINGS == CTL_CODE(kEcDeviceType, 1, METHOD_BUFFERED, FILE_READ_ACCESS));
static_assert(IOCTL_EC_SET_SETTINGS == CTL_CODE(kEcDeviceType, 2, METHOD_BUFFERED, FILE_WRITE_ACCESS));
static_assert(IOCTL_EC_GET_STATUS == CTL_CODE(kEcDeviceType, 3, METHOD_BUFFERED, FILE_READ_ACCESS));
static_assert(IOCTL_ARRAY_GET_SETTINGS == CTL_CODE(kArrayDeviceType, 1, METHOD_BUFFERED, FILE_READ_ACCESS));
static_assert(IOCTL_ARRAY_SET_SETTINGS == CTL_CODE(kArrayDeviceType, 2, METHOD_BUFFERED, FILE_WRITE_ACCESS));
static_assert(IOCTL_ARRAY_GET_STATUS == CTL_CODE(kArrayDeviceType, 3, METHOD_BUFFERED, FILE_READ_ACCESS));
static_assert(kernel::controlCodeDeviceType(IOCTL_EC_GET_STATUS) == DEVICE_TYPE_FROM_CTL_CODE(IOCTL_EC_GET_STATUS));

// The records are arrays of the platform's 32-bit integers, without gaps, on
// both pointer sizes: the same bytes whoever compiled the other side.
static_assert(sizeof(ULONG) == 4 && sizeof(LONG) == 4);
static_assert(sizeof(EcSettings) == 7 * sizeof(ULONG) && alignof(EcSettings) == alignof(ULONG));
static_assert(sizeof(ArraySettings) == 3 * sizeof(ULONG) && alignof(ArraySettings) == alignof(ULONG));
static_assert(sizeof(EcStatus) == 19 * sizeof(ULONG) && alignof(EcStatus) == alignof(ULONG));
static_assert(sizeof(ArrayStatus) == 9 * sizeof(ULONG) && alignof(ArrayStatus) == alignof(ULONG));

}  // namespace
