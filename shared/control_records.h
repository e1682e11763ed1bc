#pragma once
// The records the driver and the control application exchange through the
// control device: arrays of 32-bit little-endian integers, no header, no gaps.
// The driver holds one instance of each; the application keeps copies.
#include <stddef.h>
#include <stdint.h>

// Settings of the echo canceller, written by the application.
struct EcSettings {
  uint32_t enable;        // echo cancellation wanted
  uint32_t monitor;       // keep stream formats and peaks current even when nothing is processed
  uint32_t micMode;       // 2: each capture channel has its own canceller; else the first channel is processed
  uint32_t swapChannels;  // exchange left and right capture samples before processing
  uint32_t rateMask;      // capture rates the canceller may run at, see kRateMaskBits
  uint32_t noiseCancel;   // create each canceller with its noise suppressor
  uint32_t maxRate;       // highest capture rate a data intersection may offer, Hz; 0 = no limit

  static constexpr uint32_t kMicModeBothChannels = 2;
  // Bit i of rateMask allows kRateMaskRates[i].
  static constexpr uint32_t kRateMaskRates[7] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
  static constexpr uint32_t kAllRates = 127;
};

// Settings of the microphone-array processing, written by the application.
struct ArraySettings {
  uint32_t enable;    // array processing wanted: while set the engine stays suspended
  int32_t beamDir;    // beam direction, degrees; stored and returned only
  int32_t beamTrack;  // beam tracking width, degrees; stored and returned only
};

// The driver's status report, read by the application.
struct EcStatus {
  uint32_t active;          // 1 while the engine's cancellers exist
  uint32_t captureRunning;  // the capture pin has been identified
  uint32_t renderRunning;   // the render pin has been identified
  uint32_t readRate;        // capture rate, Hz
  uint32_t readChannels;
  uint32_t readBits;
  uint32_t writeRate;  // render rate, Hz
  uint32_t writeChannels;
  uint32_t writeBits;
  uint32_t framesPerBuffer;  // capture frames per buffer when the engine was created
  uint32_t readPeak;         // largest |capture sample| before processing since the last read, 16-bit scale
  uint32_t writePeak;        // largest |mono render sample| since the last read
  uint32_t outPeak;          // largest |capture sample| after processing since the last read
  uint32_t processId;        // creator of the capture pin
  uint32_t flags;            // kFlag... below
  uint32_t micEnergy;        // mean squares at the working rate since the last read, 16-bit scale
  uint32_t refEnergy;
  uint32_t outEnergy;
  uint32_t echoPathGain;  // 1000 x mean echo-path magnitude of the first canceller

  static constexpr uint32_t kFlagCaptureFormatUnusable = 0x10000;
  static constexpr uint32_t kFlagRenderFormatUnusable = 0x20000;
  static constexpr uint32_t kFlagUserModeCapture = 0x40000;
};

// Status of the microphone-array processing. The driver returns no data for
// it; the application reads these fields.
struct ArrayStatus {
  uint32_t active;
  uint32_t unused4;
  uint32_t unused8;
  uint32_t unused12;
  int32_t sourceAngle;  // degrees
  int32_t beamValue;
  uint32_t unused24;
  uint32_t level;
  uint32_t flags;
};

// The values the driver holds from load until the application first writes.
inline constexpr EcSettings kInitialEcSettings = {0, 0, 1, 0, EcSettings::kAllRates, 1, 0};
inline constexpr ArraySettings kInitialArraySettings = {0, 0, 15};

static_assert(sizeof(EcSettings) == 28);
static_assert(offsetof(EcSettings, enable) == 0);
static_assert(offsetof(EcSettings, monitor) == 4);
static_assert(offsetof(EcSettings, micMode) == 8);
static_assert(offsetof(EcSettings, swapChannels) == 12);
static_assert(offsetof(EcSettings, rateMask) == 16);
static_assert(offsetof(EcSettings, noiseCancel) == 20);
static_assert(offsetof(EcSettings, maxRate) == 24);

static_assert(sizeof(ArraySettings) == 12);
static_assert(offsetof(ArraySettings, enable) == 0);
static_assert(offsetof(ArraySettings, beamDir) == 4);
static_assert(offsetof(ArraySettings, beamTrack) == 8);

static_assert(sizeof(EcStatus) == 76);
static_assert(offsetof(EcStatus, active) == 0);
static_assert(offsetof(EcStatus, captureRunning) == 4);
static_assert(offsetof(EcStatus, renderRunning) == 8);
static_assert(offsetof(EcStatus, readRate) == 12);
static_assert(offsetof(EcStatus, readChannels) == 16);
static_assert(offsetof(EcStatus, readBits) == 20);
static_assert(offsetof(EcStatus, writeRate) == 24);
static_assert(offsetof(EcStatus, writeChannels) == 28);
static_assert(offsetof(EcStatus, writeBits) == 32);
static_assert(offsetof(EcStatus, framesPerBuffer) == 36);
static_assert(offsetof(EcStatus, readPeak) == 40);
static_assert(offsetof(EcStatus, writePeak) == 44);
static_assert(offsetof(EcStatus, outPeak) == 48);
static_assert(offsetof(EcStatus, processId) == 52);
static_assert(offsetof(EcStatus, flags) == 56);
static_assert(offsetof(EcStatus, micEnergy) == 60);
static_assert(offsetof(EcStatus, refEnergy) == 64);
static_assert(offsetof(EcStatus, outEnergy) == 68);
static_assert(offsetof(EcStatus, echoPathGain) == 72);

static_assert(sizeof(ArrayStatus) == 36);
static_assert(offsetof(ArrayStatus, active) == 0);
static_assert(offsetof(ArrayStatus, sourceAngle) == 16);
static_assert(offsetof(ArrayStatus, beamValue) == 20);
static_assert(offsetof(ArrayStatus, level) == 28);
static_assert(offsetof(ArrayStatus, flags) == 32);
