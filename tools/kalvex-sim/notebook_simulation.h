#pragma once
// A notebook in a call, played through the whole driver: the audio stack
// negotiates and opens the capture and render pins through the filter,
// runs them, moves the buffers as write-stream and read-stream requests in
// the order it would, and stops them; the control application writes its
// settings and polls the status record through the control device.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console_report.h"
#include "pcm_stream.h"
#include "shared/control_records.h"

struct NotebookSettings {
  int32_t bufferMs = 10;
  bool noiseSuppressor = true;
  uint32_t micMode = 1;
  bool canceller = true;  // EcSettings enable
};

// One status poll of the control application.
struct StatusRead {
  int64_t poll;         // 1, 2, ... in time order
  double seconds;       // audio time of the read
  EcStatus status;      // the record as returned
  StatusMeans means;    // the application's running means after this poll
  int32_t delay;        // the first canceller's delay estimate, samples at the working rate; -1 without one
  int32_t workingRate;  // Hz; 0 without an engine
};

// The application polls the status every 100 ms of audio, as its fast timer does.
inline constexpr int32_t kStatusIntervalMs = 100;

struct NotebookResult {
  PcmStream output;  // the capture stream as the recording application receives it
  std::vector<StatusRead> statusReads;
  PcmFormat renderFormat;     // of the render pin, as negotiated
  int32_t workingRate = 0;    // Hz, of the engine at the end (0 if none was built)
  int32_t delay = -1;         // final delay estimate, samples at the working rate; -1 without a canceller
  bool cancellerRan = false;  // the canceller existed at the end
  uint32_t flags = 0;         // EcStatus flags at the end
  double cpuSeconds = 0.0;    // processor time spent in the read and write requests
  int64_t captureFrames = 0;  // frames per capture buffer
  int64_t renderFrames = 0;   // frames per render buffer
  bool driverStarted = false;  // the driver loaded, its device started and "\\.\Kalvex" opened
  std::string streamFault;     // "" or what went wrong opening the pins or moving a buffer
  bool poolReleased = false;   // the driver returned every pool block once its device was removed
};

// The far and microphone formats and the buffer length as the driver can use
// them: "" or one error line.
std::string checkNotebookFormats(const PcmFormat& mic, const PcmFormat& far, int32_t bufferMs);

// Runs the whole recording through requests. `onStatus` is called after each status poll.
NotebookResult playNotebook(const PcmStream& mic, const PcmStream& far, const NotebookSettings& settings,
                            const std::function<void(const StatusRead&)>& onStatus);

// The same recording handed straight to the two plain-memory stream halves
// of a driver state of its own, with the stream fields the pin tracking
// would record for `render` (the far end as the render pin carries it):
// what the engine gives without the kernel-streaming path, to compare with.
// No status polls; the pool is not checked.
NotebookResult playNotebookDirect(const PcmStream& mic, const PcmStream& render, const NotebookSettings& settings);

// The highest capture rate a data intersection may offer, Hz, as the
// application writes it into EcSettings maxRate.
inline constexpr uint32_t kNotebookMaxRate = 48000;

// `record` with the fields the control application owns set as it sets
// them: enable, micMode, rateMask (all seven rates), noiseCancel, maxRate.
EcSettings notebookEcSettings(EcSettings record, const NotebookSettings& settings);

struct EngineState;
// The first canceller's delay estimate, samples at the working rate; -1 without one.
int32_t cancellerDelay(const EngineState& engine);
