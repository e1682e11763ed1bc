#pragma once
// A notebook in a call, played through the driver's logic: the control
// application's records, the pin tracking's stream fields, and the render
// and capture buffers in the order the audio stack moves them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pcm_stream.h"
#include "shared/control_records.h"

struct NotebookSettings {
  int32_t bufferMs = 10;
  bool noiseSuppressor = true;
  uint32_t micMode = 1;
};

// One status read of the control application.
struct StatusRead {
  double seconds;       // audio time of the read
  EcStatus status;      // the record as returned
  int32_t delay;        // the first canceller's delay estimate, samples at the working rate; -1 without one
  int32_t workingRate;  // Hz; 0 without an engine
};

inline constexpr int32_t kStatusIntervalMs = 500;

struct NotebookResult {
  PcmStream output;  // the capture stream as the recording application receives it
  std::vector<StatusRead> statusReads;
  int32_t workingRate = 0;    // Hz, of the engine at the end (0 if none was built)
  int32_t delay = -1;         // final delay estimate, samples at the working rate; -1 without a canceller
  bool cancellerRan = false;  // the canceller existed at the end
  uint32_t flags = 0;         // EcStatus flags at the end
  double cpuSeconds = 0.0;    // processor time spent in the two stream halves
  int64_t captureFrames = 0;  // frames per capture buffer
  int64_t renderFrames = 0;   // frames per render buffer
  bool driverStarted = false;  // the driver loaded, its device started and "\\.\Kalvex" opened
  bool poolReleased = false;   // the driver returned every pool block once its device was removed
};

// The far and microphone formats and the buffer length as the driver can use
// them: "" or one error line.
std::string checkNotebookFormats(const PcmFormat& mic, const PcmFormat& far, int32_t bufferMs);

// Runs the whole recording. `onStatus` is called after each status read.
NotebookResult playNotebook(const PcmStream& mic, const PcmStream& far, const NotebookSettings& settings,
                            const std::function<void(const StatusRead&)>& onStatus);
