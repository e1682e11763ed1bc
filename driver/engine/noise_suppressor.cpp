#include "engine/noise_suppressor.h"

#include "kernel/kernel_math.h"
#include "kernel/pool.h"

namespace {

// Smoothing factors of the noise level F = a F + (1 - a) L.
constexpr float kLearnFactor = 0.8f;       // frames 2 .. 29
constexpr float kFallFactor = 0.93f;       // L at or below F
constexpr float kRiseFactor = 0.993f;      // L above F, by 6 dB at most
constexpr float kLongLoudFactor = 0.8f;    // a long loud stretch becomes the noise
// snr = kSnrKeep snr + (1 - kSnrKeep) 10^(d / 10)
constexpr float kSnrKeep = 0.4f;
// Decision-directed weight of the carried a-priori estimate.
constexpr double kPriorWeight = 0.95;

// First float of band b that enters its level and its carried estimate.
int32_t firstMeasured(int32_t b, int32_t bandWidth) {
  return b * bandWidth + (b == 0 ? NoiseSuppressor::kLowFloatsLeftOut : 0);
}

}  // namespace

float NoiseSuppressor::gainFloorOf(int32_t level) {
  switch (level) {
    case 1: return 0.6f;
    case 2: return 0.3f;
    case 3: return 0.19f;
    case 4: return 0.1f;
    case 5: return 0.05f;
    default: return 1.0f;
  }
}

NoiseSuppressor* NoiseSuppressor::create(int32_t sampleRate, int32_t length, int32_t bands, int32_t level) {
  if (sampleRate <= 0 || length <= 0 || bands <= 0) return nullptr;
  if (length % bands != 0 || length / bands <= kLowFloatsLeftOut) return nullptr;

  NoiseSuppressor* ns = kernel::poolAllocateZeroed<NoiseSuppressor>();
  if (ns == nullptr) return nullptr;
  ns->length = length;
  ns->sampleRate = sampleRate;
  ns->bands = bands;
  ns->bandWidth = length / bands;
  ns->gainFloor = gainFloorOf(level);

  const size_t count = static_cast<size_t>(bands);
  ns->bandLevel = kernel::poolAllocateZeroed<float>(count);
  if (ns->bandLevel != nullptr) ns->noiseLevel = kernel::poolAllocateZeroed<float>(count);
  if (ns->noiseLevel != nullptr) ns->prior = kernel::poolAllocateZeroed<float>(count);
  if (ns->prior != nullptr) ns->gain = kernel::poolAllocateZeroed<float>(count);
  if (ns->gain != nullptr) ns->snr = kernel::poolAllocateZeroed<float>(count);
  if (ns->snr != nullptr) ns->holdCount = kernel::poolAllocateZeroed<int32_t>(count);
  if (ns->holdCount == nullptr) {
    destroy(ns);
    return nullptr;
  }
  return ns;
}

void NoiseSuppressor::destroy(NoiseSuppressor*& ns) {
  if (ns == nullptr) return;
  kernel::poolRelease(ns->bandLevel);
  kernel::poolRelease(ns->noiseLevel);
  kernel::poolRelease(ns->prior);
  kernel::poolRelease(ns->gain);
  kernel::poolRelease(ns->snr);
  kernel::poolRelease(ns->holdCount);
  kernel::poolRelease(ns);
}

void NoiseSuppressor::analyse(const float* x) {
  // L = 10 log10(max(sum of x^2 over the band / bandWidth, 1)), dB
  for (int32_t b = 0; b < bands; b++) {
    float sum = 0.0f;
    for (int32_t i = firstMeasured(b, bandWidth); i < (b + 1) * bandWidth; i++) sum += x[i] * x[i];
    float p = sum / static_cast<float>(bandWidth);
    if (!(p >= 1.0f)) p = 1.0f;  // silent bands (and a NaN) read as 0 dB
    bandLevel[b] = static_cast<float>(10.0 * log10(static_cast<double>(p)));
  }

  if (frameCount < kLearningFrames) frameCount++;

  for (int32_t b = 0; b < bands; b++) {
    const float level = bandLevel[b];
    float noise = noiseLevel[b];

    // Noise tracking: F = a F + (1 - a) L, or F held while the band is loud.
    if (frameCount < kLearningFrames) {
      const float a = frameCount == 1 ? 0.0f : kLearnFactor;
      noise = a * noise + (1.0f - a) * level;
    } else if (level <= noise + kLoudMarginDb) {
      holdCount[b] = 0;
      const float a = level <= noise ? kFallFactor : kRiseFactor;
      noise = a * noise + (1.0f - a) * level;
    } else {
      holdCount[b]++;
      if (holdCount[b] > kLongLoudFrames) noise = kLongLoudFactor * noise + (1.0f - kLongLoudFactor) * level;
    }
    noiseLevel[b] = noise;

    // snr = 0.4 snr + 0.6 10^(d / 10), d = L - F limited to 0 .. 20 dB
    float d = level - noise;
    if (!(d >= 0.0f)) d = 0.0f;
    if (d > kMaxSnrDb) d = kMaxSnrDb;
    snr[b] = kSnrKeep * snr[b] +
             (1.0f - kSnrKeep) * static_cast<float>(pow(10.0, static_cast<double>(d) / 10.0));

    // v = (0.95 prior + 0.05 max(g - 1, eps)) g
    // G = a + sqrt(max(a, 0.01)^2 + 0.25 / g), a = 0.5 - 0.635 / sqrt(v)
    const double g = snr[b];
    double excess = g - 1.0;
    if (excess < kEpsilon) excess = kEpsilon;
    const double v = (kPriorWeight * prior[b] + (1.0 - kPriorWeight) * excess) * g;
    const double a = 0.5 - 0.635 / sqrt(v);
    const double floorA = a > 0.01 ? a : 0.01;
    double G = a + sqrt(floorA * floorA + 0.25 / g);
    if (!(G >= kEpsilon)) G = kEpsilon;
    if (G > 1.0) G = 1.0;
    gain[b] = static_cast<float>(G);
    prior[b] = gain[b];
  }

  // prior = max(Q 10^(-F / 10), gainFloor), Q = sum of (x G)^2 over the band / bandWidth:
  // the band's power after its gain relative to the noise, for the next frame.
  for (int32_t b = 0; b < bands; b++) {
    const float G = prior[b];
    float sum = 0.0f;
    for (int32_t i = firstMeasured(b, bandWidth); i < (b + 1) * bandWidth; i++) {
      const float y = x[i] * G;
      sum += y * y;
    }
    const float q = sum / static_cast<float>(bandWidth);
    const float relative = q * static_cast<float>(pow(10.0, -static_cast<double>(noiseLevel[b]) / 10.0));
    prior[b] = relative > gainFloor ? relative : gainFloor;
  }
}

void NoiseSuppressor::applyGains(float* x) const {
  for (int32_t b = 0; b < bands; b++) {
    float factor = gain[b];
    if (!(factor >= gainFloor)) factor = gainFloor;
    if (factor > 1.0f) factor = 1.0f;
    for (int32_t i = b * bandWidth; i < (b + 1) * bandWidth; i++) x[i] *= factor;
  }
}
