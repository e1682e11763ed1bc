// Residual echo suppression and comfort noise of the echo canceller.
//
// The echo is removed from the microphone magnitudes by spectral subtraction
// (the microphone phase is kept), first with |W| and then with the magnitude
// echo path H; an overall and a per-band gain chosen from the share of
// energy the subtraction left then suppress what remains, down to a per-bin
// noise floor that is never above the microphone magnitude. Bins below
// about 80 Hz are attenuated by 40 dB. The resynthesised frame gets a
// low-level comfort noise in its first half from the canceller's loop.
#include <stddef.h>

#include "dsp/fft_block.h"
#include "dsp/fft_workspace.h"
#include "engine/echo_canceller.h"
#include "engine/vector_ops.h"
#include "kernel/random.h"

namespace {

// H is updated only when the subtraction with |W| leaves less than this
// share of the microphone energy: the filter then explains the echo.
constexpr float kExplainedShare = 0.2f;
// Lower bound of P in the magnitude update of H, (16-bit scale)^2.
constexpr float kMinMagnitudePower = 90000.0f;

// The noise floor rises slowly and falls five times faster.
constexpr float kFloorRiseOld = 0.999f;
constexpr float kFloorFallOld = 0.995f;

// The overall gain's target for the share r of energy left: below each
// bound its target; at or above the last bound, kOpenTarget. A share that is
// not a number (a silent frame) counts as below every bound.
struct GainStep {
  float bound;
  float target;
};
constexpr GainStep kOverallTargets[] = {{0.1f, 0.1f}, {0.2f, 0.4f}, {0.4f, 0.6f}};
constexpr float kOpenTarget = 1.0f;
constexpr float kGainSmoothingOld = 0.3f;
// The band factor for the band's share of energy left, likewise.
constexpr GainStep kBandFactors[] = {{0.2f, 0.01f}, {0.4f, 0.04f}, {0.6f, 0.16f}, {0.8f, 0.64f}};
constexpr float kOpenBandFactor = 1.0f;
// Bins below lowBin keep this share of their magnitude (-40 dB).
constexpr float kLowCutFactor = 0.01f;

// Comfort noise: y = 0.05 r + 0.05 r' + 0.9 y', r uniform in -0.5 .. 0.5.
constexpr float kNoiseInputGain = 0.05f;
constexpr float kNoiseFeedback = 0.9f;
constexpr double kRandRange = 32767.0;

template <size_t n>
float stepFor(const GainStep (&steps)[n], float open, float share) {
  for (const GainStep& s : steps) {
    if (!(share >= s.bound)) return s.target;
  }
  return open;
}

float energy(const float* magnitude, int32_t from, int32_t to) {
  float sum = 0.0f;
  for (int32_t k = from; k < to; k++) sum += magnitude[k] * magnitude[k];
  return sum;
}

float larger(float a, float b) { return a > b ? a : b; }
float smaller(float a, float b) { return a < b ? a : b; }

}  // namespace

float* EchoCanceller::suppressResidual(float mu) {
  constexpr int32_t K = kBins;
  const float* Ymag = micWorkspace->magnitude;
  const float* Yphase = micWorkspace->phase;
  const float* Xmag = refWorkspace->magnitude;
  const float* P = referenceSpectrumPower;
  float* H = echoMagnitude;
  float* outMag = outWorkspace->magnitude;
  float* outPhase = outWorkspace->phase;

  // outMag = max(Ymag - |W| Xmag, 0), with the microphone phase
  for (int32_t k = 0; k < K; k++) outMag[k] = larger(Ymag[k] - filterMagnitude[k] * Xmag[k], 0.0f);
  floatCopy(Yphase, outPhase, K);
  const float sy = energy(Ymag, 0, K);
  float so = energy(outMag, 0, K);

  if (referencePower > kActiveReferencePower) {
    if (so < kExplainedShare * sy) {
      // H += mu Xmag (Ymag - H Xmag) / max(P, 90000)
      for (int32_t k = 0; k < K; k++) {
        H[k] = H[k] + mu * Xmag[k] * (Ymag[k] - H[k] * Xmag[k]) / larger(P[k], kMinMagnitudePower);
      }
    }
    for (int32_t k = 0; k < K; k++) H[k] = larger(H[k], filterMagnitude[k]);
  }

  // outMag = max(Ymag - H Xmag, 0)
  for (int32_t k = 0; k < K; k++) outMag[k] = larger(Ymag[k] - H[k] * Xmag[k], 0.0f);
  so = energy(outMag, 0, K);

  // The floor follows the smaller of each bin and its lower neighbour.
  for (int32_t k = 0; k < K; k++) {
    const float m = k == 0 ? outMag[0] : smaller(outMag[k], outMag[k - 1]);
    const float old = noiseFloor[k] <= m ? kFloorRiseOld : kFloorFallOld;
    noiseFloor[k] = old * noiseFloor[k] + (1.0f - old) * m;
  }

  const float target = stepFor(kOverallTargets, kOpenTarget, so / sy);
  suppressionGain = kGainSmoothingOld * suppressionGain + (1.0f - kGainSmoothingOld) * target;

  for (int32_t first = 0; first < K; first += kBandBins) {
    const int32_t last = first + kBandBins;
    const float f = stepFor(kBandFactors, kOpenBandFactor, energy(outMag, first, last) / energy(Ymag, first, last));
    for (int32_t k = first; k < last; k++) {
      // Never below the floor, but the floor never lifts a bin above Ymag.
      const float v = f * suppressionGain * outMag[k];
      outMag[k] = larger(v, smaller(noiseFloor[k], Ymag[k]));
    }
  }

  for (int32_t k = 0; k < lowBin; k++) outMag[k] *= kLowCutFactor;

  fft->fromPolar(outWorkspace);
  return fft->inverse(outWorkspace);
}

int16_t EchoCanceller::comfortNoise() {
  ComfortNoiseState& s = noiseState;
  s.rNew = static_cast<float>(kernel::rand() / kRandRange - 0.5);
  s.yNew = kNoiseInputGain * s.rNew + kNoiseInputGain * s.rPrev + kNoiseFeedback * s.yPrev;
  s.rPrev = s.rNew;
  s.yPrev = s.yNew;
  const float v = s.yNew * kComfortNoiseScale;
  int16_t out = 0;
  floatToInt16(&v, &out, 1, 1, 0);
  return out;
}
