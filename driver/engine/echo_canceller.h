#pragma once
// The echo canceller of one microphone channel at the engine's working rate.
//
// Frames of 512 samples with a hop of 256, Hann-windowed, transformed with
// 1/sqrt(512) scaling both ways; K = 256 bins (0 .. 255, Nyquist unused).
// Samples are floats on the 16-bit scale (full scale 32767). Per frame the
// canceller transforms the microphone frame and a time-aligned reference
// frame, adapts a one-tap-per-bin filter W (the echo path) with a normalised
// step and a fixed-step shadow filter S that can replace it, then removes the
// echo by spectral magnitude subtraction with further residual suppression,
// resynthesises the frame and adds comfort noise to its first half.
//
// The reference arrives one working-rate sample at a time through
// addReferenceSample; the delay between the two streams is estimated by a
// smoothed cross-correlation over lags 0 .. 300 ms (echo_delay_estimator.cpp).
//
// All memory is taken from the pool by create; processBlock,
// addReferenceSample, scaleEchoPath and echoPathFigure never allocate. The
// object has no lock: its owner calls it under the stream lock with the
// floating-point state saved.
#include <stdint.h>

#include "engine/vector_ops.h"

struct BlockFramer;
struct FftBlock;
struct FftWorkspace;
struct NoiseSuppressor;
struct SampleRing;

// The comfort-noise generator: a first-order low-pass of uniform white
// noise, 0.05 (1 + z^-1) / (1 - 0.9 z^-1).
struct ComfortNoiseState {
  float rNew;  // newest white sample, -0.5 .. 0.5
  float rPrev;
  float yNew;  // newest filtered sample
  float yPrev;
};

struct EchoCanceller {
  static constexpr int32_t kFrameLength = 512;  // N, samples and FFT points
  static constexpr int32_t kBins = 256;         // K = N/2 bins handled
  static constexpr int32_t kHop = 256;          // samples between frames
  static constexpr int32_t kBands = 16;         // residual suppression bands of 16 bins
  static constexpr int32_t kBandBins = kBins / kBands;

  // Window lengths in milliseconds of the working rate.
  static constexpr int32_t kPowerWindowMs = 300;     // referencePower and the lag range
  static constexpr int32_t kEstimateIntervalMs = 200;  // microphone samples between estimator runs
  static constexpr int32_t kSweepChunkMs = 100;      // lags computed per estimator run
  static constexpr float kLowCutHz = 80.0f;          // bins below it are attenuated by 40 dB

  // The means stop counting here; later samples keep using this count.
  static constexpr uint32_t kMeanCountLimit = 4294967294u;
  // Adaptation and delay estimation run only above this mean square of the
  // reference (an RMS of 100 on the 16-bit scale).
  static constexpr float kActiveReferencePower = 10000.0f;

  // Step size: falls linearly from kInitialStep to kFinalStep over the first
  // kStepFrames adapting frames; the shadow filter always uses kShadowStep.
  static constexpr float kInitialStep = 0.2f;
  static constexpr float kFinalStep = 0.02f;
  static constexpr int32_t kStepFrames = 300;
  static constexpr float kShadowStep = 0.2f;
  // A restarted delay search lowers adaptCount to this (step 0.08 again).
  static constexpr int32_t kRestartAdaptCount = 200;
  // Lower bound of P in the normalised gradient, (16-bit scale)^2.
  static constexpr float kMinGradientPower = 250000.0f;

  // Comfort-noise amplitude on the 16-bit scale per unit of the filter output.
  static constexpr float kComfortNoiseScale = 3000.0f;

