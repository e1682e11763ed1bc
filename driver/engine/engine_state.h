#pragma once
// The capture-processing engine: one per driver. It exists while
// captureBuffer1 does; every pointer field is none until configure builds it.
#include <stdint.h>

struct BlockResampler;
struct EchoCanceller;

// Channel mode for a two-channel capture.
inline constexpr int32_t kChannelModeFirstOnly = 0;  // process channel 1, copy it to both
inline constexpr int32_t kChannelModeBoth = 2;       // each channel has its own canceller

// Render (reference) rates above this are not accepted, Hz.
inline constexpr int32_t kMaxRenderRate = 192000;

// The chain's view of one capture buffer: its frame count and the mono
// streams the stages work on (none where a channel is not processed).
struct ChannelStreams {
  int32_t frames;
  int16_t* s1;
  int16_t* s2;
};

struct EngineState {
  int32_t channelMode;
  int16_t* captureBuffer1;  // [captureFrames]; its presence means the engine exists
  int16_t* captureBuffer2;  // [captureFrames]; channel mode 2 with two channels only
  int32_t referenceBlockLength;
  int32_t referenceFill;
  int16_t* referenceBlock;
  int16_t* referenceOut;
  BlockResampler* referenceResampler;  // render rate to working rate
  int16_t* workBuffer1;  // [workingCapacity], channel 1 at the working rate
  int16_t* workBuffer2;
  BlockResampler* downResampler1;  // capture rate to working rate
  BlockResampler* upResampler1;    // working rate to capture rate
  BlockResampler* downResampler2;
  BlockResampler* upResampler2;
  int32_t channels;             // capture channels, 1 or 2
  int32_t workingRate;          // Hz
  int32_t renderRate;           // Hz
  int32_t workingBlockLength;   // frames per capture buffer at the working rate
  int32_t workingCapacity;      // 2 x workingBlockLength
  int32_t captureRate;          // Hz
  int32_t captureFrames;        // frames per capture buffer, fixed at configuration
  EchoCanceller* canceller1;    // its presence means the canceller exists
  EchoCanceller* canceller2;    // channel mode 2 only
  float micMeanSquare;          // channel 1 at the working rate, entering the canceller
  float referenceMeanSquare;
  float outputMeanSquare;       // channel 1 at the working rate, leaving the canceller
  int32_t micCount;
  int32_t outputCount;
  int32_t referenceCount;

  bool exists() const { return captureBuffer1 != nullptr; }

  // Lifecycle.
  void initialize();
  bool configure(int32_t channelCount, int32_t mode, int32_t capRate, int32_t renRate, int32_t sampleCount,
                 bool cancellerOn, bool noiseSuppressorOn, bool arrayOn);
  bool enableCanceller(bool noiseSuppressorOn, int32_t renRate);
  void disableCanceller();
  void releaseAll();
  // One channel's work buffer and its two resamplers; false when any failed
  // (what was built stays for releaseAll).
  bool buildCaptureConversion(int16_t*& workBuffer, BlockResampler*& down, BlockResampler*& up);
  // canceller1 and, in channel mode 2 with two channels, canceller2, replacing any.
  bool createCancellers(bool noiseSuppressorOn);
  // The render-to-working-rate resampler and its two blocks, replacing any.
  bool createReferenceResampler();
  void releaseReferenceResampler();

  // Rescales the cancellers' echo-path magnitudes after a volume change of
  // the microphone or the loudspeakers; false without a canceller.
  bool compensateGain(double oldLevelDb, double newLevelDb);

  // The three mean squares since the previous read, rounded, then restarted.
  void readStatistics(uint32_t& mic, uint32_t& reference, uint32_t& output);
  // scale x the first canceller's mean echo-path magnitude; 0 without a canceller.
  uint32_t echoPathFigure(float scale) const;

  // The reference path: one mono render sample, in stream order, converted to
  // the working rate in blocks and delivered to every canceller.
  void feedReferenceSample(int16_t s);
  void deliverReferenceSample(int16_t s);

  // The processing chain over one capture buffer of sampleCount int16 values.
  void processBuffer(int16_t* samples, int32_t sampleCount);
  ChannelStreams splitChannels(const int16_t* samples, int32_t count);
  int32_t toWorkingRate(ChannelStreams& streams);
  int32_t toCaptureRate(int32_t workingCount, ChannelStreams& streams);
  int32_t mergeChannels(const ChannelStreams& streams, int32_t frames, int32_t count, int16_t* samples) const;
};

// The engine's working rate for a capture rate, Hz; 0 for a rate it does not accept.
int32_t workingRateFor(int32_t captureRate);
// A reference rate is usable when it is a whole multiple of the working rate.
bool renderRateAccepted(int32_t renderRate, int32_t workingRate);
