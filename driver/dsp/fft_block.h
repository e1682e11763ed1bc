#pragma once
// A real FFT of N = 2^order points, both directions scaled by 1/sqrt(N), with
// its analysis window, the sample rate of the signal it transforms and the
// width of one bin.
#include <stdint.h>

#include "engine/fft.h"

struct FftWorkspace;

struct FftBlock {
  // Values of `windowed` at creation.
  static constexpr int32_t kRectangular = 0;
  static constexpr int32_t kHann = 1;

  FftSetup* fft;          // order log2 N; forward then inverse returns the input
  float* window;          // N floats: the analysis window
  int32_t length;         // N = 2^order
  int32_t half;           // N/2, the bins the polar conversions handle
  int32_t windowLength;   // L, the leading window values that are non-zero
  int32_t sampleRate;     // Hz, of the signal this block transforms
  float binWidth;         // sampleRate / N, Hz

  // A block for frames of `frameLength` samples, rounded down to a power of
  // two (600 gives 512), or none. The window is L ones followed by zeros; a
  // symmetric Hann window of length L over those ones when windowed is exactly
  // kHann. Refused: frameLength below 1, L outside 0 .. N, a transform setup
  // that could not be built, or an allocation that failed.
  static FftBlock* create(int32_t frameLength, int32_t windowLength, int32_t sampleRate, int32_t windowed);
  // Releases the transform setup, the window and the block; sets `block` to none.
  static void destroy(FftBlock*& block);

  // ws.time = in x window (N samples); ws.spectrum = its packed spectrum.
  float* forward(const float* in, FftWorkspace* ws) const;
  // ws.magnitude, ws.phase of bins 0 .. N/2 - 1 of ws.spectrum; the Nyquist
  // bin is not converted. Returns ws.magnitude.
  float* toPolar(FftWorkspace* ws) const;
  // Bins 0 .. N/2 - 1 of ws.spectrum from ws.magnitude and ws.phase; the
  // Nyquist bin is left as it was. Returns ws.spectrum.
  float* fromPolar(FftWorkspace* ws) const;
  // Clears the Nyquist bin, then ws.time = inverse transform of ws.spectrum.
  float* inverse(FftWorkspace* ws) const;
};
