#include "room_response.h"

#include <cmath>

double uniform(std::mt19937& random) { return static_cast<double>(random() >> 8) / 8388608.0 - 1.0; }

std::vector<double> roomResponse(const RoomParameters& room, int32_t rate, std::mt19937& random) {
  auto samples = [rate](double ms) { return static_cast<size_t>(std::lround(ms * rate / 1000.0)); };
  size_t start = samples(room.deviceDelayMs + room.directDelayMs);
  std::vector<double> h(samples(room.deviceDelayMs + room.lengthMs), 0.0);
  h[start] = room.directGain;
  for (int i = 0; i < room.reflections; i++) {
    size_t at = start + samples(2.0 + 9.0 * (uniform(random) + 1.0));
    double gain = room.reflectionGain * room.directGain * (0.4 + 0.3 * (uniform(random) + 1.0));
    h[at] += uniform(random) < 0 ? -gain : gain;
  }
  // The tail: noise (sum of four uniforms, close to Gaussian) under an
  // exponential envelope falling 60 dB per reverberation time.
  size_t tailStart = start + samples(5.0);
  double decayPerSample = std::log(1000.0) / (room.reverbTimeMs * rate / 1000.0);
  double tailScale = room.tailGain * room.directGain * std::sqrt(8000.0 / rate);  // same energy at any rate
  for (size_t n = tailStart; n < h.size(); n++) {
    double noise = 0.5 * (uniform(random) + uniform(random) + uniform(random) + uniform(random));
    h[n] += tailScale * noise * std::exp(-decayPerSample * static_cast<double>(n - tailStart));
  }
  return h;
}

std::vector<double> convolve(const std::vector<double>& x, const std::vector<double>& h) {
  std::vector<double> y(x.size(), 0.0);
  for (size_t k = 0; k < h.size(); k++) {
    if (h[k] == 0.0) continue;
    for (size_t n = k; n < x.size(); n++) y[n] += h[k] * x[n - k];
  }
  return y;
}
