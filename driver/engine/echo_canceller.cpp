// The echo canceller's object, its per-block loop, its reference input and
// the adaptation of the main and shadow filters. Delay estimation and
// residual suppression live in echo_delay_estimator.cpp and
// residual_suppressor.cpp.
#include "engine/echo_canceller.h"

#include "dsp/block_framer.h"
#include "dsp/fft_block.h"
#include "dsp/fft_workspace.h"
#include "dsp/sample_ring.h"
#include "engine/noise_suppressor.h"
#include "kernel/kernel_math.h"
#include "kernel/pool.h"

namespace {

constexpr float kPi = 3.141592f;  // as the phase test of the shadow copy uses it

// The shadow copy: S replaces W only when the mean ratio S/W over the
// significant bins is nearly real (phase within kCopyMaxPhaseDeg), its
// spread is small (mean |S/W| below kCopyMaxSpread x |mean S/W|), and the
// ratio is clearly away from 1 and moving back towards it.
constexpr float kCopyMaxPhaseDeg = 5.0f;
constexpr float kCopyMaxSpread = 1.1f;
constexpr float kCopyAboveRatio = 1.2f;
constexpr float kCopyBelowRatio = 0.8f;
// Bins whose |W| exceeds this share of the mean |W| take part in the ratio.
constexpr float kSignificantShare = 0.5f;
// P follows |X|^2 with this weight on the old value.
constexpr float kPowerSmoothing = 0.5f;

// v rounded to the nearest integer, ties to even, as a 16-bit value; |v|
// stays within the 16-bit range for every mean of 16-bit samples.
int16_t roundToInt16(float v) {
  int16_t out = 0;
  floatToInt16(&v, &out, 1, 1, 0);
  return out;
}

// mean = (s + n mean) / (n + 1), counting n up to the limit.
void updateMean(float& mean, uint32_t& count, int32_t s) {
  const uint32_t n = count;
  mean = static_cast<float>((static_cast<double>(s) + static_cast<double>(n) * mean) / (static_cast<double>(n) + 1.0));
  if (n < EchoCanceller::kMeanCountLimit) count = n + 1;
}

template <typename T>
bool allocateZeroed(T*& field, int32_t count) {
  field = kernel::poolAllocateZeroed<T>(static_cast<size_t>(count));
  return field != nullptr;
}

// F += mu E conj(X) / max(P, 250000) with the error E = Y - X F of the
// current frame. The gradient is built in polar form: |E| |X| / max(P, ..)
// at the phase arg E - arg X, in scratchA (scratchB holds X F).
void step(EchoCanceller& c, ComplexFloat* F, float mu) {
  constexpr int32_t K = EchoCanceller::kBins;
  const ComplexFloat* Y = reinterpret_cast<const ComplexFloat*>(c.micWorkspace->spectrum);
  const ComplexFloat* X = reinterpret_cast<const ComplexFloat*>(c.refWorkspace->spectrum);
  const float* Xmag = c.refWorkspace->magnitude;
  const float* Xphase = c.refWorkspace->phase;
  const float* P = c.referenceSpectrumPower;
  complexMultiply(X, F, c.scratchB, K);
  complexSubtract(c.scratchB, Y, c.scratchA, K);
  cartToPolar(c.scratchA, c.scratchMagnitude, c.scratchPhase, K);
  for (int32_t k = 0; k < K; k++) {
    const float p = P[k] > EchoCanceller::kMinGradientPower ? P[k] : EchoCanceller::kMinGradientPower;
    c.scratchMagnitude[k] = c.scratchMagnitude[k] * Xmag[k] / p;
    c.scratchPhase[k] = c.scratchPhase[k] - Xphase[k];
  }
  polarToCart(c.scratchMagnitude, c.scratchPhase, c.scratchA, K);
  for (int32_t k = 0; k < K; k++) {
    F[k].re += mu * c.scratchA[k].re;
    F[k].im += mu * c.scratchA[k].im;
  }
}

}  // namespace

