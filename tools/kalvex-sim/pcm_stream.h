#pragma once
// Audio as the audio device hands it to the driver: interleaved frames of
// 8-bit unsigned bytes, signed 16-bit samples or 32-bit containers.
#include <cstdint>
#include <vector>

struct PcmFormat {
  int32_t rate = 0;      // Hz
  int32_t channels = 0;  // 1 or 2
  int32_t bits = 0;      // 8, 16 or 32 per sample

  int32_t bytesPerFrame() const { return channels * (bits / 8); }
  bool operator==(const PcmFormat&) const = default;
};

struct PcmStream {
  PcmFormat format;
  std::vector<uint8_t> bytes;  // whole frames only

  int64_t frames() const;
  double seconds() const;
  // One sample on the 16-bit scale as the driver reads it: 8-bit bytes as
  // (b - 128) x 256, 32-bit containers as container / 65536 (no rounding,
  // so the lower half is kept as a fraction).
  double sample16(int64_t frame, int32_t channel) const;
};

// The device layout of samples given as full-scale 32-bit values (the
// sample's top bits carry the value, as a WAV reader returns them): 8-bit
// keeps the top 8 bits offset by 128, 16-bit the top 16, 32-bit all.
std::vector<uint8_t> encodeSamples(const std::vector<int32_t>& fullScale, int32_t bits);
// And back: each sample as a full-scale 32-bit value.
std::vector<int32_t> decodeSamples(const std::vector<uint8_t>& bytes, int32_t bits);

// The bytes of `frames` frames of silence (8-bit silence is 128).
std::vector<uint8_t> silence(const PcmFormat& format, int64_t frames);

// Buffer k of `frames` frames of a stream, padded with silence past its end.
std::vector<uint8_t> bufferOf(const PcmStream& stream, int64_t frames, int64_t k);

// Signals on the 16-bit scale for measurement, interleaved.
struct Signal {
  int32_t rate = 0;
  int32_t channels = 0;
  std::vector<double> samples;

  int64_t frames() const { return channels == 0 ? 0 : static_cast<int64_t>(samples.size()) / channels; }
};
Signal toSignal(const PcmStream& stream);
