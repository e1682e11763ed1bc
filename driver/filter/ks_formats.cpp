#include "filter/ks_formats.h"

namespace {

// Formats at or below this rate are not taken for audio formats, Hz.
constexpr uint32_t kLowestRecognisedRate = 100;
// After the two words of the DirectSound buffer description.
constexpr uint32_t kDsoundWaveOffset = offsetof(ks::KSDATAFORMAT_DSOUND, BufferDesc.WaveFormatEx);

bool audioPcm(const uint8_t* header) {
  return ks::sameGuid(ks::loadGuid(header + offsetof(ks::KSDATAFORMAT, MajorFormat)), ks::KSDATAFORMAT_TYPE_AUDIO) &&
         ks::sameGuid(ks::loadGuid(header + offsetof(ks::KSDATAFORMAT, SubFormat)), ks::KSDATAFORMAT_SUBTYPE_PCM);
}

}  // namespace

uint32_t recognisedWaveOffset(const uint8_t* format, uint32_t length) {
  if (format == nullptr || length < sizeof(ks::KSDATAFORMAT) || !audioPcm(format)) return 0;
  ks::GUID specifier = ks::loadGuid(format + offsetof(ks::KSDATAFORMAT, Specifier));
  uint32_t offset = 0;
  if (ks::sameGuid(specifier, ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)) {
    offset = offsetof(ks::KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx);
  } else if (ks::sameGuid(specifier, ks::KSDATAFORMAT_SPECIFIER_DSOUND)) {
    offset = kDsoundWaveOffset;
  } else {
    return 0;
  }
  if (length < offset || length - offset < sizeof(ks::WAVEFORMATEX)) return 0;
  return waveRate(format + offset) > kLowestRecognisedRate ? offset : 0;
}

ks::WAVEFORMATEX loadWaveFormat(const uint8_t* at) {
  ks::WAVEFORMATEX wave;
  __builtin_memcpy(&wave, at, sizeof wave);
  return wave;
}

uint32_t waveRate(const uint8_t* wave) { return ks::loadU32(wave + offsetof(ks::WAVEFORMATEX, nSamplesPerSec)); }

void setWaveRate(uint8_t* wave, uint32_t rate) { ks::storeU32(wave + offsetof(ks::WAVEFORMATEX, nSamplesPerSec), rate); }

bool recognisedRange(const uint8_t* range, uint32_t rangeBytes) {
  return rangeBytes >= sizeof(ks::KSDATARANGE_AUDIO) && ks::loadU32(range) >= sizeof(ks::KSDATARANGE_AUDIO) &&
         audioPcm(range);
}