EchoCanceller* EchoCanceller::create(int32_t rate, bool noiseSuppressorOn) {
  if (rate <= 0) return nullptr;
  // round(512 x 80 / rate), nearest; a rate so low that 80 Hz lies beyond the
  // bins handled has no band to cancel in.
  const int32_t low = static_cast<int32_t>(floor(kFrameLength * static_cast<double>(kLowCutHz) / rate + 0.5));
  if (low >= kBins) return nullptr;
  const int64_t window = int64_t{rate} * kPowerWindowMs / 1000;
  const int64_t capacity = window + rate;
  if (capacity > SampleRing::kMaxCapacity) return nullptr;

  EchoCanceller* c = kernel::poolAllocateZeroed<EchoCanceller>();
  if (c == nullptr) return nullptr;
  c->workingRate = rate;
  c->fftLength = kFrameLength;
  c->powerWindow = static_cast<int32_t>(window);
  c->estimateInterval = static_cast<int32_t>(int64_t{rate} * kEstimateIntervalMs / 1000);
  c->lowBin = low;
  c->frameLength = kFrameLength;
  c->half = kBins;
  const int32_t lines = static_cast<int32_t>(capacity);

  bool built = (c->fft = FftBlock::create(kFrameLength, kFrameLength, rate, FftBlock::kHann)) != nullptr &&
               (c->micWorkspace = FftWorkspace::create(c->fft)) != nullptr &&
               (c->refWorkspace = FftWorkspace::create(c->fft)) != nullptr &&
               (c->outWorkspace = FftWorkspace::create(c->fft)) != nullptr &&
               (c->micFramer = BlockFramer::create(kFrameLength, lines)) != nullptr &&
               (c->referenceHistory = SampleRing::create(lines)) != nullptr &&
               allocateZeroed(c->correlation, c->powerWindow) && allocateZeroed(c->noiseFloor, kBins) &&
               allocateZeroed(c->referenceSpectrumPower, kBins) && allocateZeroed(c->scratchA, kBins) &&
               allocateZeroed(c->scratchB, kBins) && allocateZeroed(c->shadowFilter, kBins) &&
               allocateZeroed(c->scratchPhase, kBins) && allocateZeroed(c->scratchMagnitude, kBins) &&
               allocateZeroed(c->filterMagnitude, kBins) && allocateZeroed(c->filterPhase, kBins) &&
               allocateZeroed(c->filter, kBins) && allocateZeroed(c->echoMagnitude, kBins);
  if (built && noiseSuppressorOn) {
    c->noiseSuppressor = NoiseSuppressor::create(rate, NoiseSuppressor::kCancellerLength,
                                                 NoiseSuppressor::kCancellerBands, NoiseSuppressor::kCancellerLevel);
    built = c->noiseSuppressor != nullptr;
  }
  if (!built) {
    destroy(c);
    return nullptr;
  }
  c->ready = 1;
  return c;
}

void EchoCanceller::destroy(EchoCanceller*& c) {
  if (c == nullptr) return;
  c->ready = 0;
  FftBlock::destroy(c->fft);
  FftWorkspace::destroy(c->outWorkspace);
  FftWorkspace::destroy(c->micWorkspace);
  FftWorkspace::destroy(c->refWorkspace);
  SampleRing::destroy(c->referenceHistory);
  BlockFramer::destroy(c->micFramer);
  NoiseSuppressor::destroy(c->noiseSuppressor);
  kernel::poolRelease(c->correlation);
  kernel::poolRelease(c->noiseFloor);
  kernel::poolRelease(c->referenceSpectrumPower);
  kernel::poolRelease(c->scratchA);
  kernel::poolRelease(c->scratchB);
  kernel::poolRelease(c->shadowFilter);
  kernel::poolRelease(c->scratchPhase);
  kernel::poolRelease(c->scratchMagnitude);
  kernel::poolRelease(c->filterMagnitude);
  kernel::poolRelease(c->filterPhase);
  kernel::poolRelease(c->filter);
  kernel::poolRelease(c->echoMagnitude);
  kernel::poolRelease(c);
}

int32_t EchoCanceller::processBlock(int16_t* stream, int32_t n) {
  if (ready == 0 || stream == nullptr || n < 1) return 0;

  // At most one estimator run per block; it sees the microphone history as
  // it was before this block.
  const int32_t counted = sinceEstimate + n;
  if (counted > estimateInterval) {
    if (referencePower > kActiveReferencePower) estimateDelay(estimateInterval);
    sinceEstimate = counted - estimateInterval;
  } else {
    sinceEstimate = counted;
  }

  // Frames are cut from the samples of earlier blocks, before this block's
  // samples go in; the newest holdBack samples count as not yet arrived.
  while (micFramer->unread() - holdBack > kHop) {
    const float* frame = micFramer->takeFrame();
    if (frame == nullptr) break;
    float* out = processFrame(frame);
    // Each output sample carries exactly one comfort-noise sample: the
    // first half of a frame is the part that finishes output samples.
    for (int32_t i = 0; i < kHop; i++) out[i] += static_cast<float>(comfortNoise());
    micFramer->overlapAdd(out);
  }

  // DC removal: the block's samples update the running mean, then the block
  // enters the framer minus the mean as it stands after the block.
  for (int32_t i = 0; i < n; i++) updateMean(micMean, micMeanCount, stream[i]);
  const int32_t dc = roundToInt16(micMean);
  for (int32_t i = 0; i < n; i++) micFramer->push(static_cast<float>(int32_t{stream[i]} - dc));
  // Held at the int32 range while the reference pauses for days: any
  // movement beyond the lag range realigns alike.
  referenceSamples = referenceSamples >= INT32_MIN + n ? referenceSamples - n : INT32_MIN;

  const float* finished = micFramer->output(n);
  if (finished == nullptr) return 0;
  floatToInt16(finished, stream, n, 1, 0);
  micFramer->consume(n);
  return n;
}

