// Echo delay estimation and stream alignment of the echo canceller.
//
// The microphone blocks and the reference samples arrive by independent
// paths; referenceSamples counts how far the reference has run ahead of the
// microphone since the last estimator run. The delay T is the lag, in
// samples back from the newest reference sample, whose reference window
// correlates best with the newest microphone window (minus holdBack). The
// correlation over lags 0 .. W - 1 is computed in chunks of 100 ms, one chunk
// per estimator run, and smoothed over sweeps.
#include "dsp/block_framer.h"
#include "dsp/sample_ring.h"
#include "engine/echo_canceller.h"
#include "engine/vector_ops.h"

namespace {

// Each new correlation sum enters with this weight.
constexpr float kCorrelationOld = 0.8f;
constexpr float kCorrelationNew = 0.2f;
// A new peak must exceed the value at the current delay by this factor.
constexpr float kChoiceMargin = 2.0f;

// Forgets the correlation and raises the step size again: the streams moved
// by more than the lag range can follow. T and nextLag are kept.
void restartSearch(EchoCanceller& c) {
  setFloat(0.0f, c.correlation, c.powerWindow);
  if (c.adaptCount > EchoCanceller::kRestartAdaptCount) c.adaptCount = EchoCanceller::kRestartAdaptCount;
}

// Applies the movement D = referenceSamples of the streams since the last run
// to the delay and the correlation: C and T shift with D while the delay
// stays in 0 .. W - 1; a reference that fell behind holds microphone samples
// back instead; a delay beyond the lag range starts the search again.
void realign(EchoCanceller& c) {
  const int32_t w = c.powerWindow;
  const int32_t d = c.referenceSamples;
  float* C = c.correlation;
  if (d < w - c.delay) {
    // In 64 bits: -D and twice the shortfall may leave the int32 range.
    const int64_t behind = -int64_t{d};
    if (c.delay < behind) {
      // The reference is behind: hold back up to twice the shortfall, at
      // most W/2 samples in all.
      const int64_t shortfall = 2 * (behind - c.delay);
      const int64_t grown = c.holdBack + (behind < shortfall ? behind : shortfall);
      c.holdBack = static_cast<int32_t>(grown < w / 2 ? grown : w / 2);
      restartSearch(c);
    } else if (d < 0) {
      // C[i] = C[i - D], ascending, then the top -D entries cleared.
      floatMove(&C[-d], C, w + d);
      setFloat(0.0f, &C[w + d], -d);
      c.delay += d;
    } else {
      // C[i] = C[i - D], descending, then the bottom D entries cleared.
      floatMove(C, &C[d], w - d);
      setFloat(0.0f, C, d);
      c.delay += d;
    }
  } else {
    c.holdBack = 0;
    restartSearch(c);
  }
  c.referenceSamples = 0;
}

// sum_i a[i] b[i] over n values, in eight interleaved partial sums.
float dot(const float* a, const float* b, int32_t n) {
  float part[8] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    for (int32_t j = 0; j < 8; j++) part[j] += a[i + j] * b[i + j];
  }
  for (; i < n; i++) part[0] += a[i] * b[i];
  return ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
}

// The lag with the largest |C|, the lowest of equal ones.
int32_t strongestLag(const float* C, int32_t w) {
  int32_t best = 0;
  float bestMagnitude = C[0] < 0.0f ? -C[0] : C[0];
  for (int32_t lag = 1; lag < w; lag++) {
    const float magnitude = C[lag] < 0.0f ? -C[lag] : C[lag];
    if (magnitude > bestMagnitude) {
      best = lag;
      bestMagnitude = magnitude;
    }
  }
  return best;
}

}  // namespace

void EchoCanceller::estimateDelay(int32_t m) {
  // Both pointers stay fixed during the run: no sample arrives meanwhile.
  const float* r = referenceHistory->newest();
  const float* q = micFramer->newest();
  if (referenceSamples != 0) realign(*this);

  // The next chunk of lags. The last chunk of a sweep ends at W, so a sweep
  // completes whether or not W is a whole number of chunks (at 11025 Hz,
  // 3307 lags in chunks of 1102, the last chunk is a single lag).
  const int32_t chunk = workingRate * kSweepChunkMs / 1000;
  int32_t start = nextLag;
  if (start >= powerWindow) start = 0;
  const int32_t end = start + chunk < powerWindow ? start + chunk : powerWindow;

  // The m microphone samples ending holdBack samples before the newest one.
  const float* mic = q + 1 - m - holdBack;
  for (int32_t lag = start; lag < end; lag++) {
    // The m reference samples ending lag samples before the newest one.
    const float* ref = r - (m - 1) - lag;
    correlation[lag] = kCorrelationOld * correlation[lag] + kCorrelationNew * dot(ref, mic, m);
  }
  nextLag = end;

  if (end == powerWindow) {
    const int32_t k = strongestLag(correlation, powerWindow);
    const float current = correlation[delay] < 0.0f ? -correlation[delay] : correlation[delay];
    const float peak = correlation[k] < 0.0f ? -correlation[k] : correlation[k];
    if (k != delay && kChoiceMargin * current < peak) delay = k;
  }
}

const float* EchoCanceller::referenceFrame() const {
  const float* p = referenceHistory->newest();
  // Microphone samples newer than the frame just taken.
  const int32_t pending = micFramer->unread() - holdBack;
  const int64_t aligned = int64_t{pending} + referenceSamples + delay;
  int64_t a = pending > aligned ? pending : aligned;
  // Keep the frame inside the history: at most the oldest samples the ring
  // holds, at least the newest 512 (a = -1).
  const int64_t oldest = referenceHistory->capacity - frameLength - 1;
  if (a > oldest) a = oldest;
  if (a < -1) a = -1;
  // The 512 samples ending a + 1 samples before the newest one.
  return p - frameLength - a;
}
