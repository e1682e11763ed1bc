#pragma once
// What kalvex-sim prints: one line per status read and the closing summary.
#include <optional>
#include <string>

#include "notebook_simulation.h"
#include "pcm_stream.h"

// "16000 Hz, 1 ch, 16 bit"
std::string formatText(const PcmFormat& format);

// One status read as a line, e.g.
// "  3.50 s  active 1  flags 0x0  peak mic 9120 far 14002 out 812  energy mic 52 dB ref 61 dB out 31 dB  echo path 412  delay 58.0 ms"
std::string statusLine(const StatusRead& read);

struct SummaryFigures {
  std::string micPath;
  std::string farPath;
  std::string outPath;
  std::string plotPath;  // "" when none was asked for
  PcmFormat mic;
  PcmFormat far;
  double seconds = 0.0;  // of audio
  int32_t bufferMs = 0;
  bool canceller = true;
  bool noiseSuppressor = true;
  uint32_t micMode = 1;
  NotebookResult run;  // the output and status reads are not used here; its renderFormat is the render pin's
  double latencyMs = 0.0;
  std::optional<double> erleFarOnly;  // dB
  double farOnlySeconds = 0.0;
  std::optional<double> erleFarOnlySettled;  // dB, without the first settleSeconds of far-end-only audio
  double settleSeconds = 0.0;
  bool haveSegments = false;
  std::optional<double> erleWhole;
  std::optional<double> erleDoubleTalk;
};

std::string summaryText(const SummaryFigures& figures);