  // Fields in this order; every pointer starts as none.
  int32_t holdBack;            // microphone samples treated as not yet arrived, 0 .. W/2
  int32_t nextLag;             // first lag of the next chunk of the delay sweep
  float micMean;               // running mean (DC) of all microphone samples
  float referenceMean;         // running mean (DC) of all reference samples
  uint32_t micMeanCount;       // samples in micMean, up to kMeanCountLimit
  uint32_t referenceMeanCount;  // samples in referenceMean, up to kMeanCountLimit
  ComfortNoiseState noiseState;
  int32_t lowBin;              // round(512 x 80 / rate): first bin at or above about 80 Hz
  int32_t ready;               // 1 after a complete creation
  int32_t referenceSamples;    // reference samples added minus microphone samples since the estimator used it
  int32_t delay;               // echo delay estimate, samples (lag of the strongest correlation)
  int32_t sinceEstimate;       // microphone samples counted towards the next estimator run
  int32_t adaptCount;          // frames in which the filters adapted
  float referencePower;        // mean square of the last powerWindow reference samples
  float suppressionGain;       // smoothed overall gain of the residual suppression
  int32_t powerWindow;         // W = rate x 300 / 1000 samples; also the number of lags
  int32_t estimateInterval;    // M = rate x 200 / 1000 samples
  float* correlation;          // [W] smoothed cross-correlation per lag
  float* noiseFloor;           // [K] per-bin floor of the output magnitude
  float* referenceSpectrumPower;  // [K] P: smoothed |X|^2 per bin
  ComplexFloat* scratchA;      // [K] error, gradient and ratio spectra
  ComplexFloat* scratchB;      // [K] echo estimate
  ComplexFloat* shadowFilter;  // [K] S, the fixed-step shadow filter
  float* scratchPhase;         // [K] polar form of scratchA
  float* scratchMagnitude;     // [K]
  float shadowRatio;           // |mean S/W| of the last shadow comparison
  float* filterMagnitude;      // [K] |W|, refreshed after every change of W
  float* filterPhase;          // [K] arg W
  ComplexFloat* filter;        // [K] W, the main filter
  int32_t half;                // K
  int32_t frameLength;         // 512, the reference frame length
  int32_t fftLength;           // N
  int32_t workingRate;         // Hz
  FftBlock* fft;               // N = 512, Hann over all 512 points
  FftWorkspace* outWorkspace;  // output chain
  FftWorkspace* micWorkspace;  // microphone chain: Y
  FftWorkspace* refWorkspace;  // reference chain: X
  SampleRing* referenceHistory;  // W + rate DC-free reference samples
  BlockFramer* micFramer;      // N = 512, capacity W + rate: DC-free microphone in, output out
  NoiseSuppressor* noiseSuppressor;  // or none
  float* echoMagnitude;        // [K] H, magnitude-only echo path used for suppression

  // A canceller for `workingRate` Hz with its vectors zeroed, with or without
  // a noise suppressor, or none: for a rate of 0 or below, one so low that
  // 80 Hz lies beyond the 256 bins (below about 160 Hz), one too large for
  // its 1.3 s lines to be indexed, or when an allocation fails (what was
  // built is released).
  static EchoCanceller* create(int32_t workingRate, bool noiseSuppressorOn);
  // Releases every owned object and vector, then the canceller; sets
  // `canceller` to none. None is allowed.
  static void destroy(EchoCanceller*& canceller);

  // Takes a block of n microphone samples and replaces it in place with n
  // processed samples once that many are finished: returns n then, else 0
  // with the block unchanged (start-up). The block's samples are taken in
  // either case and come out about 512 samples later. A canceller that is
  // not ready, a missing stream or n below 1 leave everything alone: 0.
  int32_t processBlock(int16_t* stream, int32_t n);
  // One working-rate reference (loudspeaker) sample.
  void addReferenceSample(int16_t s);

  // Scales the echo-path magnitudes |W| (not W, S or H) after a gain change;
  // the next adaptation recomputes them from W. False without vectors.
  bool scaleEchoPath(float factor);
  // round(scale x mean |W| over bins lowBin .. K - 1); 0 without vectors.
  uint32_t echoPathFigure(float scale) const;

  // The frame steps, public for the tests; the engine uses only the above.

  // Analysis, adaptation and residual suppression of one microphone frame of
  // N samples; returns the N processed time samples (outWorkspace).
  float* processFrame(const float* frame);
  // The step size of the next adapting frame.
  float stepSize() const;
  // Moves S by its fixed step and, once the main filter has settled, copies
  // S into W when S is consistently a better echo path.
  void adaptShadow();

  // Delay estimation (echo_delay_estimator.cpp). Applies the streams'
  // relative movement since the last run to the delay, then computes the
  // next 100 ms chunk of correlation lags over windows of m samples and,
  // when a sweep is complete, chooses the strongest lag.
  void estimateDelay(int32_t m);
  // The 512 reference samples aligned with the microphone frame just taken.
  const float* referenceFrame() const;

  // Residual suppression (residual_suppressor.cpp) of the current frame
  // with the step size `mu` of its adaptation; returns the time frame.
  float* suppressResidual(float mu);
  // One comfort-noise sample, within +-1500, RMS about 194.
  int16_t comfortNoise();
};
