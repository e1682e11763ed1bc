#include "pcm_stream.h"

#include <algorithm>
#include <cstring>

int64_t PcmStream::frames() const {
  int32_t frameBytes = format.bytesPerFrame();
  return frameBytes == 0 ? 0 : static_cast<int64_t>(bytes.size()) / frameBytes;
}

double PcmStream::seconds() const { return format.rate == 0 ? 0.0 : static_cast<double>(frames()) / format.rate; }

double PcmStream::sample16(int64_t frame, int32_t channel) const {
  const uint8_t* at = bytes.data() + frame * format.bytesPerFrame() + channel * (format.bits / 8);
  switch (format.bits) {
    case 8:
      return (at[0] - 128) * 256.0;
    case 16: {
      int16_t s;
      std::memcpy(&s, at, sizeof s);
      return s;
    }
    default: {
      int32_t s;
      std::memcpy(&s, at, sizeof s);
      return s / 65536.0;
    }
  }
}

std::vector<uint8_t> encodeSamples(const std::vector<int32_t>& fullScale, int32_t bits) {
  int32_t width = bits / 8;
  std::vector<uint8_t> bytes(fullScale.size() * static_cast<size_t>(width));
  for (size_t i = 0; i < fullScale.size(); i++) {
    uint8_t* at = bytes.data() + i * static_cast<size_t>(width);
    int32_t v = fullScale[i];
    if (bits == 8) {
      at[0] = static_cast<uint8_t>((v >> 24) + 128);
    } else if (bits == 16) {
      int16_t s = static_cast<int16_t>(v >> 16);
      std::memcpy(at, &s, sizeof s);
    } else {
      std::memcpy(at, &v, sizeof v);
    }
  }
  return bytes;
}

std::vector<int32_t> decodeSamples(const std::vector<uint8_t>& bytes, int32_t bits) {
  size_t width = static_cast<size_t>(bits / 8);
  std::vector<int32_t> fullScale(bytes.size() / width);
  for (size_t i = 0; i < fullScale.size(); i++) {
    const uint8_t* at = bytes.data() + i * width;
    if (bits == 8) {
      fullScale[i] = static_cast<int32_t>(static_cast<uint32_t>(at[0] - 128) << 24);
    } else if (bits == 16) {
      int16_t s;
      std::memcpy(&s, at, sizeof s);
      fullScale[i] = static_cast<int32_t>(static_cast<uint32_t>(s) << 16);
    } else {
      std::memcpy(&fullScale[i], at, sizeof(int32_t));
    }
  }
  return fullScale;
}

std::vector<uint8_t> silence(const PcmFormat& format, int64_t frames) {
  uint8_t fill = format.bits == 8 ? 128 : 0;
  return std::vector<uint8_t>(static_cast<size_t>(frames * format.bytesPerFrame()), fill);
}

std::vector<uint8_t> bufferOf(const PcmStream& stream, int64_t frames, int64_t k) {
  int64_t frameBytes = stream.format.bytesPerFrame();
  auto size = static_cast<int64_t>(stream.bytes.size());
  int64_t begin = std::min(k * frames * frameBytes, size);
  int64_t end = std::min((k + 1) * frames * frameBytes, size);
  std::vector<uint8_t> buffer = silence(stream.format, frames);
  std::copy(stream.bytes.begin() + begin, stream.bytes.begin() + end, buffer.begin());
  return buffer;
}

Signal toSignal(const PcmStream& stream) {
  Signal signal{stream.format.rate, stream.format.channels, {}};
  int64_t frames = stream.frames();
  signal.samples.reserve(static_cast<size_t>(frames * stream.format.channels));
  for (int64_t f = 0; f < frames; f++) {
    for (int32_t c = 0; c < stream.format.channels; c++) signal.samples.push_back(stream.sample16(f, c));
  }
  return signal;
}
