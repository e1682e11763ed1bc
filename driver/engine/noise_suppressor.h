#pragma once
// Background-noise suppressor of one echo canceller's microphone spectrum.
//
// Works frame by frame on a packed spectrum (engine/fft.h) of an N-point
// frame, N = `length`: [Re X0, 0, Re X1, Im X1, ..., Re X(N/2), 0], N + 2
// floats on the 16-bit sample scale, both transform directions scaled by
// 1/sqrt(N). Only floats 0 .. N - 1 (bins 0 .. N/2 - 1) are read or changed;
// the Nyquist floats N and N + 1 are never touched.
//
// The floats are split into `bands` equal bands of `bandWidth` floats. Each
// band's noise power is tracked in dB; a per-band gain follows from the
// a-posteriori SNR and a decision-directed a-priori SNR. Per frame the owner
// calls analyse(Y) and then applyGains(Y) on the same spectrum.
//
// Levels are 10 log10 of the band's mean square per float (sum of the squares
// of its floats / bandWidth), so a band whose floats are all 1.0 is at 0 dB;
// below that a band is measured as 0 dB. Band 0 leaves out its lowest 16
// floats (bins 0 .. 7: DC and hum) when measuring but still divides by
// bandWidth; its gain is applied to all of its floats, those 16 included.
//
// Nothing allocates after create, nothing fails, nothing blocks; the object
// is used by one caller at a time (the canceller, under the stream lock).
#include <stdint.h>

struct NoiseSuppressor {
  // The canceller's configuration: N = 512 floats (bins 0 .. 255) in 16 bands
  // of 32 floats, gain floor level 3 (0.19).
  static constexpr int32_t kCancellerLength = 512;
  static constexpr int32_t kCancellerBands = 16;
  static constexpr int32_t kCancellerLevel = 3;

  // Band 0 leaves out its lowest floats (bins 0 .. 7) when measuring.
  static constexpr int32_t kLowFloatsLeftOut = 16;
  // Lower bound of the SNR and gain arithmetic: 2^-15.
  static constexpr float kEpsilon = 3.0517578125e-05f;
  // frameCount counts up to this and stays; below it the noise level is only
  // learned (frames 1 .. 29), tracking proper starts with frame 30.
  static constexpr int32_t kLearningFrames = 30;
  // A band more than this far above its noise level holds the noise level.
  static constexpr float kLoudMarginDb = 6.0f;
  // A band held for more than this many consecutive frames is taken as the
  // new noise level (300 frames, about 9.6 s at 8000 Hz with a 256 hop).
  static constexpr int32_t kLongLoudFrames = 299;
  // The level difference that enters the SNR is limited to 0 .. 20 dB.
  static constexpr float kMaxSnrDb = 20.0f;

  int32_t length;      // N: spectrum floats processed, bins 0 .. N/2 - 1
  int32_t sampleRate;  // Hz, the canceller's working rate (stored only)
  int32_t bands;       // number of bands (16)
  int32_t bandWidth;   // length / bands floats per band (32, i.e. 16 bins)
  float gainFloor;     // lowest gain applyGains uses (linear), from the level
  float* bandLevel;    // [bands] band power of the last frame analysed, dB (>= 0)
  float* noiseLevel;   // [bands] tracked noise power, dB on the same scale
  float* prior;        // [bands] a-priori SNR carried to the next frame, linear
  float* gain;         // [bands] band gain of the last frame, linear, kEpsilon .. 1
  float* snr;          // [bands] smoothed a-posteriori SNR, linear
  int32_t frameCount;  // frames analysed, 0 .. kLearningFrames
  int32_t* holdCount;  // [bands] consecutive frames more than 6 dB above the noise

  // A suppressor with every array zeroed, or none.
  //   sampleRate  Hz, the canceller's working rate; kept for reference.
  //   length      N, spectrum floats processed (the canceller: 512).
  //   bands       number of bands (the canceller: 16).
  //   level       gain floor: 1 -> 0.6, 2 -> 0.3, 3 -> 0.19, 4 -> 0.1,
  //               5 -> 0.05, any other value -> 1.0 (no suppression).
  // Refused: sampleRate, length or bands 0 or negative; length not a whole
  // multiple of bands (the bands must cover the floats exactly); bandWidth of
  // kLowFloatsLeftOut floats or fewer (band 0 would measure nothing); an
  // allocation that fails. A refused creation releases all it allocated.
  static NoiseSuppressor* create(int32_t sampleRate, int32_t length, int32_t bands, int32_t level);
  // Releases the five float arrays, holdCount and the object; sets `ns` to
  // none. None is allowed.
  static void destroy(NoiseSuppressor*& ns);

  // The gain floor of a level, as create sets it.
  static float gainFloorOf(int32_t level);

  // Reads floats 0 .. length - 1 of `spectrum` (not changed) and updates
  // bandLevel, noiseLevel, snr, gain, prior, holdCount and frameCount.
  void analyse(const float* spectrum);
  // spectrum[i] *= min(max(gain[i / bandWidth], gainFloor), 1) for
  // i = 0 .. length - 1, in place: never below the floor, never above 1.
  // Before the first analyse every gain is 0, so the floor is applied.
  void applyGains(float* spectrum) const;
};
