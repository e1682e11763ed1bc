#include "rate_converter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Taps of the low-pass filter per unit of the decimation factor, each side of the centre.
constexpr int32_t kHalfTapsPerFactor = 16;
// Pass band edge as a fraction of the new Nyquist frequency.
constexpr double kCutoff = 0.9;

// h[n] = w[n] sin(pi fc n) / (pi n), fc = kCutoff / k, Hann window w over
// |n| <= half, normalised to a gain of 1 at 0 Hz.
std::vector<double> lowPass(int32_t k) {
  int32_t half = kHalfTapsPerFactor * k;
  double fc = kCutoff / k;
  std::vector<double> h(static_cast<size_t>(2 * half + 1));
  double sum = 0.0;
  for (int32_t n = -half; n <= half; n++) {
    double sinc = n == 0 ? fc : std::sin(M_PI * fc * n) / (M_PI * n);
    double window = 0.5 + 0.5 * std::cos(M_PI * n / (half + 1));
    h[static_cast<size_t>(n + half)] = sinc * window;
    sum += sinc * window;
  }
  for (double& tap : h) tap /= sum;
  return h;
}

}  // namespace

PcmStream decimateStream(const PcmStream& stream, int32_t rate) {
  const PcmFormat& f = stream.format;
  if (rate <= 0 || rate >= f.rate || f.rate % rate != 0) return stream;
  int32_t k = f.rate / rate;
  std::vector<double> h = lowPass(k);
  int64_t half = static_cast<int64_t>(h.size() / 2);
  std::vector<int32_t> in = decodeSamples(stream.bytes, f.bits);
  int64_t frames = stream.frames();
  int64_t outFrames = (frames + k - 1) / k;
  std::vector<int32_t> out(static_cast<size_t>(outFrames * f.channels));
  for (int64_t m = 0; m < outFrames; m++) {
    int64_t centre = m * k;
    for (int32_t c = 0; c < f.channels; c++) {
      double y = 0.0;
      for (int64_t i = std::max<int64_t>(0, centre - half); i <= std::min(frames - 1, centre + half); i++) {
        y += h[static_cast<size_t>(i - centre + half)] * in[static_cast<size_t>(i * f.channels + c)];
      }
      // Full-scale 32-bit values; the encoder keeps the top bits of the width.
      y = std::clamp(std::nearbyint(y), -2147483648.0, 2147483647.0);
      out[static_cast<size_t>(m * f.channels + c)] = static_cast<int32_t>(y);
    }
  }
  return {{rate, f.channels, f.bits}, encodeSamples(out, f.bits)};
}
