#pragma once
// Small synthetic notebook scenarios for the tools tests: a speech-like far
// end (low-passed noise in syllables with pauses) and its echo at the
// microphone through a direct path and one reflection.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pcm_stream.h"

namespace scenario {

// Full-scale 32-bit values of `seconds` of speech-like noise at `rate`.
inline std::vector<double> speechLike(int32_t rate, double seconds, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<double> x(static_cast<size_t>(seconds * rate));
  double low = 0.0;
  for (size_t n = 0; n < x.size(); n++) {
    double white = static_cast<double>(random() >> 8) / 8388608.0 - 1.0;
    low += 0.3 * (white - low);  // one pole near 900 Hz at 16000 Hz
    double t = static_cast<double>(n) / rate;
    // Syllables of about 160 ms; every fourth is a pause.
    double syllable = std::fabs(std::sin(M_PI * t / 0.16));
    bool pause = static_cast<int>(t / 0.16) % 4 == 3;
    x[n] = pause ? 0.0 : 20000.0 * syllable * low;
  }
  return x;
}

// y[n] = a x[n - d] + b x[n - d - r]: the echo with delay d and a reflection r later.
inline std::vector<double> echoOf(const std::vector<double>& x, int32_t rate, double delayMs) {
  size_t d = static_cast<size_t>(delayMs * rate / 1000.0);
  size_t r = static_cast<size_t>(0.007 * rate);
  std::vector<double> y(x.size(), 0.0);
  for (size_t n = d; n < x.size(); n++) {
    y[n] = 0.4 * x[n - d] + (n >= d + r ? -0.15 * x[n - d - r] : 0.0);
  }
  return y;
}

// The samples (16-bit scale) as a stream of `format`, every channel alike.
inline PcmStream stream(const std::vector<double>& x, PcmFormat format) {
  std::vector<int32_t> fullScale;
  for (double v : x) {
    double clamped = std::fmax(-32768.0, std::fmin(32767.0, std::nearbyint(v)));
    for (int32_t c = 0; c < format.channels; c++) {
      fullScale.push_back(static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(clamped)) << 16));
    }
  }
  return {format, encodeSamples(fullScale, format.bits)};
}

// A directory of its own under the system's temporary directory, removed at the end.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // The names in the directory, to show that nothing was left behind.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace scenario
