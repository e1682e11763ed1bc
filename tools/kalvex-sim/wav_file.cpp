#include "wav_file.h"

#include <sndfile.h>

#include <filesystem>

#include "atomic_file.h"

namespace {

constexpr int32_t kDeviceRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr sf_count_t kChunkFrames = 4096;

// Bits per sample of a PCM subformat the device can deliver; 0 otherwise.
int32_t pcmBits(int subformat) {
  switch (subformat) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_32:
      return 32;
    default:
      return 0;
  }
}

std::string subformatName(int subformat) {
  switch (subformat) {
    case SF_FORMAT_PCM_24:
      return "24-bit PCM";
    case SF_FORMAT_FLOAT:
      return "32-bit float";
    case SF_FORMAT_DOUBLE:
      return "64-bit float";
    case SF_FORMAT_ULAW:
      return "u-law";
    case SF_FORMAT_ALAW:
      return "A-law";
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
      return "ADPCM";
    default:
      return "a compressed or unusual encoding";
  }
}

}  // namespace

bool deviceRate(int32_t rate) {
  for (int32_t r : kDeviceRates) {
    if (r == rate) return true;
  }
  return false;
}

WavReadResult readWav(const std::string& path) {
  WavReadResult result;
  if (!std::filesystem::exists(path)) {
    result.error = path + ": no such file";
    return result;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    result.error = path + ": not a readable sound file (" + sf_strerror(nullptr) + ")";
    return result;
  }
  int container = info.format & SF_FORMAT_TYPEMASK;
  int subformat = info.format & SF_FORMAT_SUBMASK;
  int32_t bits = pcmBits(subformat);
  if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_FLAC) {
    result.error = path + ": not a WAV or FLAC file";
  } else if (!deviceRate(info.samplerate)) {
    result.error = path + ": unsupported rate " + std::to_string(info.samplerate) +
                   " Hz (8000, 11025, 16000, 22050, 32000, 44100 or 48000)";
  } else if (info.channels != 1 && info.channels != 2) {
    result.error = path + ": unsupported channel count " + std::to_string(info.channels) + " (1 or 2)";
  } else if (bits == 0) {
    result.error = path + ": unsupported sample format " + subformatName(subformat) + " (8, 16 or 32-bit PCM)";
  } else if (info.frames <= 0) {
    result.error = path + ": no samples";
  }
  if (!result.error.empty()) {
    sf_close(file);
    return result;
  }

  result.stream.format = {info.samplerate, info.channels, bits};
  std::vector<int32_t> fullScale;
  fullScale.reserve(static_cast<size_t>(info.frames * info.channels));
  std::vector<int32_t> chunk(static_cast<size_t>(kChunkFrames * info.channels));
  for (;;) {
    sf_count_t got = sf_readf_int(file, chunk.data(), kChunkFrames);
    if (got <= 0) break;
    fullScale.insert(fullScale.end(), chunk.begin(), chunk.begin() + got * info.channels);
  }
  int readError = sf_error(file);
  sf_close(file);
  if (readError != SF_ERR_NO_ERROR || static_cast<sf_count_t>(fullScale.size()) != info.frames * info.channels) {
    result.error = path + ": read error, the file ends early";
    return result;
  }
  result.stream.bytes = encodeSamples(fullScale, bits);
  return result;
}

std::string writeWav(const std::string& path, const PcmStream& stream) {
  const PcmFormat& format = stream.format;
  int subformat = format.bits == 8 ? SF_FORMAT_PCM_U8 : format.bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_32;
  SF_INFO info{};
  info.samplerate = format.rate;
  info.channels = format.channels;
  info.format = SF_FORMAT_WAV | subformat;
  if (sf_format_check(&info) == 0) return path + ": cannot write this format";

  return writeAtomically(path, [&](const std::string& temporary) -> std::string {
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return std::string("cannot create (") + sf_strerror(nullptr) + ")";
    std::vector<int32_t> fullScale = decodeSamples(stream.bytes, format.bits);
    sf_count_t frames = static_cast<sf_count_t>(fullScale.size()) / format.channels;
    sf_count_t written = sf_writef_int(file, fullScale.data(), frames);
    std::string error = written == frames ? "" : std::string("write failed (") + sf_strerror(file) + ")";
    if (sf_close(file) != 0 && error.empty()) error = "write failed on close";
    return error;
  });
}