void EchoCanceller::addReferenceSample(int16_t s) {
  if (referenceHistory == nullptr) return;
  updateMean(referenceMean, referenceMeanCount, s);
  // The DC-free value wraps to 16 bits as the samples themselves would.
  const int16_t x = static_cast<int16_t>(static_cast<uint16_t>(int32_t{s} - roundToInt16(referenceMean)));
  referenceHistory->push(static_cast<float>(x));
  // The sample leaving the power window; zero until W samples have arrived.
  const float y = referenceHistory->newest()[-powerWindow];
  const float w = static_cast<float>(powerWindow);
  const float fx = static_cast<float>(x);
  // referencePower += x^2 / W - y^2 / W, in that order
  referencePower = referencePower + fx * fx / w;
  referencePower = referencePower - y * y / w;
  if (referenceSamples < INT32_MAX) referenceSamples += 1;
}

float EchoCanceller::stepSize() const {
  if (adaptCount < kStepFrames) {
    return kInitialStep - static_cast<float>(adaptCount) * (kInitialStep - kFinalStep) / kStepFrames;
  }
  return kFinalStep;
}

float* EchoCanceller::processFrame(const float* frame) {
  // Y: the microphone spectrum, noise-suppressed when the suppressor exists.
  float* y = fft->forward(frame, micWorkspace);
  if (noiseSuppressor != nullptr) {
    noiseSuppressor->analyse(y);
    noiseSuppressor->applyGains(y);
  }
  fft->toPolar(micWorkspace);
  // X: the reference frame aligned with it.
  fft->forward(referenceFrame(), refWorkspace);
  fft->toPolar(refWorkspace);

  const float mu = stepSize();
  if (referencePower > kActiveReferencePower) {
    const float* Xmag = refWorkspace->magnitude;
    adaptCount += 1;
    // P = 0.5 P + 0.5 |X|^2
    for (int32_t k = 0; k < kBins; k++) {
      referenceSpectrumPower[k] =
          kPowerSmoothing * referenceSpectrumPower[k] + (1.0f - kPowerSmoothing) * Xmag[k] * Xmag[k];
    }
    // W += mu E conj(X) / max(P, 250000)
    step(*this, filter, mu);
    cartToPolar(filter, filterMagnitude, filterPhase, kBins);
    adaptShadow();
  }
  return suppressResidual(mu);
}

void EchoCanceller::adaptShadow() {
  // S += 0.2 (Y - X S) conj(X) / max(P, 250000)
  step(*this, shadowFilter, kShadowStep);
  if (adaptCount < kStepFrames) return;

  float average = 0.0f;
  for (int32_t k = lowBin; k < kBins; k++) average += filterMagnitude[k];
  average /= static_cast<float>(kBins - lowBin);

  // Q = S / W; a zero bin of W gives NaN there, and such a bin has |W| = 0,
  // which never passes the significance test.
  complexDivide(filter, shadowFilter, scratchA, kBins);
  complexMagnitude(scratchA, scratchMagnitude, kBins);
  float sumAbs = 0.0f;
  ComplexFloat sum = {0.0f, 0.0f};
  int32_t count = 0;
  for (int32_t k = lowBin; k < kBins; k++) {
    if (filterMagnitude[k] > kSignificantShare * average) {
      sumAbs += scratchMagnitude[k];
      sum.re += scratchA[k].re;
      sum.im += scratchA[k].im;
      count++;
    }
  }
  if (count == 0) return;
  const float meanAbs = sumAbs / static_cast<float>(count);
  const ComplexFloat q = {sum.re / static_cast<float>(count), sum.im / static_cast<float>(count)};
  float r = 0.0f;
  float phi = 0.0f;
  cartToPolar(&q, &r, &phi, 1);
  const float phiDeg = phi * 180.0f / kPi;

  const bool nearlyReal = -kCopyMaxPhaseDeg < phiDeg && phiDeg < kCopyMaxPhaseDeg;
  const bool consistent = meanAbs < kCopyMaxSpread * r;
  const bool returning = (r > kCopyAboveRatio && r < shadowRatio) || (r < kCopyBelowRatio && r > shadowRatio);
  if (nearlyReal && consistent && returning) {
    complexCopy(shadowFilter, filter, kBins);
    cartToPolar(filter, filterMagnitude, filterPhase, kBins);
    for (int32_t k = 0; k < kBins; k++) echoMagnitude[k] = filterMagnitude[k];
  }
  shadowRatio = r;
}

bool EchoCanceller::scaleEchoPath(float factor) {
  if (filterMagnitude == nullptr) return false;
  for (int32_t k = 0; k < kBins; k++) filterMagnitude[k] *= factor;
  return true;
}

uint32_t EchoCanceller::echoPathFigure(float scale) const {
  if (filterMagnitude == nullptr) return 0;
  float sum = 0.0f;
  for (int32_t k = lowBin; k < kBins; k++) sum += filterMagnitude[k];
  const float figure = scale * sum / static_cast<float>(kBins - lowBin);
  // Magnitudes and the engine's scale are never negative; a figure beyond
  // the 32-bit range reads as the largest one.
  if (!(figure > 0.0f)) return 0;
  if (figure >= 4294967295.0f) return 4294967295u;
  return static_cast<uint32_t>(floor(static_cast<double>(figure) + 0.5));
}
